// A backup archive opened for reading whole sections: the values an object had when it was
// backed up, decoded from their hexadecimal form.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lumivel/temporary_file.h"
#include "provider/backup/inf_file.h"

namespace revivo {

// One attribute of a section, its lines joined: otherTelephone_1 and _2 are two values of
// otherTelephone.
struct BackupAttribute {
    std::u16string name;
    int type = 0;  // the VARIANT type number the lines carry
    std::vector<std::u16string> texts;  // the value texts as written, still encoded
};

class BackupSections {
public:
    // Extracts the archive's backup member into a private folder; null when it cannot, with
    // *why set when the member was refused for its size (what was too large, in words).
    static std::unique_ptr<BackupSections> Open(std::u16string_view archivePath, std::u16string* why = nullptr);

    // The attributes of a section in the order of their first line; "path" among them.
    std::vector<BackupAttribute> Attributes(std::u16string_view section);
    // Every section name of the file but [Backup Info], in file order.
    std::vector<std::u16string> SectionNames() const;

private:
    BackupSections(std::unique_ptr<lumivel::PrivateTempDirectory> folder, std::u16string infPath);

    std::unique_ptr<lumivel::PrivateTempDirectory> m_folder;
    std::u16string m_infPath;
    InfFile m_file;
};

// A value text decoded for writing back: strings, numbers and booleans as text ("TRUE" or
// "FALSE" for booleans, as LDAP writes them), byte strings as bytes. Nothing for a date or a
// text that does not decode.
struct DecodedValue {
    std::u16string text;
    std::vector<unsigned char> bytes;
    bool binary = false;
};
std::optional<DecodedValue> DecodeBackupValue(int type, std::u16string_view text);

}  // namespace revivo
