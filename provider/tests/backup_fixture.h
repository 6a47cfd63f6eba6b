// What the backup tests read back independently of the code under test: archives through
// unzip, their backup files section by section, and objects through ldapsearch.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace lumivel::testing {

// One line of a section: "key=type<TAB>"value"".
struct BackupLine {
    std::string key;
    int type = 0;
    std::string value;
};
struct BackupSection {
    std::string name;
    std::vector<BackupLine> lines;
};
struct BackupFile {
    std::string bytes;
    std::map<std::string, std::string> info;  // [Backup Info]
    std::vector<BackupSection> sections;      // in file order
    const BackupSection* find(const std::string& name) const;
};

// The names of an archive's members (unzip -Z1); empty when unzip cannot read it.
std::vector<std::string> ArchiveMembers(const std::string& archive);
// An archive's member as unzip extracts it, parsed; its lines end in CR LF or it fails.
bool ReadBackupFile(const std::string& archive, const std::string& member, BackupFile* file);

// Text hex back into UTF-8 (independently of the product's decoder); empty on malformed input.
std::string DecodeTextHexUtf8(const std::string& hex);
std::string ByteHex(const std::string& bytes);

// A directory object as ldapsearch returns it with all its attributes; keys in lower case,
// values as raw bytes in server order.
struct LdapEntry {
    std::string dn;
    std::map<std::string, std::vector<std::string>> attributes;
    std::string guidSection() const;  // objectGUID as 32 lower-case hex digits
};
std::vector<LdapEntry> LdapSubtree(const std::string& base);

// Files of a folder with the extension, sorted.
std::vector<std::string> FilesIn(const std::string& folder, const std::string& extension);

}  // namespace lumivel::testing
