// Readers of extended dialog templates, extended menu templates and icon group directories.
#include "lumivel/resource_templates.h"

#include <cstring>

#include "win/errors.h"
#include "lumivel/resource_lookup.h"
#include "win/resources.h"
#include "win/winerror.h"

namespace lumivel {
namespace {

// Little-endian reader over a bounded buffer; any read past the end turns it bad for good,
// so callers check once at the end of a record.
class ByteReader {
public:
    ByteReader(const void* data, size_t size) : m_data(static_cast<const BYTE*>(data)), m_size(data ? size : 0) {}

    bool ok() const { return m_ok; }
    size_t offset() const { return m_offset; }
    size_t remaining() const { return m_ok ? m_size - m_offset : 0; }

    template <typename T>
    T read() {
        T value{};
        if (!m_ok || m_size - m_offset < sizeof(T)) {
            m_ok = false;
            return value;
        }
        std::memcpy(&value, m_data + m_offset, sizeof(T));
        m_offset += sizeof(T);
        return value;
    }

    std::u16string readString() {
        std::u16string text;
        for (;;) {
            char16_t c = read<char16_t>();
            if (!m_ok || c == 0) return text;
            text.push_back(c);
        }
    }

    NameOrOrdinal readNameOrOrdinal() {
        NameOrOrdinal value;
        char16_t first = read<char16_t>();
        if (!m_ok || first == 0) return value;
        if (first == 0xFFFF) {
            value.ordinal = read<WORD>();
            return value;
        }
        value.text.push_back(first);
        value.text += readString();
        return value;
    }

    void alignTo4() {
        size_t aligned = (m_offset + 3) & ~size_t(3);
        if (aligned > m_size) {
            m_ok = false;
            return;
        }
        m_offset = aligned;
    }

    void skip(size_t count) {
        if (!m_ok || m_size - m_offset < count) {
            m_ok = false;
            return;
        }
        m_offset += count;
    }

