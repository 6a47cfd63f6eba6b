// reg: reads and changes the registry from a shell.
//
// Export format (UTF-8 text, LF line ends):
//   Lumivel Registry Export 1
//   <empty line>
//   [HKEY_LOCAL_MACHINE\Software\Tarvo Software]      one section per key, parents first
//   "Name"="text"                                     REG_SZ; @ stands for the default value
//   "Count"=dword:0000000a                            REG_DWORD
//   "Other"=hex(<type>):01,02,ff                      every other type, its bytes in hex
// In key and value names and REG_SZ text, \\ \" \n \r and \0 stand for a backslash, a quote,
// a line feed, a carriage return and a null character.
//
// Names and data on the command line must be UTF-8: anything else is refused, since two
// different invalid names would otherwise both become U+FFFD and name the same key.
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "lumivel/program_information.h"
#include "lumivel/registry_hive_file.h"
#include "lumivel/system_messages.h"
#include "lumivel/temporary_file.h"
#include "lumivel/standard_output.h"
#include "lumivel/text.h"
#include "lumivel/wide_string.h"
#include "win/errors.h"
#include "win/strings.h"
#include "win/winreg.h"

namespace {

using lumivel::FromUtf8;
using lumivel::ToUtf8;

// Keys nest at most this deep below any other; a walk that goes further is in a damaged hive.
constexpr size_t kMaxKeyDepth = 512;

constexpr const char* kUsage =
    "Usage:\n"
    "  reg query KEY [/v NAME | /ve] [/s]\n"
    "  reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_EXPAND_SZ|REG_DWORD|REG_QWORD|REG_BINARY|REG_MULTI_SZ]\n"
    "          [/se SEPARATOR] [/d DATA] [/f]\n"
    "  reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "  reg export KEY FILE [/y]\n"
    "  reg --help | --version\n"
    "\n"
    "KEY is ROOT\\Subkey, ROOT one of HKLM (HKEY_LOCAL_MACHINE), HKCU (HKEY_CURRENT_USER) or\n"
    "HKCR (HKEY_CLASSES_ROOT). Without /f, add and delete ask before they overwrite or delete.\n"
    "REG_MULTI_SZ data separates its strings with \\0, or with the one character given by /se;\n"
    "none of the strings may be empty.\n"
    "The exit code is 0 on success and 1 on failure.\n";

struct KeyName {
    HKEY root;
    std::string rootName;
    std::u16string path;
    std::string display() const { return path.empty() ? rootName : rootName + "\\" + ToUtf8(path); }
};

// Strict UTF-8: none for bytes that are not.
std::optional<std::u16string> Utf8ToWide(std::string_view text) {
    if (text.empty()) return std::u16string();
    int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return std::nullopt;
    std::u16string wide(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::optional<KeyName> ParseKey(const std::string& text) {
    size_t slash = text.find('\\');
    std::u16string root = FromUtf8(text.substr(0, slash));
    std::optional<std::u16string> converted =
        slash == std::string::npos ? std::u16string() : Utf8ToWide(std::string_view(text).substr(slash + 1));
    if (!converted) return std::nullopt;
    std::u16string path = *converted;
    while (!path.empty() && path.back() == u'\\') path.pop_back();
    struct Root {
        const char16_t* shortName;
        const char16_t* longName;
        HKEY key;
    };
    const Root roots[] = {{u"HKLM", u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                          {u"HKCU", u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                          {u"HKCR", u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}};
    for (const auto& r : roots)
        if (lumivel::AsciiEqualsNoCase(root, r.shortName) || lumivel::AsciiEqualsNoCase(root, r.longName))
            return KeyName{r.key, ToUtf8(r.longName), path};
    return std::nullopt;
}

int Fail(const std::string& message) {
    std::cerr << "ERROR: " << message << "\n";
    return 1;
}

// A failure of the hive itself (its file or folder cannot be made, opened or trusted) names
// the file, since no key path would explain it.
std::string HiveNote(HKEY root, LSTATUS status) {
    std::string note;
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        if (root != hive && !(root == HKEY_CLASSES_ROOT)) continue;
        HKEY probe = nullptr;
        LSTATUS opened = RegOpenKeyExW(hive, nullptr, 0, KEY_READ, &probe);
        if (opened == ERROR_SUCCESS) RegCloseKey(probe);
        if (opened != status) continue;
        std::string file = lumivel::RegistryHiveFile(hive);
        note += file.empty() ? std::string(" (no home folder for the user's hive)") : " (hive file " + file + ")";
    }
    return note;
}

int FailWith(LSTATUS status, HKEY root = nullptr) {
    std::string note = root ? HiveNote(root, status) : std::string();
    // A missing key, not a hive that cannot be reached.
    if ((status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) && note.empty())
        return Fail("The system was unable to find the specified registry key or value.");
    std::u16string text = lumivel::SystemMessageText(static_cast<DWORD>(status));
    return Fail((text.empty() ? "Error " + std::to_string(status) + "." : ToUtf8(text)) + note);
}

bool Confirm(const std::string& question) {
    std::cout << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

const char* TypeName(DWORD type) {
    switch (type) {
        case REG_NONE: return "REG_NONE";
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_BINARY: return "REG_BINARY";
        case REG_DWORD: return "REG_DWORD";
        case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
        case REG_MULTI_SZ: return "REG_MULTI_SZ";
        case REG_QWORD: return "REG_QWORD";
        default: return "REG_UNKNOWN";
    }
}

std::optional<DWORD> TypeFromName(const std::string& name) {
    for (DWORD t : {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD})
        if (lumivel::AsciiEqualsNoCase(FromUtf8(name), FromUtf8(TypeName(t)))) return t;
    return std::nullopt;
}

std::u16string StringData(const std::vector<BYTE>& data) {
    std::u16string text(data.size() / 2, u'\0');
    std::memcpy(text.data(), data.data(), text.size() * 2);
    return text;
}

std::string Hex(const std::vector<BYTE>& data, const char* separator) {
    std::string out;
    char byte[4];
    for (size_t i = 0; i < data.size(); ++i) {
        if (i && *separator) out += separator;
        std::snprintf(byte, sizeof(byte), "%02X", data[i]);
        out += byte;
    }
    return out;
}

std::string DisplayData(DWORD type, const std::vector<BYTE>& data) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::u16string text = StringData(data);
        while (!text.empty() && text.back() == 0) text.pop_back();
        return ToUtf8(text);
    }
    if (type == REG_MULTI_SZ) {
        std::u16string text = StringData(data);
        while (!text.empty() && text.back() == 0) text.pop_back();
        std::string out;
        for (char16_t c : text) out += c ? ToUtf8(std::u16string(1, c)) : std::string("\\0");
        return out;
    }
    char number[32];
    if (type == REG_DWORD && data.size() == 4) {
        DWORD v;
        std::memcpy(&v, data.data(), 4);
        std::snprintf(number, sizeof(number), "0x%x", v);
        return number;
    }
    if (type == REG_QWORD && data.size() == 8) {
        ULONGLONG v;
        std::memcpy(&v, data.data(), 8);
        std::snprintf(number, sizeof(number), "0x%llx", static_cast<unsigned long long>(v));
        return number;
    }
    return Hex(data, "");
}

struct Value {
    std::u16string name;
    DWORD type;
    std::vector<BYTE> data;
};

LSTATUS ReadValues(HKEY key, std::vector<Value>* values) {
    DWORD maxName = 0, maxData = 0;
    if (LSTATUS e = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                                     &maxData, nullptr, nullptr))
        return e;
    std::vector<WCHAR> name(maxName + 1);
    std::vector<BYTE> data(maxData + 2);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size()), type = 0;
        LSTATUS e = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (e == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (e == ERROR_MORE_DATA) {  // changed under us: grow and retry
            name.resize(name.size() * 2 + 256);
            data.resize(data.size() * 2 + 256);
            --i;
            continue;
        }
        if (e) return e;
        values->push_back({std::u16string(name.data(), nameLength), type,
                           std::vector<BYTE>(data.begin(), data.begin() + dataSize)});
    }
}

LSTATUS ReadSubkeys(HKEY key, std::vector<std::u16string>* names) {
    WCHAR name[256 + 1];
    for (DWORD i = 0;; ++i) {
        DWORD length = ARRAYSIZE(name);
        LSTATUS e = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (e == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (e) return e;
        names->emplace_back(name, length);
    }
}

void PrintValue(const Value& v) {
    std::cout << "    " << (v.name.empty() ? std::string("(Default)") : ToUtf8(v.name)) << "    " << TypeName(v.type)
              << "    " << DisplayData(v.type, v.data) << "\n";
}

using ChildDisplay = std::string (*)(const std::string& parent, const std::u16string& name);
using KeyVisit = std::function<void(const std::string& display, const std::vector<Value>& values)>;

// Visits a key and every key below it, parents first, without recursion: keys nested deeper
// than the registry allows (or a loop in a damaged hive) end the walk with ERROR_BADDB instead
// of a stack overflow or a walk without end.
LSTATUS WalkTree(HKEY start, const std::string& display, ChildDisplay childDisplay, const KeyVisit& visit) {
    struct Level {
        HKEY key;
        std::string display;
        std::vector<std::u16string> subkeys;
        size_t next = 0;
    };
    std::vector<Level> stack;
    auto enter = [&](HKEY key, std::string shown) -> LSTATUS {
        std::vector<Value> values;
        std::vector<std::u16string> subkeys;
        LSTATUS e = ReadValues(key, &values);
        if (!e) e = ReadSubkeys(key, &subkeys);
        if (e) {
            if (key != start) RegCloseKey(key);
            return e;
        }
        visit(shown, values);
        stack.push_back({key, std::move(shown), std::move(subkeys)});
        return ERROR_SUCCESS;
    };
    LSTATUS e = enter(start, display);
    while (!e && !stack.empty()) {
        Level& top = stack.back();
        if (top.next == top.subkeys.size()) {
            if (top.key != start) RegCloseKey(top.key);
            stack.pop_back();
            continue;
        }
        const std::u16string& name = top.subkeys[top.next++];
        if (stack.size() > kMaxKeyDepth) {
            e = ERROR_BADDB;
            break;
        }
        std::string shown = childDisplay(top.display, name);
        HKEY sub = nullptr;
        e = RegOpenKeyExW(top.key, name.c_str(), 0, KEY_READ, &sub);
        if (!e) e = enter(sub, std::move(shown));
    }
    for (const Level& level : stack)
        if (level.key != start) RegCloseKey(level.key);
    return e;
}

std::string ShownChild(const std::string& parent, const std::u16string& name) { return parent + "\\" + ToUtf8(name); }

LSTATUS QueryTree(HKEY key, const std::string& display, bool recurse) {
    auto show = [](const std::string& shown, const std::vector<Value>& values) {
        std::cout << "\n" << shown << "\n";
        for (const auto& v : values) PrintValue(v);
    };
    if (recurse) return WalkTree(key, display, ShownChild, show);
    std::vector<Value> values;
    std::vector<std::u16string> subkeys;
    if (LSTATUS e = ReadValues(key, &values)) return e;
    if (LSTATUS e = ReadSubkeys(key, &subkeys)) return e;
    show(display, values);
    for (const auto& name : subkeys) std::cout << "\n" << ShownChild(display, name);
    if (!subkeys.empty()) std::cout << "\n";
    return ERROR_SUCCESS;
}

struct Options {
    std::optional<std::u16string> valueName;
    bool allValues = false, recurse = false, force = false;
    std::optional<std::string> type, data, separator;
    bool badText = false;  // a name or data that is not UTF-8
    std::vector<std::string> positional;
};

std::optional<Options> ParseOptions(int argc, char** argv, int from) {
    Options o;
    for (int i = from; i < argc; ++i) {
        std::string a = argv[i];
        auto is = [&](const char* flag) { return lumivel::AsciiEqualsNoCase(FromUtf8(a), FromUtf8(flag)); };
        auto next = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        if (is("/v")) {
            auto v = next();
            if (!v) return std::nullopt;
            auto name = Utf8ToWide(*v);
            if (!name) o.badText = true;
            o.valueName = name.value_or(u"");
        } else if (is("/ve")) {
            o.valueName = u"";
        } else if (is("/va")) {
            o.allValues = true;
        } else if (is("/s")) {
            o.recurse = true;
        } else if (is("/f") || is("/y")) {
            o.force = true;
        } else if (is("/t")) {
            if (!(o.type = next())) return std::nullopt;
        } else if (is("/d")) {
            if (!(o.data = next())) return std::nullopt;
            if (!Utf8ToWide(*o.data)) o.badText = true;
        } else if (is("/se")) {
            if (!(o.separator = next())) return std::nullopt;
        } else if (!a.empty() && a[0] == '/' && a.size() <= 3) {
            return std::nullopt;
        } else {
            o.positional.push_back(a);
        }
    }
    return o;
}

int Query(const KeyName& name, const Options& o) {
    HKEY key = nullptr;
    if (LSTATUS e = RegOpenKeyExW(name.root, name.path.c_str(), 0, KEY_READ, &key)) return FailWith(e, name.root);
    LSTATUS e = ERROR_SUCCESS;
    if (o.valueName) {
        DWORD type = 0, size = 0;
        e = RegQueryValueExW(key, o.valueName->c_str(), nullptr, &type, nullptr, &size);
        std::vector<BYTE> data(size);
        if (!e) e = RegQueryValueExW(key, o.valueName->c_str(), nullptr, &type, data.data(), &size);
        if (!e) {
            data.resize(size);
            std::cout << "\n" << name.display() << "\n";
            PrintValue({*o.valueName, type, data});
            std::cout << "\n";
        }
    } else {
        e = QueryTree(key, name.display(), o.recurse);
        std::cout << "\n";
    }
    RegCloseKey(key);
    return e ? FailWith(e, name.root) : 0;
}

// REG_MULTI_SZ text split at the separator (\0 unless one is given); none when a string
// would be empty, since readers take the first empty string for the end of the list.
std::optional<std::vector<std::string>> SplitMultiString(const std::string& text, const std::optional<std::string>& separator) {
    std::vector<std::string> strings;
    if (text.empty()) return strings;
    std::string mark = separator ? *separator : std::string("\\0");
    size_t start = 0;
    for (;;) {
        size_t at = text.find(mark, start);
        strings.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) break;
        start = at + mark.size();
        if (start == text.size()) break;  // a separator at the very end only closes the list
    }
    for (const std::string& s : strings)
        if (s.empty()) return std::nullopt;
    return strings;
}

std::optional<std::vector<BYTE>> EncodeData(DWORD type, const std::string& text, const std::optional<std::string>& separator) {
    std::vector<BYTE> out;
    auto appendWide = [&](const std::u16string& s) {
        const auto* p = reinterpret_cast<const BYTE*>(s.c_str());
        out.insert(out.end(), p, p + (s.size() + 1) * 2);
    };
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            appendWide(FromUtf8(text));
            return out;
        case REG_MULTI_SZ: {
            auto strings = SplitMultiString(text, separator);
            if (!strings) return std::nullopt;
            for (const std::string& s : *strings) appendWide(FromUtf8(s));
            out.push_back(0), out.push_back(0);
            return out;
        }
        case REG_DWORD:
        case REG_QWORD: {
            char* end = nullptr;
            errno = 0;
            unsigned long long v = std::strtoull(text.empty() ? "0" : text.c_str(), &end, 0);
            if (errno || (end && *end) || text.find('-') != std::string::npos) return std::nullopt;
            if (type == REG_DWORD && v > 0xFFFFFFFFull) return std::nullopt;
            size_t n = type == REG_DWORD ? 4 : 8;
            out.resize(n);
            std::memcpy(out.data(), &v, n);
            return out;
        }
        default: {
            if (text.size() % 2) return std::nullopt;
            for (size_t i = 0; i < text.size(); i += 2) {
                char* end = nullptr;
                std::string pair = text.substr(i, 2);
                long b = std::strtol(pair.c_str(), &end, 16);
                if (!end || *end || !std::isxdigit(static_cast<unsigned char>(pair[0]))) return std::nullopt;
                out.push_back(static_cast<BYTE>(b));
            }
            return out;
        }
    }
}

