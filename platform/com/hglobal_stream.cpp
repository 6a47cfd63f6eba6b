// IStream over a global memory block (CreateStreamOnHGlobal).
//
// The stream's size starts as the block's size and is kept apart from it: the block grows in
// steps so that many small writes stay linear, and may be larger than the stream. Clones share
// the block and its size, each with its own position. The block is freed with the last stream
// only when the creator asked for that (fDeleteOnRelease).
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "lumivel/com_object.h"
#include "win/memory.h"
#include "win/objidl.h"

namespace {

// Identifies our streams to GetHGlobalFromStream; never handed out as an interface.
constexpr IID kIID_HGlobalStream = {0x6F1C3B52, 0x8E0A, 0x4C2D, {0x9B, 0x41, 0x3E, 0x57, 0xA2, 0x10, 0xC4, 0x7D}};

// Windows streams on global memory are limited to 32-bit sizes.
constexpr ULONGLONG kMaxStreamSize = 0xFFFFFFFFull;

struct SharedBlock {
    std::mutex mutex;
    HGLOBAL handle = nullptr;
    ULONGLONG size = 0;
    bool deleteOnRelease = false;

    ~SharedBlock() {
        if (deleteOnRelease && handle) GlobalFree(handle);
    }

    // Makes room for `needed` bytes; the handle may change when the block moves.
    bool reserve(ULONGLONG needed) {
        SIZE_T capacity = GlobalSize(handle);
        if (needed <= capacity) return true;
        if (needed > kMaxStreamSize) return false;
        ULONGLONG grown = capacity + capacity / 2;
        if (grown < needed) grown = needed;
        if (grown > kMaxStreamSize) grown = kMaxStreamSize;
        HGLOBAL moved = GlobalReAlloc(handle, SIZE_T(grown), GMEM_MOVEABLE);
        if (!moved) return false;
        handle = moved;
        return true;
    }
};

class HGlobalStream final : public lumivel::com::ComObject<HGlobalStream, IStream> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<HGlobalStream, IStream>(IID_IStream),
        lumivel::com::InterfaceOf<HGlobalStream, IStream>(IID_ISequentialStream),
        lumivel::com::InterfaceOf<HGlobalStream, IStream>(kIID_HGlobalStream),
    };

    void Attach(std::shared_ptr<SharedBlock> block, ULONGLONG position) {
        m_block = std::move(block);
        m_position = position;
    }
    SharedBlock& Block() { return *m_block; }

    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        if (!pv) return STG_E_INVALIDPOINTER;
        std::lock_guard lock(m_block->mutex);
        ULONG count = 0;
        if (m_position < m_block->size) {
            ULONGLONG available = m_block->size - m_position;
            count = ULONG(available < cb ? available : cb);
            auto* data = static_cast<BYTE*>(GlobalLock(m_block->handle));
            if (!data) return STG_E_READFAULT;
            std::memcpy(pv, data + m_position, count);
            GlobalUnlock(m_block->handle);
            m_position += count;
        }
        if (pcbRead) *pcbRead = count;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        if (pcbWritten) *pcbWritten = 0;
        if (!pv) return STG_E_INVALIDPOINTER;
        if (cb == 0) return S_OK;
        std::lock_guard lock(m_block->mutex);
        ULONGLONG end = m_position + cb;
        if (!m_block->reserve(end)) return STG_E_MEDIUMFULL;
        auto* data = static_cast<BYTE*>(GlobalLock(m_block->handle));
        if (!data) return STG_E_WRITEFAULT;
        // A write after a seek past the end leaves zeros in the gap, not old bytes.
        if (m_position > m_block->size) std::memset(data + m_block->size, 0, m_position - m_block->size);
        std::memcpy(data + m_position, pv, cb);
        GlobalUnlock(m_block->handle);
        m_position = end;
        if (end > m_block->size) m_block->size = end;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override {
        std::lock_guard lock(m_block->mutex);
        LONGLONG base = 0;
        switch (dwOrigin) {
            case STREAM_SEEK_SET: base = 0; break;
            case STREAM_SEEK_CUR: base = LONGLONG(m_position); break;
            case STREAM_SEEK_END: base = LONGLONG(m_block->size); break;
            default: return STG_E_INVALIDFUNCTION;
        }
        LONGLONG target = 0;
        if (__builtin_add_overflow(base, dlibMove.QuadPart, &target) || target < 0 ||
            ULONGLONG(target) > kMaxStreamSize)
            return STG_E_INVALIDFUNCTION;
        m_position = ULONGLONG(target);
        if (plibNewPosition) plibNewPosition->QuadPart = m_position;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) override {
        std::lock_guard lock(m_block->mutex);
        ULONGLONG size = libNewSize.QuadPart;
        if (size > kMaxStreamSize || !m_block->reserve(size)) return STG_E_MEDIUMFULL;
        if (size > m_block->size) {
            auto* data = static_cast<BYTE*>(GlobalLock(m_block->handle));
            if (!data) return STG_E_WRITEFAULT;
            std::memset(data + m_block->size, 0, size - m_block->size);
            GlobalUnlock(m_block->handle);
        }
        m_block->size = size;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                     ULARGE_INTEGER* pcbWritten) override {
        if (pcbRead) pcbRead->QuadPart = 0;
        if (pcbWritten) pcbWritten->QuadPart = 0;
        if (!pstm) return STG_E_INVALIDPOINTER;
        ULONGLONG left = cb.QuadPart, read = 0, written = 0;
        BYTE buffer[16384];
        HRESULT hr = S_OK;
        while (left > 0) {
            ULONG chunk = ULONG(left < sizeof(buffer) ? left : sizeof(buffer));
            ULONG got = 0, put = 0;
            hr = Read(buffer, chunk, &got);
            if (FAILED(hr) || got == 0) break;
            read += got;
            hr = pstm->Write(buffer, got, &put);
            written += put;
            if (FAILED(hr) || put != got) break;
            left -= got;
        }
        if (pcbRead) pcbRead->QuadPart = read;
        if (pcbWritten) pcbWritten->QuadPart = written;
        return FAILED(hr) ? hr : S_OK;
    }

    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD) override {
        if (!pstatstg) return STG_E_INVALIDPOINTER;
        std::memset(pstatstg, 0, sizeof(*pstatstg));
        pstatstg->type = STGTY_STREAM;
        std::lock_guard lock(m_block->mutex);
        pstatstg->cbSize.QuadPart = m_block->size;
        pstatstg->grfMode = STGM_READWRITE;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) override {
        if (!ppstm) return STG_E_INVALIDPOINTER;
        *ppstm = nullptr;
        IStream* clone = nullptr;
        HRESULT hr = lumivel::com::CreateComObject<HGlobalStream, lumivel::com::Aggregation::Refused>(
            nullptr, IID_IStream, reinterpret_cast<void**>(&clone));
        if (FAILED(hr)) return hr;
        std::lock_guard lock(m_block->mutex);
        static_cast<HGlobalStream*>(clone)->Attach(m_block, m_position);
        *ppstm = clone;
        return S_OK;
    }

