// The saved image lists "SmallImages.iml" and "LargeImages.iml": written with ImageList_Write
// and read with ImageList_Read through the schema cache's own IStream, which reads from and
// writes to the file that is open at the time.
#pragma once

#include <mutex>
#include <string>

#include "win/commctrl.h"
#include "win/objidl.h"

namespace glossar {

inline constexpr char16_t kSmallImagesFile[] = u"SmallImages.iml";
inline constexpr char16_t kLargeImagesFile[] = u"LargeImages.iml";

// An IStream that only reads and writes, as ImageList_Read and ImageList_Write use it.
class ReadWriteStream : public IStream {
public:
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};

// The open image-list file behind the cache's IStream. Reads and writes report what really
// happened: a short read says so (S_FALSE and the count) and a failed or short write fails,
// so that a truncated file is refused by ImageList_Read instead of read as if complete.
class ImageListFileSlot {
public:
    HRESULT Read(void* buffer, ULONG size, ULONG* read);
    HRESULT Write(const void* data, ULONG size, ULONG* written);

    // The list in the file, read through the stream; null when the file is missing or does
    // not hold a whole list.
    HIMAGELIST ReadList(const std::u16string& path, IStream* stream);
    // Writes the list through the stream into a new file that replaces the old one only when
    // complete; false when nothing was replaced.
    bool WriteList(const std::u16string& path, HIMAGELIST list, IStream* stream);

private:
    // One file at a time; the stream's calls come back on the same thread.
    std::recursive_mutex m_mutex;
    HANDLE m_file = INVALID_HANDLE_VALUE;
};

}  // namespace glossar
