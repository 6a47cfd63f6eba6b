#include "provider/tests/backup_fixture.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "tests/support/child_process.h"
#include "tests/support/directory_fixture.h"

namespace lumivel::testing {

namespace {

std::string base64Decode(const std::string& text) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        int v = value(c);
        if (v < 0) continue;
        buffer = buffer << 6 | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | code >> 6));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | code >> 12));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | code >> 18));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

const BackupSection* BackupFile::find(const std::string& name) const {
    for (const BackupSection& section : sections)
        if (section.name == name) return &section;
    return nullptr;
}

std::vector<std::string> ArchiveMembers(const std::string& archive) {
    std::vector<std::string> members;
    std::istringstream lines(ShellOutput("unzip -Z1 " + ShellQuote(archive) + " 2>/dev/null"));
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) members.push_back(line);
    return members;
}

bool ReadBackupFile(const std::string& archive, const std::string& member, BackupFile* file) {
    file->bytes = ShellOutput("unzip -p " + ShellQuote(archive) + " " + ShellQuote(member) + " 2>/dev/null");
    if (file->bytes.empty()) return false;
    std::string section;
    size_t start = 0;
    while (start < file->bytes.size()) {
        size_t end = file->bytes.find("\r\n", start);
        if (end == std::string::npos) return false;
        std::string line = file->bytes.substr(start, end - start);
        start = end + 2;
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            if (section != "Version" && section != "Backup Info") file->sections.push_back({section, {}});
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) return false;
        std::string key = line.substr(0, equals), rest = line.substr(equals + 1);
        if (section == "Backup Info") {
            file->info[key] = rest.size() >= 2 ? rest.substr(1, rest.size() - 2) : rest;
            continue;
        }
        if (section == "Version") continue;
        size_t tab = rest.find('\t');
        if (tab == std::string::npos || rest.size() < tab + 3 || rest[tab + 1] != '"' || rest.back() != '"') return false;
        file->sections.back().lines.push_back({key, std::stoi(rest.substr(0, tab)), rest.substr(tab + 2, rest.size() - tab - 3)});
    }
    return true;
}

std::string DecodeTextHexUtf8(const std::string& hex) {
    if (hex.size() % 4) return {};
    std::vector<unsigned> units;
    for (size_t i = 0; i < hex.size(); i += 4) {
        unsigned low = std::stoul(hex.substr(i, 2), nullptr, 16), high = std::stoul(hex.substr(i + 2, 2), nullptr, 16);
        units.push_back(low | high << 8);
    }
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        unsigned code = units[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size())
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
        appendUtf8(out, code);
    }
    return out;
}

std::string ByteHex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

std::string LdapEntry::guidSection() const {
    auto found = attributes.find("objectguid");
    if (found == attributes.end() || found->second.empty()) return {};
    std::string hex = ByteHex(found->second.front());
    std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    return hex;
}

std::vector<LdapEntry> LdapSubtree(const std::string& base) {
    std::string ldif = ShellOutput("ldapsearch -Q -Y GSSAPI -N -O minssf=56 -H ldap://" + TestDirectory().server +
                                   " -LLL -o ldif-wrap=no -b " + ShellQuote(base) +
                                   " -s sub '(objectClass=*)' '*' objectGUID nTSecurityDescriptor 2>/dev/null");
    std::vector<LdapEntry> entries;
    std::istringstream lines(ldif);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon);
        std::string value = line.compare(colon, 2, "::") == 0 ? base64Decode(line.substr(colon + 2)) : line.substr(colon + 2);
        if (key == "dn") {
            entries.push_back({value, {}});
            continue;
        }
        if (entries.empty()) continue;
        std::transform(key.begin(), key.end(), key.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
        entries.back().attributes[key].push_back(value);
    }
    return entries;
}

std::vector<std::string> FilesIn(const std::string& folder, const std::string& extension) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().extension() == extension) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace lumivel::testing
