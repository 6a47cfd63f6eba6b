// A vector-backed IStream for the graphics tests; with `claimFullReads` it reports every read
// as complete even past the end, as some callers' file streams do.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "win/objidl.h"

class MemoryStream final : public IStream {
public:
    explicit MemoryStream(std::vector<BYTE> data = {}, bool claimFullReads = false)
        : m_data(std::move(data)), m_claimFullReads(claimFullReads) {}

    std::vector<BYTE>& data() { return m_data; }
    size_t position() const { return m_position; }
    void rewind() { m_position = 0; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IStream || riid == IID_ISequentialStream) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        size_t available = m_position < m_data.size() ? m_data.size() - m_position : 0;
        size_t n = std::min<size_t>(cb, available);
        if (n > 0) std::memcpy(pv, m_data.data() + m_position, n);
        m_position += n;
        if (pcbRead) *pcbRead = m_claimFullReads ? cb : ULONG(n);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        if (m_position + cb > m_data.size()) m_data.resize(m_position + cb);
        std::memcpy(m_data.data() + m_position, pv, cb);
        m_position += cb;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        LONGLONG base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? LONGLONG(m_position) : LONGLONG(m_data.size());
        if (base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
        m_position = size_t(base + move.QuadPart);
        if (newPosition) newPosition->QuadPart = m_position;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
        m_data.resize(size_t(size.QuadPart));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        std::memset(stat, 0, sizeof(*stat));
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = m_data.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    std::vector<BYTE> m_data;
    size_t m_position = 0;
    bool m_claimFullReads;
};