private:
    std::shared_ptr<SharedBlock> m_block;
    ULONGLONG m_position = 0;
};

}  // namespace

extern "C" {

HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, LPSTREAM* ppstm) {
    if (!ppstm) return E_INVALIDARG;
    *ppstm = nullptr;
    auto block = std::shared_ptr<SharedBlock>(new (std::nothrow) SharedBlock);
    if (!block) return E_OUTOFMEMORY;
    if (hGlobal) {
        // Check the handle before the block takes ownership of it.
        if (!GlobalLock(hGlobal)) return E_INVALIDARG;
        GlobalUnlock(hGlobal);
        block->handle = hGlobal;
        block->size = GlobalSize(hGlobal);
    } else {
        block->handle = GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!block->handle) return E_OUTOFMEMORY;
    }
    block->deleteOnRelease = fDeleteOnRelease != FALSE;
    IStream* stream = nullptr;
    HRESULT hr = lumivel::com::CreateComObject<HGlobalStream, lumivel::com::Aggregation::Refused>(
        nullptr, IID_IStream, reinterpret_cast<void**>(&stream));
    if (FAILED(hr)) {
        // A block the caller passed in stays the caller's when no stream came of it.
        if (hGlobal) block->deleteOnRelease = false;
        return hr;
    }
    static_cast<HGlobalStream*>(stream)->Attach(std::move(block), 0);
    *ppstm = stream;
    return S_OK;
}

HRESULT GetHGlobalFromStream(LPSTREAM pstm, HGLOBAL* phglobal) {
    if (!phglobal) return E_INVALIDARG;
    *phglobal = nullptr;
    if (!pstm) return E_INVALIDARG;
    IStream* ours = nullptr;
    if (FAILED(pstm->QueryInterface(kIID_HGlobalStream, reinterpret_cast<void**>(&ours)))) return E_INVALIDARG;
    SharedBlock& block = static_cast<HGlobalStream*>(ours)->Block();
    {
        std::lock_guard lock(block.mutex);
        *phglobal = block.handle;
    }
    ours->Release();
    return S_OK;
}

}  // extern "C"
