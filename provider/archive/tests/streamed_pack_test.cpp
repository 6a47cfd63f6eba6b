// Packing while the bytes are still being made: the pipe between the two threads keeps
// their order and its bound, either side ending early frees the other, and the archive is
// the one PackFile makes of the finished file, or no file at all.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "lumivel/text.h"
#include "provider/archive/archive_commands.h"
#include "provider/archive/byte_pipe.h"
#include "provider/archive/streamed_pack.h"
#include "provider/archive/zip_format.h"
#include "win/errors.h"

namespace revivo::zip {
namespace {

namespace fs = std::filesystem;

std::string noise(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>("0123456789ABCDEF\r\n="[random() % 19]);
    return bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class Folder {
public:
    Folder() {
        m_path = fs::temp_directory_path() / ("revivo_stream_" + std::to_string(::getpid()) + "_" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_path);
        fs::create_directories(m_path / "out");
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    fs::path operator/(const std::string& name) const { return m_path / name; }
    std::u16string W(const std::string& name) const { return lumivel::FromUtf8((m_path / name).string()); }

private:
    fs::path m_path;
};

TEST(BytePipe, BytesArriveInOrderWithinTheBound) {
    constexpr size_t kCapacity = 16 * 1024;
    BytePipe pipe(kCapacity);
    std::string sent;
    std::thread writer([&] {
        std::mt19937 random(7);
        std::string chunk;
        for (int i = 0; i < 400; ++i) {
            chunk = noise(1 + random() % 6000, static_cast<unsigned>(i));
            sent += chunk;
            ASSERT_TRUE(pipe.Push(chunk));
            EXPECT_TRUE(chunk.empty());
        }
        pipe.Close();
    });
    std::string received;
    char buffer[777];
    for (size_t read = 1; read != 0;) {
        ASSERT_TRUE(pipe.Read(buffer, sizeof buffer, &read));
        received.append(buffer, read);
    }
    writer.join();
    EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size() << " bytes";
    EXPECT_LE(pipe.MostHeld(), kCapacity);
    EXPECT_GT(pipe.MostHeld(), 0u);
}

TEST(BytePipe, EitherSideEndingEarlyFreesTheOther) {
    // A reader that stops frees a writer waiting on a full pipe.
    {
        BytePipe pipe(10);
        std::string first = "0123456789";
        ASSERT_TRUE(pipe.Push(first));
        std::thread reader([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            pipe.StopReading();
        });
        std::string second = "more";
        EXPECT_FALSE(pipe.Push(second));
        reader.join();
        EXPECT_FALSE(pipe.Push(second));
    }
    // A writer that aborts fails the reader, even with bytes still in the pipe.
    {
        BytePipe pipe(100);
        std::string chunk = "partial";
        ASSERT_TRUE(pipe.Push(chunk));
        pipe.Abort();
        char buffer[16];
        size_t read = 99;
        EXPECT_FALSE(pipe.Read(buffer, sizeof buffer, &read));
        EXPECT_EQ(read, 0u);
    }
    // A closed pipe hands out what it holds, then its end; a chunk larger than the bound
    // still goes into an empty pipe rather than waiting for ever.
    {
        BytePipe pipe(4);
        std::string chunk = "larger than four";
        ASSERT_TRUE(pipe.Push(chunk));
        pipe.Close();
        char buffer[64];
        size_t read = 0;
        ASSERT_TRUE(pipe.Read(buffer, sizeof buffer, &read));
        EXPECT_EQ(std::string(buffer, read), "larger than four");
        ASSERT_TRUE(pipe.Read(buffer, sizeof buffer, &read));
        EXPECT_EQ(read, 0u);
    }
}

// The archive made as the bytes come is PackFile's archive of the finished file, byte for
// byte but for the members' time stamps.
TEST(StreamedPack, MakesTheArchivePackFileMakes) {
    Folder folder;
    const std::string name = "{0A1B2C3D-1111-4222-8333-444455556666}.inf";
    const std::string contents = noise(3 * 1024 * 1024 + 17, 3);
    std::ofstream(folder / name, std::ios::binary) << contents;
    ASSERT_EQ(PackFile(folder.W("packed.zip").c_str(), folder.W(name).c_str()), 0);

    StreamedPack pack;
    DWORD error = 0;
    ASSERT_TRUE(StartPackingStream(pack, folder.W("streamed.zip").c_str(), lumivel::FromUtf8(name).c_str(), &error));
    for (size_t at = 0; at < contents.size();) {
        std::string chunk = contents.substr(at, 70000);
        at += chunk.size();
        ASSERT_TRUE(pack.Write(chunk));
    }
    EXPECT_LE(pack.MostQueued(), StreamedPack::kPipeCapacity);
    ASSERT_EQ(pack.Finish(), static_cast<DWORD>(ERROR_SUCCESS));

    std::string packed = readFile(folder / "packed.zip"), streamed = readFile(folder / "streamed.zip");
    ASSERT_EQ(packed.size(), streamed.size());
    auto clearStamps = [](std::string& archive) {
        archive.replace(10, 4, 4, '\0');  // the local header's time and date
        size_t central = archive.rfind("PK\x01\x02");
        ASSERT_NE(central, std::string::npos);
        archive.replace(central + 12, 4, 4, '\0');
    };
    clearStamps(packed);
    clearStamps(streamed);
    EXPECT_TRUE(packed == streamed);

    fs::remove(folder / name);
    ASSERT_EQ(ExtractInfFiles(folder.W("streamed.zip").c_str(), folder.W("out").c_str()), 0);
    EXPECT_TRUE(readFile(folder / "out" / name) == contents);
}

TEST(StreamedPack, NoArchiveIsLeftUnlessItIsFinished) {
    Folder folder;
    DWORD error = 0;
    std::string chunk = noise(500000, 1);
    {
        StreamedPack pack;
        ASSERT_TRUE(StartPackingStream(pack, folder.W("abandoned.zip").c_str(), u"a.inf", &error));
        ASSERT_TRUE(pack.Write(chunk));
        EXPECT_TRUE(fs::exists(folder / "abandoned.zip"));
        pack.Abandon();
        EXPECT_FALSE(fs::exists(folder / "abandoned.zip"));
        EXPECT_EQ(pack.Finish(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    {
        StreamedPack pack;
        ASSERT_TRUE(StartPackingStream(pack, folder.W("dropped.zip").c_str(), u"a.inf", &error));
        chunk = noise(500000, 2);
        ASSERT_TRUE(pack.Write(chunk));
    }
    EXPECT_FALSE(fs::exists(folder / "dropped.zip"));

    // An archive already there is neither replaced nor removed.
    std::ofstream(folder / "there.zip") << "keep me";
    StreamedPack pack;
    EXPECT_FALSE(StartPackingStream(pack, folder.W("there.zip").c_str(), u"a.inf", &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(readFile(folder / "there.zip"), "keep me");
    EXPECT_FALSE(pack.Write(chunk));
}

}  // namespace
}  // namespace revivo::zip
