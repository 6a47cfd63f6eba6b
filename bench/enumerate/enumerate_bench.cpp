// Lists a domain's tombstones through IRevivo::EnumDeletedObjects and through ldapsearch doing
// the same search (one level, show-deleted control, pages of 1000, the six attributes), and
// prints both times, their ratio and the memory the records take; and beside it the same
// listing by a provider whose schema cache is initialised, so that every record carries its
// class's friendly name, and what that costs.
//
// The schema cache is a copy of Glossar.so registered in private hives in a scratch folder,
// beside a copy of the generator, which writes the index there when the cache is initialised.
//
// Run inside the test directory after seeding many tombstones, for example:
//   tests/testdc/testdc bulk 10000
//   tests/testdc/testdc exec build-P/bin/enumerate_bench [runs]
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/common/timed_process.h"
#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "provider/revivo.h"
#include "shared/object_list.h"
#include "shared/schema_cache_interface.h"
#include "shared/text_helpers.h"
#include "win/processes.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

size_t heapInUse() { return mallinfo2().uordblks; }

// One timed ldapsearch run with its output thrown away; negative when it failed.
double timeLdapsearch(const std::string& server, const std::string& baseDn) {
    return bench::TimeProcess(bench::TombstoneLdapsearch(server, baseDn));
}

// Private hives and Glossar.so registered from a copy beside a copy of the generator; all of
// it goes when the run ends.
class ScratchInstallation {
public:
    bool create() {
        char pattern[] = "/tmp/enumerate-bench-XXXXXX";
        if (!mkdtemp(pattern)) return false;
        m_folder = pattern;
        setenv("LUMIVEL_MACHINE_HIVE", (m_folder + "/machine.hive").c_str(), 1);
        setenv("LUMIVEL_USER_HIVE", (m_folder + "/user.hive").c_str(), 1);
        const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
        std::error_code error;
        for (const char* file : {"Glossar.so", "Taxonis"})
            if (!std::filesystem::copy_file(bin + "/" + file, m_folder + "/" + file, error)) return false;
        return true;
    }
    bool registerCache() {
        HMODULE module = LoadLibraryW(lumivel::shared::WidenText(m_folder + "/Glossar.so").c_str());
        auto registerServer = module ? reinterpret_cast<HRESULT (*)()>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer"))) : nullptr;
        return registerServer && SUCCEEDED(registerServer());
    }
    ~ScratchInstallation() {
        std::error_code ignored;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
    }

private:
    std::string m_folder;
};

struct Listing {
    std::vector<double> times;
    size_t records = 0;
    size_t friendlyDiffers = 0;  // records whose friendly class name is not the class itself
    double namingWork = -1;  // seconds that naming the last run's records took, when asked
    double bytesPerRecord = 0;
    double cacheBytesPerRecord = 0;
};

// What the provider adds per record when it has the schema cache: the lookup and the copy of
// the friendly name into the record, here on records that were listed without it.
double timeNaming(ISchemaCache* cache, const std::vector<PropertySet*>& records) {
    auto start = Clock::now();
    for (PropertySet* record : records) {
        BSTR className = record->className();
        BSTR friendly = nullptr;
        cache->LookupFriendlyClassName(className, &friendly);
        record->setString(u"FriendlyClassName", friendly && SysStringLen(friendly) ? friendly : className);
    }
    return seconds(Clock::now() - start);
}

// One timed listing; false when it failed. Memory is measured on the first run of a phase.
// With `naming`, the records are afterwards named the way the provider would name them, and
// that alone is timed.
bool timeListing(IRevivo* provider, Listing* listing, ISchemaCache* naming = nullptr) {
    size_t before = heapInUse();
    VARIANT list;
    VariantInit(&list);
    auto start = Clock::now();
    HRESULT result = provider->EnumDeletedObjects(0, nullptr, &list);
    double elapsed = seconds(Clock::now() - start);
    if (FAILED(result)) {
        std::fprintf(stderr, "enumerate_bench: EnumDeletedObjects failed: 0x%08X\n", static_cast<unsigned>(result));
        return false;
    }
    size_t held = heapInUse();
    const auto records = lumivel::shared::ReadObjectList(&list);
    size_t differs = 0;
    for (PropertySet* record : records) {
        BSTR className = record->className();
        const std::u16string_view friendly = record->getText(u"FriendlyClassName");
        differs += className && friendly != std::u16string_view(className, SysStringLen(className));
    }
    if (naming) listing->namingWork = timeNaming(naming, records);
    lumivel::shared::FreeObjectListRecords(&list);
    size_t cacheOnly = heapInUse();
    if (!records.empty() && listing->times.empty()) {
        listing->bytesPerRecord = static_cast<double>(held - before) / static_cast<double>(records.size());
        listing->cacheBytesPerRecord =
            static_cast<double>(cacheOnly > before ? cacheOnly - before : 0) / static_cast<double>(records.size());
    }
    listing->records = records.size();
    listing->friendlyDiffers = differs;
    listing->times.push_back(elapsed);
    return true;
}

