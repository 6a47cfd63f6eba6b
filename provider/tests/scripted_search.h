// A search interface that serves the rows it is given and records what the caller asked for,
// for tests of the tombstone listing without a directory.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "win/adsi.h"

namespace revivo_test {

struct Value {
    ADSTYPE type;
    std::u16string text;
    SYSTEMTIME time{};
};
using Row = std::map<std::u16string, std::vector<Value>>;

inline Value text(ADSTYPE type, std::u16string value) { return Value{type, std::move(value)}; }
inline Value ignoreCase(std::u16string value) { return text(ADSTYPE_CASE_IGNORE_STRING, std::move(value)); }
inline Value dn(std::u16string value) { return text(ADSTYPE_DN_STRING, std::move(value)); }
inline Value utc(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    Value value{ADSTYPE_UTC_TIME, {}};
    value.time.wYear = year;
    value.time.wMonth = month;
    value.time.wDay = day;
    value.time.wHour = hour;
    value.time.wMinute = minute;
    return value;
}

// Serves the rows it is given and records what the caller asked for.
class ScriptedSearch final : public IDirectorySearch {
public:
    std::vector<Row> rows;
    HRESULT preferenceResult = S_OK;
    HRESULT executeResult = S_OK;
    // After this many rows GetNextRow fails with rowResult, as when the DC goes away mid-way.
    size_t breakAfter = SIZE_MAX;
    HRESULT rowResult = S_OK;

    int preferenceCalls = 0;
    std::vector<ADS_SEARCHPREF_INFO> preferences;
    bool executed = false;
    std::optional<std::u16string> filter;
    std::vector<std::u16string> attributes;
    int openColumns = 0;
    bool closed = false;

    // Owned by the test, which keeps it alive across the calls that use it.
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP SetSearchPreference(PADS_SEARCHPREF_INFO given, DWORD count) override {
        ++preferenceCalls;
        preferences.assign(given, given + count);
        return preferenceResult;
    }
    STDMETHODIMP ExecuteSearch(LPWSTR givenFilter, LPWSTR* names, DWORD count, PADS_SEARCH_HANDLE handle) override {
        executed = true;
        if (givenFilter) filter = std::u16string(givenFilter);
        for (DWORD i = 0; i < count; ++i) attributes.emplace_back(names[i]);
        if (FAILED(executeResult)) return executeResult;
        *handle = reinterpret_cast<ADS_SEARCH_HANDLE>(this);
        return S_OK;
    }
    STDMETHODIMP AbandonSearch(ADS_SEARCH_HANDLE) override { return S_OK; }
    STDMETHODIMP GetFirstRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
    STDMETHODIMP GetNextRow(ADS_SEARCH_HANDLE) override {
        if (m_next >= breakAfter) return rowResult;
        if (m_next >= rows.size()) return S_ADS_NOMORE_ROWS;
        m_current = &rows[m_next++];
        return S_OK;
    }
    STDMETHODIMP GetPreviousRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
    STDMETHODIMP GetNextColumnName(ADS_SEARCH_HANDLE, LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetColumn(ADS_SEARCH_HANDLE, LPWSTR name, PADS_SEARCH_COLUMN column) override {
        auto found = m_current ? m_current->find(name) : Row::iterator();
        if (!m_current || found == m_current->end()) return E_ADS_COLUMN_NOT_SET;
        auto* values = new ADSVALUE[found->second.size()]();
        for (size_t i = 0; i < found->second.size(); ++i) {
            Value& value = found->second[i];
            values[i].dwType = value.type;
            if (value.type == ADSTYPE_UTC_TIME)
                values[i].UTCTime = value.time;
            else
                values[i].DNString = value.text.data();
        }
        column->pszAttrName = name;
        column->dwADsType = found->second.empty() ? ADSTYPE_INVALID : found->second.front().type;
        column->pADsValues = values;
        column->dwNumValues = static_cast<DWORD>(found->second.size());
        ++openColumns;
        return S_OK;
    }
    STDMETHODIMP FreeColumn(PADS_SEARCH_COLUMN column) override {
        delete[] column->pADsValues;
        column->pADsValues = nullptr;
        --openColumns;
        return S_OK;
    }
    STDMETHODIMP CloseSearchHandle(ADS_SEARCH_HANDLE) override {
        closed = true;
        return S_OK;
    }

private:
    size_t m_next = 0;
    Row* m_current = nullptr;
};

}  // namespace revivo_test
