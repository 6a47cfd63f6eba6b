#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "win/memory.h"
#include "win/objidl.h"

namespace {

LARGE_INTEGER Offset(LONGLONG value) {
    LARGE_INTEGER offset;
    offset.QuadPart = value;
    return offset;
}

ULONGLONG SizeOf(IStream* stream) {
    STATSTG stat;
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.type, DWORD(STGTY_STREAM));
    return stat.cbSize.QuadPart;
}

TEST(HGlobalStream, ReadWriteSeekAndSize) {
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    EXPECT_EQ(SizeOf(stream), 0u);
    ULONG done = 0;
    ASSERT_EQ(stream->Write("hello world", 11, &done), S_OK);
    EXPECT_EQ(done, 11u);
    EXPECT_EQ(SizeOf(stream), 11u);

    ULARGE_INTEGER position;
    ASSERT_EQ(stream->Seek(Offset(-5), STREAM_SEEK_END, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 6u);
    char buffer[32] = {};
    // A read past the end returns what there is, still S_OK.
    ASSERT_EQ(stream->Read(buffer, sizeof(buffer), &done), S_OK);
    EXPECT_EQ(done, 5u);
    EXPECT_EQ(std::string(buffer, done), "world");
    ASSERT_EQ(stream->Read(buffer, 4, &done), S_OK);
    EXPECT_EQ(done, 0u);

    EXPECT_EQ(stream->Seek(Offset(-1), STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream->Seek(Offset(0), 7, nullptr), STG_E_INVALIDFUNCTION);

    // Writing after a seek past the end fills the gap with zeros.
    ASSERT_EQ(stream->Seek(Offset(3), STREAM_SEEK_END, nullptr), S_OK);
    ASSERT_EQ(stream->Write("!", 1, nullptr), S_OK);
    EXPECT_EQ(SizeOf(stream), 15u);
    stream->Seek(Offset(11), STREAM_SEEK_SET, nullptr);
    stream->Read(buffer, 4, &done);
    EXPECT_EQ(std::memcmp(buffer, "\0\0\0!", 4), 0);

    ULARGE_INTEGER size;
    size.QuadPart = 5;
    ASSERT_EQ(stream->SetSize(size), S_OK);
    EXPECT_EQ(SizeOf(stream), 5u);
    stream->Seek(Offset(0), STREAM_SEEK_SET, nullptr);
    stream->Read(buffer, sizeof(buffer), &done);
    EXPECT_EQ(std::string(buffer, done), "hello");

    EXPECT_EQ(stream->Read(nullptr, 1, &done), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Write(nullptr, 1, &done), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Stat(nullptr, 0), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Release(), 0u);
}

TEST(HGlobalStream, ManySmallWritesAndClones) {
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    for (int i = 0; i < 100000; ++i) {
        BYTE b = BYTE(i);
        ASSERT_EQ(stream->Write(&b, 1, nullptr), S_OK);
    }
    EXPECT_EQ(SizeOf(stream), 100000u);

    // A clone shares the data and the size but has its own position.
    IStream* clone = nullptr;
    stream->Seek(Offset(10), STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(stream->Clone(&clone), S_OK);
    BYTE b = 0;
    clone->Read(&b, 1, nullptr);
    EXPECT_EQ(b, 10);
    stream->Write("\xFF", 1, nullptr);
    clone->Seek(Offset(10), STREAM_SEEK_SET, nullptr);
    clone->Read(&b, 1, nullptr);
    EXPECT_EQ(b, 0xFF);

    // The block lives while any clone does.
    stream->Release();
    EXPECT_EQ(SizeOf(clone), 100000u);
    HGLOBAL block = nullptr;
    ASSERT_EQ(GetHGlobalFromStream(clone, &block), S_OK);
    EXPECT_GE(GlobalSize(block), 100000u);
    clone->Release();
}

TEST(HGlobalStream, CallersBlockStaysTheCallers) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 8);
    std::memset(GlobalLock(block), 'x', 8);
    GlobalUnlock(block);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(block, FALSE, &stream), S_OK);
    EXPECT_EQ(SizeOf(stream), 8u) << "the stream starts as large as the block";
    ASSERT_EQ(stream->Write("ab", 2, nullptr), S_OK);
    HGLOBAL same = nullptr;
    GetHGlobalFromStream(stream, &same);
    EXPECT_EQ(same, block);
    stream->Release();
    // Not freed on release: the bytes are still there for the caller.
    auto* data = static_cast<char*>(GlobalLock(block));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data, 8), "abxxxxxx");
    GlobalUnlock(block);
    GlobalFree(block);

    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, nullptr), E_INVALIDARG);
    HGLOBAL out = nullptr;
    EXPECT_EQ(GetHGlobalFromStream(nullptr, &out), E_INVALIDARG);
}

}  // namespace
