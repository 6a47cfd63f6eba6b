// Packs and extracts a generated 50 MB backup INF with the provider's ZIP engine and with
// Info-ZIP's zip -5 / unzip on the same file, and prints the throughput of each.
//   bench_archive [megabytes]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "lumivel/text.h"
#include "provider/archive/archive_commands.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 3;

std::string TextHex(const std::string& text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : text) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
        hex += "00";
    }
    return hex;
}

// Sections of attribute lines as the backup writer makes them: mostly text hex of names,
// paths and descriptions, some byte hex of binary values, now and then a very long value.
void WriteBackup(const fs::path& path, size_t bytes) {
    std::mt19937 random(20261208);
    std::ofstream out(path, std::ios::binary);
    std::string header = "[Version]\r\nSignature=\"$Windows NT$\"\r\nLayoutFile=layout.inf\r\nProvider=\"Tarvo Software\"\r\n"
                         "ClassGUID={ED39F520-9EA3-4c8b-AA07-BA95A75DEA65}\r\nClass=Revivo_Backup\r\n\r\n"
                         "[Backup Info]\r\nDateTime=\"2026-12-08 13:45:31\"\r\nOrigin=\"OU=Staff,DC=example,DC=com\"\r\n";
    out << header;
    size_t written = header.size();
    const char* kWords[] = {"Staff", "Sales", "Helsinki", "Building", "Printer", "Group", "Contoso", "North",
                            "Engineering", "Account", "Service", "Room", "Floor", "Team", "Project"};
    auto word = [&] { return std::string(kWords[random() % 15]); };
    for (unsigned object = 0; written < bytes; ++object) {
        std::string section = "\r\n[";
        for (int i = 0; i < 32; ++i) section += "0123456789abcdef"[random() % 16];
        section += "]\r\n";
        std::string name = word() + " " + word() + " " + std::to_string(object);
        std::string dn = "CN=" + name + ",OU=" + word() + ",OU=" + word() + ",DC=example,DC=com";
        section += "cn=8\t\"" + TextHex(name) + "\"\r\n";
        section += "distinguishedName=8\t\"" + TextHex(dn) + "\"\r\n";
        section += "description=8\t\"" + TextHex(word() + " " + word() + " " + word() + " of " + name) + "\"\r\n";
        section += "objectSid=8209\t\"";
        for (int i = 0; i < 28; ++i) section += "0123456789ABCDEF"[random() % 16];
        section += "\"\r\n";
        for (int n = 1; n <= 6; ++n) {
            section += "otherTelephone_" + std::to_string(n) + "=8204\t\"" +
                       TextHex("+358 9 " + std::to_string(random() % 10000000)) + "\"\r\n";
        }
        if (object % 20 == 0) {  // a photo or certificate: long, barely compressible
            section += "thumbnailPhoto=8209\t\"";
            for (int i = 0; i < 12000; ++i) section += "0123456789ABCDEF"[random() % 16];
            section += "\"\r\n";
        }
        section += "path=8\t\"" + TextHex(dn.substr(dn.find(',') + 1)) + "\"\r\n";
        out << section;
        written += section.size();
    }
}

double BestSeconds(const std::function<bool()>& run, const std::function<void()>& before) {
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        before();
        auto start = std::chrono::steady_clock::now();
        if (!run()) {
            std::fprintf(stderr, "a run failed\n");
            std::exit(1);
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    fs::path dir = fs::temp_directory_path() / ("bench_archive_" + std::to_string(::getpid()));
    fs::create_directories(dir / "ours");
    fs::create_directories(dir / "infozip");
    const std::string member = "{0A1B2C3D-1111-4222-8333-444455556666}.inf";
    fs::path inf = dir / member;
    WriteBackup(inf, megabytes << 20);
    double size = static_cast<double>(fs::file_size(inf)) / (1 << 20);
    std::u16string infW = lumivel::FromUtf8(inf.string());
    fs::path ourZip = dir / "ours.zip", theirZip = dir / "infozip.zip";
    std::u16string ourZipW = lumivel::FromUtf8(ourZip.string());

    double pack = BestSeconds([&] { return revivo::PackFile(ourZipW.c_str(), infW.c_str()) == 0; },
                              [&] { fs::remove(ourZip); });
    double zip = BestSeconds([&] { return Shell("zip -q -j -X -5 '" + theirZip.string() + "' '" + inf.string() + "'"); },
                             [&] { fs::remove(theirZip); });
    std::u16string oursDirW = lumivel::FromUtf8((dir / "ours").string());
    double extract = BestSeconds([&] { return revivo::ExtractInfFiles(ourZipW.c_str(), oursDirW.c_str()) == 0; },
                                 [&] { fs::remove(dir / "ours" / member); });
    double unzip = BestSeconds(
        [&] { return Shell("unzip -q -o -j '" + ourZip.string() + "' -d '" + (dir / "infozip").string() + "'"); },
        [&] { fs::remove(dir / "infozip" / member); });

    std::string original = Read(inf);
    bool same = Read(dir / "ours" / member) == original && Read(dir / "infozip" / member) == original;
    std::printf("input: %.1f MB backup INF; archive ours %.2f MB, zip -5 %.2f MB\n", size,
                static_cast<double>(fs::file_size(ourZip)) / (1 << 20),
                static_cast<double>(fs::file_size(theirZip)) / (1 << 20));
    std::printf("pack:    ours %7.1f MB/s   zip -5 %7.1f MB/s   time ratio %.2f\n", size / pack, size / zip, pack / zip);
    std::printf("extract: ours %7.1f MB/s   unzip  %7.1f MB/s   time ratio %.2f\n", size / extract, size / unzip,
                extract / unzip);
    std::printf("extracted files identical: %s; target (ratio <= 1.3 both ways): %s\n", same ? "yes" : "NO",
                pack / zip <= 1.3 && extract / unzip <= 1.3 ? "met" : "NOT met");
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return same ? 0 : 1;
}