double best(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4;
    const char* server = std::getenv("TESTDC_DC");
    const char* baseDn = std::getenv("TESTDC_BASEDN");
    if (!server || !baseDn) {
        std::fprintf(stderr, "enumerate_bench: run inside the test directory (testdc exec)\n");
        return 1;
    }
    ScratchInstallation installation;
    if (!installation.create()) {
        std::fprintf(stderr, "enumerate_bench: cannot make a scratch installation\n");
        return 1;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // One provider made while no schema cache is registered, one with the cache initialised;
    // their runs alternate, each going first in turn, so that both meet the server alike.
    lumivel::ComPtr<IRevivo> plain, named;
    lumivel::ComPtr<ISchemaCache> cache;
    if (FAILED(revivo::Revivo::CreateInstance(nullptr, IID_IRevivo, plain.putVoid())) || !installation.registerCache() ||
        FAILED(revivo::Revivo::CreateInstance(nullptr, IID_IRevivo, named.putVoid())) ||
        FAILED(CoCreateInstance(CLSID_SchemaCache, nullptr, CLSCTX_INPROC_SERVER, IID_ISchemaCache, cache.putVoid()))) {
        std::fprintf(stderr, "enumerate_bench: cannot create the providers and the schema cache\n");
        return 1;
    }
    auto start = Clock::now();
    cache->InitializeActiveDirectoryIcons(0);
    const double initialisation = seconds(Clock::now() - start);
    if (cache->IsInitialized() != S_OK) {
        std::fprintf(stderr, "enumerate_bench: the schema cache could not be initialised\n");
        return 1;
    }

    Listing without, with;
    std::vector<double> ldapsearchTimes;
    for (int run = 0; run < runs; ++run) {
        const bool plainFirst = run % 2 == 0;
        if (!timeListing(plainFirst ? plain.get() : named.get(), plainFirst ? &without : &with) ||
            !timeListing(plainFirst ? named.get() : plain.get(), plainFirst ? &with : &without,
                         plainFirst ? nullptr : cache.get()))
            return 1;
        // A failed ldapsearch run is left out instead of passing for the fastest one.
        double ldapsearchTime = timeLdapsearch(server, baseDn);
        if (ldapsearchTime >= 0) ldapsearchTimes.push_back(ldapsearchTime);
    }
    if (without.namingWork < 0 && !timeListing(plain.get(), &without, cache.get())) return 1;
    cache.reset();
    plain.reset();
    named.reset();
    CoUninitialize();

    double providerBest = best(without.times);
    std::printf("tombstones listed:                 %zu\n", without.records);
    std::printf("EnumDeletedObjects (best of %zu):    %.3f s\n", without.times.size(), providerBest);
    if (ldapsearchTimes.empty()) {
        std::printf("ldapsearch:                        failed\n");
        return 1;
    }
    double ldapsearchBest = best(ldapsearchTimes);
    std::printf("ldapsearch (best of %zu):            %.3f s\n", ldapsearchTimes.size(), ldapsearchBest);
    std::printf("ratio provider / ldapsearch:       %.2f (target <= 1.15)\n", providerBest / ldapsearchBest);
    std::printf("memory per record, records + cache: %.0f bytes\n", without.bytesPerRecord);
    std::printf("memory per record, provider cache:  %.0f bytes (target <= 1024)\n", without.cacheBytesPerRecord);
    std::printf("schema cache initialised in:       %.3f s (generator and load)\n", initialisation);
    std::printf("with friendly names (best of %zu):   %.3f s, %zu of %zu records named otherwise than their class\n",
                with.times.size(), best(with.times), with.friendlyDiffers, with.records);
    std::printf("cost of friendly names:            %+.1f %% (target <= 5 %%)\n",
                100.0 * (best(with.times) - providerBest) / providerBest);
    std::printf("naming the %zu records alone:    %.1f ms, %.2f %% of the listing (lookup and copy per record)\n",
                without.records, without.namingWork * 1000.0, 100.0 * without.namingWork / providerBest);
    return 0;
}
