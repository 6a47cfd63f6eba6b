// Times the one-level show-deleted search of the Deleted Objects container (page size 1,000,
// the six attributes of the listing) through IDirectorySearch, reading every column of every
// row, and through ldapsearch with the same controls writing to /dev/null; prints both times
// and their ratio. Each side runs several times, alternating; the best run of each counts.
// Every ADSI run is on a thread of its own, so that it opens and binds its own connection as
// every ldapsearch process does.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "lumivel/text.h"
#include "shared/directory_operations.h"
#include "win/adsi.h"

using lumivel::FromUtf8;
using lumivel::ToUtf8;

namespace {

constexpr int kRuns = 5;
const char* const kAttributes[] = {"cn", "ou", "distinguishedName", "lastKnownParent", "objectClass", "whenChanged"};

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Returns the number of rows, or -1 on failure.
long SearchThroughAdsi(const std::u16string& baseDn, size_t* values) {
    IDirectorySearch* search = nullptr;
    if (FAILED(lumivel::shared::BindPath(lumivel::shared::DeletedObjectsPath(u"", baseDn), IID_IDirectorySearch,
                                         reinterpret_cast<void**>(&search), lumivel::shared::BindSpeed::Fast)))
        return -1;
    std::vector<std::u16string> names;
    for (const char* a : kAttributes) names.push_back(FromUtf8(a));
    std::vector<LPWSTR> pointers;
    for (auto& n : names) pointers.push_back(n.data());
    ADS_SEARCH_HANDLE handle = nullptr;
    long rows = -1;
    if (SUCCEEDED(lumivel::shared::SetShowDeletedSearch(search, ADS_SCOPE_ONELEVEL, 1000)) &&
        SUCCEEDED(search->ExecuteSearch(nullptr, pointers.data(), static_cast<DWORD>(pointers.size()), &handle))) {
        rows = 0;
        HRESULT hr;
        while ((hr = search->GetNextRow(handle)) == S_OK) {
            ++rows;
            for (auto* name : pointers) {
                ADS_SEARCH_COLUMN column;
                if (search->GetColumn(handle, name, &column) != S_OK) continue;
                for (DWORD i = 0; i < column.dwNumValues; ++i) {
                    const ADSVALUE& v = column.pADsValues[i];
                    if (v.dwType == ADSTYPE_UTC_TIME) *values += v.UTCTime.wYear != 0;
                    else *values += v.CaseIgnoreString && v.CaseIgnoreString[0] != 0;
                }
                search->FreeColumn(&column);
            }
        }
        if (hr != S_ADS_NOMORE_ROWS) rows = -1;
        search->CloseSearchHandle(handle);
    }
    search->Release();
    return rows;
}

bool SearchThroughLdapsearch(const std::string& dc, const std::string& baseDn) {
    std::string command = "ldapsearch -LLL -Q -Y GSSAPI -N -o ldif-wrap=no -H ldap://" + dc + " -b 'CN=Deleted Objects," +
                          baseDn + "' -s one -E '!1.2.840.113556.1.4.417' -E pr=1000/noprompt '(objectClass=*)'";
    for (const char* a : kAttributes) command += std::string(" ") + a;
    command += " > /dev/null";
    return std::system(command.c_str()) == 0;
}

}  // namespace

int main() {
    const char* base = std::getenv("TESTDC_BASEDN");
    const char* dc = std::getenv("TESTDC_DC");
    if (!base || !dc) {
        std::fprintf(stderr, "run inside the test directory: tests/testdc/testdc exec %s\n", "directory_search_bench");
        return 2;
    }
    const std::u16string baseDn = FromUtf8(base);
    // The first search also opens the connection and reads the schema's syntaxes once.
    size_t values = 0;
    const long rows = SearchThroughAdsi(baseDn, &values);
    if (rows < 0 || !SearchThroughLdapsearch(dc, base)) {
        std::fprintf(stderr, "search failed\n");
        return 1;
    }
    double bestAdsi = 1e9, bestLdapsearch = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        values = 0;
        auto start = std::chrono::steady_clock::now();
        long found = -1;
        std::thread([&] { found = SearchThroughAdsi(baseDn, &values); }).join();
        if (found != rows) return 1;
        bestAdsi = std::min(bestAdsi, Seconds(std::chrono::steady_clock::now() - start));
        start = std::chrono::steady_clock::now();
        if (!SearchThroughLdapsearch(dc, base)) return 1;
        bestLdapsearch = std::min(bestLdapsearch, Seconds(std::chrono::steady_clock::now() - start));
    }
    std::printf("tombstones listed:      %ld (%zu values read)\n", rows, values);
    std::printf("IDirectorySearch:       %.3f s (best of %d)\n", bestAdsi, kRuns);
    std::printf("ldapsearch:             %.3f s (best of %d)\n", bestLdapsearch, kRuns);
    std::printf("ratio:                  %.3f (target <= 1.10)\n", bestAdsi / bestLdapsearch);
    if (rows < 10000) std::printf("note: fewer than 10,000 tombstones; run tests/testdc/testdc bulk 10000 first\n");
    return 0;
}
