#include "schemacache/index_writer.h"

namespace glossar {

std::vector<unsigned char> IndexFileWriter::Encode(const std::vector<std::u16string>& records) {
    size_t units = 0;
    for (const auto& record : records) units += record.size() + 2;
    std::vector<unsigned char> bytes;
    bytes.reserve(2 + units * 2);
    bytes.push_back(0xFF);
    bytes.push_back(0xFE);
    auto put = [&bytes](char16_t unit) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    };
    for (size_t i = 0; i < records.size(); ++i) {
        if (i) put(u'\r'), put(u'\n');
        for (char16_t unit : records[i]) put(unit);
    }
    return bytes;
}

bool IndexFileWriter::stage(std::u16string_view fileName, const std::vector<std::u16string>& records) {
    if (records.empty()) return true;
    const std::vector<unsigned char> bytes = Encode(records);
    FileReplacement file(m_directory + std::u16string(fileName));
    if (!file.write(bytes.data(), bytes.size()) || !file.close()) return false;
    m_staged.push_back(std::move(file));
    return true;
}

bool IndexFileWriter::commit() {
    bool all = true;
    for (auto& staged : m_staged) all = staged.commit() && all;
    m_staged.clear();
    return all;
}

}  // namespace glossar