    const BYTE* here() const { return m_data + m_offset; }

private:
    const BYTE* m_data;
    size_t m_size;
    size_t m_offset = 0;
    bool m_ok = true;
};

constexpr DWORD kSetFont = 0x40;        // DS_SETFONT
constexpr DWORD kShellFont = 0x48;      // DS_SHELLFONT
constexpr size_t kMaxMenuDepth = 32;    // deeper nesting is refused rather than recursed into

std::u16string PredefinedClassName(WORD atom) {
    switch (atom) {
    case 0x80: return u"Button";
    case 0x81: return u"Edit";
    case 0x82: return u"Static";
    case 0x83: return u"ListBox";
    case 0x84: return u"ScrollBar";
    case 0x85: return u"ComboBox";
    default: return {};
    }
}

bool ReadMenuLevel(ByteReader& reader, std::vector<MenuItemTemplate>& items, size_t depth) {
    if (depth > kMaxMenuDepth) return false;
    for (;;) {
        reader.alignTo4();
        MenuItemTemplate item;
        item.type = reader.read<DWORD>();
        item.state = reader.read<DWORD>();
        item.id = reader.read<DWORD>();
        WORD flags = reader.read<WORD>();
        item.text = reader.readString();
        if (!reader.ok()) return false;
        if (flags & 0x01) {
            item.popup = true;
            reader.alignTo4();
            reader.read<DWORD>();  // help id
            if (!reader.ok() || !ReadMenuLevel(reader, item.children, depth + 1)) return false;
        }
        items.push_back(std::move(item));
        if (flags & 0x80) return true;
    }
}

}  // namespace

std::optional<DialogTemplate> ParseDialogTemplate(const void* data, size_t size) {
    ByteReader reader(data, size);
    DialogTemplate dialog;
    WORD version = reader.read<WORD>();
    WORD signature = reader.read<WORD>();
    if (!reader.ok() || version != 1 || signature != 0xFFFF) return std::nullopt;
    dialog.helpId = reader.read<DWORD>();
    dialog.exStyle = reader.read<DWORD>();
    dialog.style = reader.read<DWORD>();
    WORD count = reader.read<WORD>();
    dialog.x = reader.read<SHORT>();
    dialog.y = reader.read<SHORT>();
    dialog.cx = reader.read<SHORT>();
    dialog.cy = reader.read<SHORT>();
    dialog.menu = reader.readNameOrOrdinal();
    dialog.windowClass = reader.readNameOrOrdinal();
    dialog.caption = reader.readString();
    if ((dialog.style & kSetFont) || (dialog.style & kShellFont) == kShellFont) {
        dialog.hasFont = true;
        dialog.pointSize = reader.read<WORD>();
        dialog.weight = reader.read<WORD>();
        dialog.italic = reader.read<BYTE>();
        dialog.charset = reader.read<BYTE>();
        dialog.typeface = reader.readString();
    }
    if (!reader.ok()) return std::nullopt;
    dialog.items.reserve(count);
    for (WORD i = 0; i < count; ++i) {
        reader.alignTo4();
        DialogItemTemplate item;
        item.helpId = reader.read<DWORD>();
        item.exStyle = reader.read<DWORD>();
        item.style = reader.read<DWORD>();
        item.x = reader.read<SHORT>();
        item.y = reader.read<SHORT>();
        item.cx = reader.read<SHORT>();
        item.cy = reader.read<SHORT>();
        item.id = reader.read<LONG>();
        NameOrOrdinal windowClass = reader.readNameOrOrdinal();
        item.text = reader.readNameOrOrdinal();
        WORD extra = reader.read<WORD>();
        if (!reader.ok()) return std::nullopt;
        if (windowClass.ordinal) {
            item.className = PredefinedClassName(*windowClass.ordinal);
            if (item.className.empty()) return std::nullopt;
        } else {
            item.className = windowClass.text;
        }
        if (extra > 0) {
            if (reader.remaining() < extra) return std::nullopt;
            item.creationData.assign(reader.here(), reader.here() + extra);
            reader.skip(extra);
        }
        dialog.items.push_back(std::move(item));
    }
    return dialog;
}

std::optional<std::vector<MenuItemTemplate>> ParseMenuTemplate(const void* data, size_t size) {
    ByteReader reader(data, size);
    WORD version = reader.read<WORD>();
    WORD offset = reader.read<WORD>();
    if (!reader.ok() || version != 1 || offset < 4) return std::nullopt;
    reader.skip(offset);  // the help id and anything an extended header carries before the items
    if (!reader.ok()) return std::nullopt;
    std::vector<MenuItemTemplate> items;
    if (!ReadMenuLevel(reader, items, 0)) return std::nullopt;
    return items;
}

std::optional<std::vector<IconDirectoryEntry>> ParseIconDirectory(const void* data, size_t size) {
    ByteReader reader(data, size);
    WORD reserved = reader.read<WORD>();
    WORD type = reader.read<WORD>();
    WORD count = reader.read<WORD>();
    if (!reader.ok() || reserved != 0 || type != 1 || count == 0) return std::nullopt;
    std::vector<IconDirectoryEntry> entries;
    for (WORD i = 0; i < count; ++i) {
        IconDirectoryEntry entry;
        BYTE width = reader.read<BYTE>();
        BYTE height = reader.read<BYTE>();
        reader.read<BYTE>();  // colour count
        reader.read<BYTE>();  // reserved
        reader.read<WORD>();  // planes
        entry.bitCount = reader.read<WORD>();
        entry.bytes = reader.read<DWORD>();
        entry.iconId = reader.read<WORD>();
        if (!reader.ok()) return std::nullopt;
        entry.width = width ? width : 256;
        entry.height = height ? height : 256;
        entries.push_back(entry);
    }
    return entries;
}

std::optional<DialogTemplate> LoadDialogTemplate(HINSTANCE module, LPCWSTR name) {
    auto data = FindResourceData(module, name, RT_DIALOG);
    if (!data) return std::nullopt;
    auto dialog = ParseDialogTemplate(data->data, data->size);
    if (!dialog) SetLastError(ERROR_INVALID_DATA);
    return dialog;
}

}  // namespace lumivel
