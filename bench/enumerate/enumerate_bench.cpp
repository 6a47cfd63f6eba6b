// Lists a domain's tombstones through IRevivo::EnumDeletedObjects and through ldapsearch doing
// the same search (one level, show-deleted control, pages of 1000, the six attributes), and
// prints both times, their ratio and the memory the records take.
//
// Run inside the test directory after seeding many tombstones, for example:
//   tests/testdc/testdc bulk 10000
//   tests/testdc/testdc exec build-P/bin/enumerate_bench [runs]
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/common/timed_process.h"
#include "provider/revivo.h"
#include "shared/object_list.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

size_t heapInUse() { return mallinfo2().uordblks; }

// One timed ldapsearch run with its output thrown away; negative when it failed.
double timeLdapsearch(const std::string& server, const std::string& baseDn) {
    return bench::TimeProcess(bench::TombstoneLdapsearch(server, baseDn));
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const char* server = std::getenv("TESTDC_DC");
    const char* baseDn = std::getenv("TESTDC_BASEDN");
    if (!server || !baseDn) {
        std::fprintf(stderr, "enumerate_bench: run inside the test directory (testdc exec)\n");
        return 1;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IRevivo* provider = nullptr;
    if (FAILED(revivo::Revivo::CreateInstance(nullptr, IID_IRevivo, reinterpret_cast<void**>(&provider)))) {
        std::fprintf(stderr, "enumerate_bench: cannot create the provider\n");
        return 1;
    }

    std::vector<double> providerTimes, ldapsearchTimes;
    size_t records = 0;
    double bytesPerRecord = 0, cacheBytesPerRecord = 0;
    for (int run = 0; run < runs; ++run) {
        size_t before = heapInUse();
        VARIANT list;
        VariantInit(&list);
        auto start = Clock::now();
        HRESULT result = provider->EnumDeletedObjects(0, nullptr, &list);
        double elapsed = seconds(Clock::now() - start);
        if (FAILED(result)) {
            std::fprintf(stderr, "enumerate_bench: EnumDeletedObjects failed: 0x%08X\n", static_cast<unsigned>(result));
            return 1;
        }
        size_t held = heapInUse();
        records = lumivel::shared::ReadObjectList(&list).size();
        lumivel::shared::FreeObjectListRecords(&list);
        size_t cacheOnly = heapInUse();
        // Memory is measured on the first run, while the provider's cache starts empty.
        if (records && run == 0) {
            bytesPerRecord = static_cast<double>(held - before) / static_cast<double>(records);
            cacheBytesPerRecord = static_cast<double>(cacheOnly > before ? cacheOnly - before : 0) / static_cast<double>(records);
        }
        providerTimes.push_back(elapsed);
        // A failed ldapsearch run is left out instead of passing for the fastest one.
        double ldapsearchTime = timeLdapsearch(server, baseDn);
        if (ldapsearchTime >= 0) ldapsearchTimes.push_back(ldapsearchTime);
    }
    provider->Release();
    CoUninitialize();

    double providerBest = *std::min_element(providerTimes.begin(), providerTimes.end());
    std::printf("tombstones listed:                 %zu\n", records);
    std::printf("EnumDeletedObjects (best of %d):    %.3f s\n", runs, providerBest);
    if (ldapsearchTimes.empty()) {
        std::printf("ldapsearch:                        failed\n");
        return 1;
    }
    double ldapsearchBest = *std::min_element(ldapsearchTimes.begin(), ldapsearchTimes.end());
    std::printf("ldapsearch (best of %zu):            %.3f s\n", ldapsearchTimes.size(), ldapsearchBest);
    std::printf("ratio provider / ldapsearch:       %.2f (target <= 1.15)\n", providerBest / ldapsearchBest);
    std::printf("memory per record, records + cache: %.0f bytes\n", bytesPerRecord);
    std::printf("memory per record, provider cache:  %.0f bytes (target <= 1024)\n", cacheBytesPerRecord);
    return 0;
}