int Add(const KeyName& name, const Options& o) {
    DWORD type = REG_SZ;
    if (o.type) {
        auto parsed = TypeFromName(*o.type);
        if (!parsed) return Fail("Invalid type \"" + *o.type + "\". Type \"reg --help\" for usage.");
        type = *parsed;
    }
    if (o.separator && (type != REG_MULTI_SZ || Utf8ToWide(*o.separator).value_or(u"").size() != 1))
        return Fail("/se takes one character and goes with REG_MULTI_SZ. Type \"reg --help\" for usage.");
    // Checked before the key is made, so that bad data leaves nothing behind.
    std::optional<std::vector<BYTE>> data;
    if (o.valueName || o.data) {
        data = EncodeData(type, o.data.value_or(""), o.separator);
        if (!data)
            return Fail(type == REG_MULTI_SZ ? "Invalid data for type REG_MULTI_SZ: a string of it is empty."
                                             : "Invalid data for type " + std::string(TypeName(type)) + ".");
    }
    HKEY key = nullptr;
    if (LSTATUS e = RegCreateKeyExW(name.root, name.path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                                    nullptr))
        return FailWith(e, name.root);
    LSTATUS e = ERROR_SUCCESS;
    if (data) {
        std::u16string valueName = o.valueName.value_or(u"");
        DWORD existingType = 0;
        bool exists = RegQueryValueExW(key, valueName.c_str(), nullptr, &existingType, nullptr, nullptr) == ERROR_SUCCESS;
        if (exists && !o.force &&
            !Confirm("Value " + (valueName.empty() ? std::string("(Default)") : ToUtf8(valueName)) + " exists, overwrite")) {
            RegCloseKey(key);
            std::cout << "The operation was cancelled.\n";
            return 1;
        }
        e = RegSetValueExW(key, valueName.c_str(), 0, type, data->data(), static_cast<DWORD>(data->size()));
    }
    RegCloseKey(key);
    if (e) return FailWith(e, name.root);
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int Delete(const KeyName& name, const Options& o) {
    if (o.valueName || o.allValues) {
        HKEY key = nullptr;
        if (LSTATUS e = RegOpenKeyExW(name.root, name.path.c_str(), 0, KEY_READ | KEY_SET_VALUE, &key)) return FailWith(e, name.root);
        std::string what = o.allValues ? "all values under the registry key " + name.display()
                                       : "the registry value " + (o.valueName->empty() ? std::string("(Default)")
                                                                                       : ToUtf8(*o.valueName));
        if (!o.force && !Confirm("Delete " + what)) {
            RegCloseKey(key);
            std::cout << "The operation was cancelled.\n";
            return 1;
        }
        LSTATUS e = ERROR_SUCCESS;
        if (o.allValues) {
            std::vector<Value> values;
            e = ReadValues(key, &values);
            for (size_t i = 0; !e && i < values.size(); ++i) e = RegDeleteValueW(key, values[i].name.c_str());
        } else {
            e = RegDeleteValueW(key, o.valueName->c_str());
        }
        RegCloseKey(key);
        if (e) return FailWith(e, name.root);
    } else {
        if (name.path.empty()) return Fail("Deleting a whole root key is not allowed.");
        HKEY probe = nullptr;
        if (LSTATUS e = RegOpenKeyExW(name.root, name.path.c_str(), 0, KEY_READ, &probe)) return FailWith(e, name.root);
        RegCloseKey(probe);
        if (!o.force && !Confirm("Delete the registry key " + name.display())) {
            std::cout << "The operation was cancelled.\n";
            return 1;
        }
        if (LSTATUS e = SHDeleteKeyW(name.root, name.path.c_str())) return FailWith(e, name.root);
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

// Plain runs are converted whole, so that a surrogate pair stays one character.
std::string Escape(const std::u16string& text) {
    std::string out;
    size_t plain = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        const char* escaped = nullptr;
        if (i < text.size()) {
            switch (text[i]) {
                case u'\\': escaped = "\\\\"; break;
                case u'"': escaped = "\\\""; break;
                case u'\n': escaped = "\\n"; break;
                case u'\r': escaped = "\\r"; break;
                case 0: escaped = "\\0"; break;
                default: continue;
            }
        }
        out += ToUtf8(std::u16string_view(text).substr(plain, i - plain));
        if (escaped) out += escaped;
        plain = i + 1;
    }
    return out;
}

void ExportValue(const Value& v, std::ostream& out) {
    out << (v.name.empty() ? std::string("@") : "\"" + Escape(v.name) + "\"") << "=";
    if (v.type == REG_SZ && v.data.size() % 2 == 0) {
        std::u16string text = StringData(v.data);
        if (!text.empty() && text.back() == 0) text.pop_back();
        out << "\"" << Escape(text) << "\"\n";
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD d;
        std::memcpy(&d, v.data.data(), 4);
        char number[16];
        std::snprintf(number, sizeof(number), "%08x", d);
        out << "dword:" << number << "\n";
    } else {
        char type[16];
        std::snprintf(type, sizeof(type), "%x", v.type);
        std::string hex = Hex(v.data, ",");
        for (auto& ch : hex) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        out << "hex(" << type << "):" << hex << "\n";
    }
}

// A key name may hold quotes, brackets or line feeds, but never a backslash.
std::string ExportedChild(const std::string& parent, const std::u16string& name) { return parent + "\\" + Escape(name); }

int Export(const KeyName& name, const std::string& file, const Options& o) {
    HKEY key = nullptr;
    if (LSTATUS e = RegOpenKeyExW(name.root, name.path.c_str(), 0, KEY_READ, &key)) return FailWith(e, name.root);
    std::ostringstream text;
    text << "Lumivel Registry Export 1\n\n";
    LSTATUS e = WalkTree(key, name.display(), ExportedChild, [&](const std::string& shown, const std::vector<Value>& values) {
        text << "[" << shown << "]\n";
        for (const auto& v : values) ExportValue(v, text);
        text << "\n";
    });
    RegCloseKey(key);
    if (e) return FailWith(e, name.root);
    if (::access(file.c_str(), F_OK) == 0 && !o.force && !Confirm("File " + file + " already exists. Overwrite it")) {
        std::cout << "The operation was cancelled.\n";
        return 1;
    }
    // Written under a new name beside the target and renamed into place, so that a failed
    // export leaves no torn file and nothing planted there is written through.
    lumivel::ExclusiveTemporaryFile temporary;
    DWORD written = temporary.createBeside(file, 0644);
    if (!written) written = temporary.write(text.str());
    if (!written) written = temporary.commit(file, lumivel::ExistingFile::Replace);
    if (written) return Fail("Unable to write the file " + file + ": " + ToUtf8(lumivel::SystemMessageText(written)));
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int Run(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 1;
    }
    std::string verb = argv[1];
    auto isVerb = [&](const char* v) { return lumivel::AsciiEqualsNoCase(FromUtf8(verb), FromUtf8(v)); };
    if (argc == 2 && verb == "--version") {
        std::cout << lumivel::ProgramVersionText("reg");
        return 0;
    }
    if (isVerb("--help") || isVerb("-h") || isVerb("/?") || isVerb("help")) {
        std::cout << kUsage;
        return 0;
    }
    auto options = ParseOptions(argc, argv, 2);
    if (!options || options->positional.empty()) return Fail("Invalid syntax. Type \"reg --help\" for usage.");
    if (!Utf8ToWide(options->positional[0])) return Fail("The key name is not valid UTF-8.");
    auto key = ParseKey(options->positional[0]);
    if (!key) return Fail("Invalid key name. Type \"reg --help\" for usage.");
    if (options->badText) return Fail("A value name or the data is not valid UTF-8.");
    if (isVerb("query") && options->positional.size() == 1) return Query(*key, *options);
    if (isVerb("add") && options->positional.size() == 1) return Add(*key, *options);
    if (isVerb("delete") && options->positional.size() == 1) return Delete(*key, *options);
    if (isVerb("export") && options->positional.size() == 2) return Export(*key, options->positional[1], *options);
    return Fail("Invalid syntax. Type \"reg --help\" for usage.");
}

}  // namespace

// Output that could not be written (a full disk, a closed pipe) is a failure, whatever the
// command did.
int main(int argc, char** argv) {
    int status = Run(argc, argv);
    if (int error = lumivel::FlushStandardOutput()) {
        std::cerr << "ERROR: The output could not be written: " << std::strerror(error) << "\n";
        return 1;
    }
    return status;
}
