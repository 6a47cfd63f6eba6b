// CoMarshalInterThreadInterfaceInStream / CoGetInterfaceAndReleaseStream.
//
// The stream carries a token for an entry in a process-wide table that holds the object and
// where it lives; unmarshalling takes the entry out, so marshal data is good for one use, as
// with Windows' normal marshalling.
#include <mutex>
#include <new>
#include <unordered_map>

#include "proxy_manager.h"
#include "win/objidl.h"

namespace lumivel::com {

namespace {

constexpr uint64_t kPacketMagic = 0x4C4D5850524F5859ull;  // "LMXPROXY"

struct MarshalEntry {
    ObjectHome home;
    Apartment ownerApartment;
    IUnknown* identity;  // one reference, owner side
};

struct MarshalTable {
    std::mutex mutex;
    uint64_t nextToken = 1;
    std::unordered_map<uint64_t, MarshalEntry> entries;
};

MarshalTable& Table() {
    static auto* table = new MarshalTable;
    return *table;
}

struct Packet {
    uint64_t magic;
    uint64_t token;
};

}  // namespace

}  // namespace lumivel::com

using namespace lumivel::com;

extern "C" {

HRESULT CoMarshalInterThreadInterfaceInStream(REFIID riid, LPUNKNOWN pUnk, LPSTREAM* ppStm) {
    if (!ppStm) return E_INVALIDARG;
    *ppStm = nullptr;
    if (!pUnk) return E_INVALIDARG;
    Apartment apartment = CurrentApartment();
    if (apartment == Apartment::None) return CO_E_NOTINITIALIZED;

    MarshalEntry entry;
    // Marshalling a proxy again hands on the real object and its owner, not a proxy of a proxy.
    void* manager = nullptr;
    if (SUCCEEDED(pUnk->QueryInterface(kIID_ProxyManager, &manager)) && manager) {
        auto* proxies = static_cast<ProxyManager*>(manager);
        IUnknown* identity = proxies->identity();
        // The reference is taken on the owner thread, as any call on the object.
        HRESULT hr = proxies->callOnOwner([&] {
            void* check = nullptr;
            HRESULT qi = identity->QueryInterface(riid, &check);
            if (SUCCEEDED(qi)) static_cast<IUnknown*>(check)->Release();
            if (SUCCEEDED(qi)) identity->AddRef();
            return qi;
        });
        if (FAILED(hr)) return hr;
        entry.home = proxies->home();
        entry.ownerApartment = Apartment::SingleThreaded;
        entry.identity = identity;
    } else {
        IUnknown* asked = nullptr;
        HRESULT hr = pUnk->QueryInterface(riid, reinterpret_cast<void**>(&asked));
        if (FAILED(hr)) return hr;
        asked->Release();
        IUnknown* identity = nullptr;
        hr = pUnk->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
        if (FAILED(hr)) return hr;
        entry.ownerApartment = apartment;
        entry.home.ownerThread = CurrentThreadId();
        // Objects of the multithreaded apartment are called directly from any thread.
        if (apartment == Apartment::SingleThreaded) entry.home.ownerQueue = lumivel::CurrentThreadQueue();
        entry.identity = identity;
    }

    IStream* stream = nullptr;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (FAILED(hr)) {
        ReleaseOnThread(entry.home, entry.identity);
        return hr;
    }
    Packet packet = {kPacketMagic, 0};
    {
        MarshalTable& table = Table();
        std::lock_guard lock(table.mutex);
        packet.token = table.nextToken++;
        table.entries.emplace(packet.token, entry);
    }
    ULONG written = 0;
    hr = stream->Write(&packet, sizeof(packet), &written);
    LARGE_INTEGER start = {};
    if (SUCCEEDED(hr)) hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr) || written != sizeof(packet)) {
        MarshalTable& table = Table();
        {
            std::lock_guard lock(table.mutex);
            table.entries.erase(packet.token);
        }
        ReleaseOnThread(entry.home, entry.identity);
        stream->Release();
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    }
    *ppStm = stream;
    return S_OK;
}

HRESULT CoGetInterfaceAndReleaseStream(LPSTREAM pStm, REFIID iid, LPVOID* ppv) {
    if (!ppv) {
        if (pStm) pStm->Release();
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (!pStm) return E_INVALIDARG;
    Packet packet = {};
    ULONG read = 0;
    HRESULT hr = pStm->Read(&packet, sizeof(packet), &read);
    // The stream is released whatever happens, as on Windows.
    pStm->Release();
    if (FAILED(hr)) return hr;
    if (read != sizeof(packet) || packet.magic != kPacketMagic) return E_INVALIDARG;
    if (CurrentApartment() == Apartment::None) return CO_E_NOTINITIALIZED;

    MarshalEntry entry;
    {
        MarshalTable& table = Table();
        std::lock_guard lock(table.mutex);
        auto found = table.entries.find(packet.token);
        // Marshal data is good for one unmarshal only.
        if (found == table.entries.end()) return CO_E_OBJNOTCONNECTED;
        entry = found->second;
        table.entries.erase(found);
    }

    Apartment here = CurrentApartment();
    bool direct = entry.ownerApartment == Apartment::MultiThreaded ||
                  (here == Apartment::SingleThreaded && CurrentThreadId() == entry.home.ownerThread);
    if (direct) {
        hr = entry.identity->QueryInterface(iid, ppv);
        ReleaseOnThread(entry.home, entry.identity);
        return hr;
    }
    auto* manager = new (std::nothrow) ProxyManager(entry.home, entry.identity);
    if (!manager) {
        ReleaseOnThread(entry.home, entry.identity);
        return E_OUTOFMEMORY;
    }
    manager->addRef();
    hr = manager->QueryProxy(iid, ppv);
    manager->release();
    return hr;
}

}  // extern "C"
