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
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "lumivel/system_messages.h"
#include "lumivel/text.h"
#include "lumivel/wide_string.h"
#include "win/errors.h"
#include "win/winreg.h"

namespace {

using lumivel::FromUtf8;
using lumivel::ToUtf8;

constexpr const char* kUsage =
    "Usage:\n"
    "  reg query KEY [/v NAME | /ve] [/s]\n"
    "  reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_EXPAND_SZ|REG_DWORD|REG_QWORD|REG_BINARY|REG_MULTI_SZ] [/d DATA] [/f]\n"
    "  reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "  reg export KEY FILE [/y]\n"
    "\n"
    "KEY is ROOT\\Subkey, ROOT one of HKLM (HKEY_LOCAL_MACHINE), HKCU (HKEY_CURRENT_USER) or\n"
    "HKCR (HKEY_CLASSES_ROOT). Without /f, add and delete ask before they overwrite or delete.\n"
    "The exit code is 0 on success and 1 on failure.\n";

struct KeyName {
    HKEY root;
    std::string rootName;
    std::u16string path;
    std::string display() const { return path.empty() ? rootName : rootName + "\\" + ToUtf8(path); }
};

std::optional<KeyName> ParseKey(const std::string& text) {
    size_t slash = text.find('\\');
    std::u16string root = FromUtf8(text.substr(0, slash));
    std::u16string path = slash == std::string::npos ? std::u16string() : FromUtf8(text.substr(slash + 1));
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

int FailWith(LSTATUS status) {
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND)
        return Fail("The system was unable to find the specified registry key or value.");
    std::u16string text = lumivel::SystemMessageText(static_cast<DWORD>(status));
    if (text.empty()) return Fail("Error " + std::to_string(status) + ".");
    return Fail(ToUtf8(text));
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

LSTATUS QueryTree(HKEY key, const std::string& display, bool recurse) {
    std::vector<Value> values;
    std::vector<std::u16string> subkeys;
    if (LSTATUS e = ReadValues(key, &values)) return e;
    if (LSTATUS e = ReadSubkeys(key, &subkeys)) return e;
    std::cout << "\n" << display << "\n";
    for (const auto& v : values) PrintValue(v);
    for (const auto& name : subkeys) {
        std::string child = display + "\\" + ToUtf8(name);
        if (!recurse) {
            std::cout << "\n" << child;
            continue;
        }
        HKEY sub = nullptr;
        if (LSTATUS e = RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, &sub)) return e;
        LSTATUS e = QueryTree(sub, child, true);
        RegCloseKey(sub);
        if (e) return e;
    }
    if (!recurse && !subkeys.empty()) std::cout << "\n";
    return ERROR_SUCCESS;
}

struct Options {
    std::optional<std::u16string> valueName;
    bool allValues = false, recurse = false, force = false;
    std::optional<std::string> type, data;
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
            o.valueName = FromUtf8(*v);
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
    if (LSTATUS e = RegOpenKeyExW(name.root, name.path.c_str(), 0, KEY_READ, &key)) return FailWith(e);
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
    return e ? FailWith(e) : 0;
}

std::optional<std::vector<BYTE>> EncodeData(DWORD type, const std::string& text) {
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
            std::string rest = text;
            size_t at;
            while ((at = rest.find("\\0")) != std::string::npos) {
                appendWide(FromUtf8(rest.substr(0, at)));
                rest = rest.substr(at + 2);
            }
            if (!rest.empty()) appendWide(FromUtf8(rest));
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
    HKEY key = nullptr;
    if (LSTATUS e = RegCreateKeyExW(name.root, name.path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                                    nullptr))
        return FailWith(e);
    LSTATUS e = ERROR_SUCCESS;
    if (o.valueName || o.data) {
        std::u16string valueName = o.valueName.value_or(u"");
        auto data = EncodeData(type, o.data.value_or(""));
        if (!data) {
            RegCloseKey(key);
            return Fail("Invalid data for type " + std::string(TypeName(type)) + ".");
        }
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
    if (e) return FailWith(e);
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int Delete(const KeyName& name, const Options& o) {
    if (o.valueName || o.allValues) {
        HKEY key = nullptr;
        if (LSTATUS e = RegOpenKeyExW(name.root, name.path.c_str(), 0, KEY_READ | KEY_SET_VALUE, &key)) return FailWith(e);
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
        if (e) return FailWith(e);
    } else {
        if (name.path.empty()) return Fail("Deleting a whole root key is not allowed.");
        HKEY probe = nullptr;
        if (LSTATUS e = RegOpenKeyExW(name.root, name.path.c_str(), 0, KEY_READ, &probe)) return FailWith(e);
        RegCloseKey(probe);
        if (!o.force && !Confirm("Delete the registry key " + name.display())) {
            std::cout << "The operation was cancelled.\n";
            return 1;
        }
        if (LSTATUS e = SHDeleteKeyW(name.root, name.path.c_str())) return FailWith(e);
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

LSTATUS ExportTree(HKEY key, const std::string& display, std::ostream& out) {
    std::vector<Value> values;
    std::vector<std::u16string> subkeys;
    if (LSTATUS e = ReadValues(key, &values)) return e;
    if (LSTATUS e = ReadSubkeys(key, &subkeys)) return e;
    out << "[" << display << "]\n";
    for (const auto& v : values) {
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
    out << "\n";
    for (const auto& name : subkeys) {
        HKEY sub = nullptr;
        if (LSTATUS e = RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, &sub)) return e;
        // A key name may hold quotes, brackets or line feeds, but never a backslash.
        LSTATUS e = ExportTree(sub, display + "\\" + Escape(name), out);
        RegCloseKey(sub);
        if (e) return e;
    }
    return ERROR_SUCCESS;
}

int Export(const KeyName& name, const std::string& file, const Options& o) {
    HKEY key = nullptr;
    if (LSTATUS e = RegOpenKeyExW(name.root, name.path.c_str(), 0, KEY_READ, &key)) return FailWith(e);
    std::ostringstream text;
    text << "Lumivel Registry Export 1\n\n";
    LSTATUS e = ExportTree(key, name.display(), text);
    RegCloseKey(key);
    if (e) return FailWith(e);
    if (::access(file.c_str(), F_OK) == 0 && !o.force && !Confirm("File " + file + " already exists. Overwrite it")) {
        std::cout << "The operation was cancelled.\n";
        return 1;
    }
    // Written beside the target and renamed into place, so a failed export leaves no torn file.
    std::string temporary = file + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text.str();
        out.flush();
        if (!out) {
            ::unlink(temporary.c_str());
            return Fail("Unable to write the file " + file + ".");
        }
    }
    if (std::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return Fail("Unable to write the file " + file + ".");
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 1;
    }
    std::string verb = argv[1];
    auto isVerb = [&](const char* v) { return lumivel::AsciiEqualsNoCase(FromUtf8(verb), FromUtf8(v)); };
    if (isVerb("--help") || isVerb("-h") || isVerb("/?") || isVerb("help")) {
        std::cout << kUsage;
        return 0;
    }
    auto options = ParseOptions(argc, argv, 2);
    if (!options || options->positional.empty()) return Fail("Invalid syntax. Type \"reg --help\" for usage.");
    auto key = ParseKey(options->positional[0]);
    if (!key) return Fail("Invalid key name. Type \"reg --help\" for usage.");
    if (isVerb("query") && options->positional.size() == 1) return Query(*key, *options);
    if (isVerb("add") && options->positional.size() == 1) return Add(*key, *options);
    if (isVerb("delete") && options->positional.size() == 1) return Delete(*key, *options);
    if (isVerb("export") && options->positional.size() == 2) return Export(*key, options->positional[1], *options);
    return Fail("Invalid syntax. Type \"reg --help\" for usage.");
}
