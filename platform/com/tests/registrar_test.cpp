#include <gtest/gtest.h>

#include <map>
#include <string>

#include "lumivel/registrar.h"
#include "lumivel/text.h"
#include "win/winerror.h"
#include "win/winreg.h"

namespace {

using lumivel::com::ApplyRegistrarScript;
using lumivel::com::RegistrarAction;
using lumivel::com::RegistrarReplacement;

// Everything below HKCU\Software\RegistrarTest as "path|value=type:data" lines.
using Snapshot = std::map<std::string, std::string>;

void Walk(HKEY key, const std::string& path, Snapshot* out) {
    (*out)[path] = "key";
    for (DWORD i = 0;; ++i) {
        WCHAR name[16384];
        DWORD nameLength = 16384, type = 0;
        BYTE data[4096];
        DWORD size = sizeof(data);
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        std::string text;
        for (DWORD b = 0; b < size; ++b) text += std::to_string(data[b]) + ",";
        (*out)[path + "|" + lumivel::ToUtf8(std::u16string_view(name, nameLength))] =
            std::to_string(type) + ":" + text;
    }
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        Walk(child, path + "\\" + lumivel::ToUtf8(std::u16string_view(name, nameLength)), out);
        RegCloseKey(child);
    }
}

Snapshot Take() {
    Snapshot snapshot;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\RegistrarTest", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        Walk(key, "", &snapshot);
        RegCloseKey(key);
    }
    return snapshot;
}

HRESULT Apply(const char16_t* script, RegistrarAction action, std::u16string* error = nullptr,
              std::initializer_list<RegistrarReplacement> replacements = {}) {
    return ApplyRegistrarScript(script, replacements.begin(), replacements.size(), action, error);
}

class Registrar : public ::testing::Test {
protected:
    void SetUp() override {
        SHDeleteKeyW(HKEY_CURRENT_USER, u"Software\\RegistrarTest");
        // Something that was there before and must survive.
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\RegistrarTest\\Existing", 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr);
        DWORD one = 1;
        RegSetValueExW(key, u"Kept", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4);
        RegCloseKey(key);
    }
    void TearDown() override { SHDeleteKeyW(HKEY_CURRENT_USER, u"Software\\RegistrarTest"); }
};

constexpr const char16_t* kScript = uR"(
// A comment line
HKCU
{
    NoRemove Software
    {
        NoRemove RegistrarTest
        {
            val Added = s 'by the script'
            'Quoted Name ''with'' quotes' = s 'It''s %MODULE%'
            {
                val Count = d 0x2A
                val Path = e '%%PATH%%\bin'
                val Bytes = b '00FF10'
                val 'Ünïcode 𝄞' = s 'ok'
            }
            NoRemove Existing
            {
                val Added = d 7
            }
            ForceRemove Fresh
            {
                Child
            }
        }
    }
}
)";

TEST_F(Registrar, RegisterThenUnregisterRestoresTheRegistry) {
    Snapshot before = Take();
    std::u16string error;
    ASSERT_EQ(Apply(kScript, RegistrarAction::Register, &error, {{u"MODULE", u"/opt/x.so"}}), S_OK) << lumivel::ToUtf8(error);
    Snapshot after = Take();
    EXPECT_EQ(after["|Added"], "1:98,0,121,0,32,0,116,0,104,0,101,0,32,0,115,0,99,0,114,0,105,0,112,0,116,0,0,0,");
    EXPECT_EQ(after["\\Quoted Name 'with' quotes|"].substr(0, 2), "1:");
    EXPECT_EQ(after["\\Quoted Name 'with' quotes|Count"], "4:42,0,0,0,");
    EXPECT_EQ(after["\\Quoted Name 'with' quotes|Bytes"], "3:0,255,16,");
    EXPECT_EQ(after.count("\\Quoted Name 'with' quotes|Ünïcode 𝄞"), 1u);
    EXPECT_EQ(after["\\Existing|Added"], "4:7,0,0,0,");
    EXPECT_EQ(after.count("\\Fresh\\Child"), 1u);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\RegistrarTest\\Quoted Name 'with' quotes", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    WCHAR text[64];
    DWORD size = sizeof(text);
    RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    EXPECT_EQ(std::u16string(text), u"It's /opt/x.so");
    size = sizeof(text);
    RegQueryValueExW(key, u"Path", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    EXPECT_EQ(std::u16string(text), u"%PATH%\\bin");
    RegCloseKey(key);

    // Registering twice is harmless.
    ASSERT_EQ(Apply(kScript, RegistrarAction::Register, nullptr, {{u"MODULE", u"/opt/x.so"}}), S_OK);
    EXPECT_EQ(Take(), after);

    ASSERT_EQ(Apply(kScript, RegistrarAction::Unregister, nullptr, {{u"MODULE", u"/opt/x.so"}}), S_OK);
    EXPECT_EQ(Take(), before);
    // Unregistering what is not there succeeds too.
    EXPECT_EQ(Apply(kScript, RegistrarAction::Unregister, nullptr, {{u"MODULE", u"/opt/x.so"}}), S_OK);
}

TEST_F(Registrar, ForceRemoveReplacesAndDeleteRemoves) {
    const char16_t* script = u"HKCU { NoRemove Software { NoRemove RegistrarTest { ForceRemove Fresh { New } "
                             u"Delete Existing } } }";
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\RegistrarTest\\Fresh\\Stale", 0, nullptr, 0, KEY_WRITE, nullptr,
                    &key, nullptr);
    RegCloseKey(key);
    ASSERT_EQ(Apply(script, RegistrarAction::Register), S_OK);
    Snapshot after = Take();
    EXPECT_EQ(after.count("\\Fresh\\Stale"), 0u);
    EXPECT_EQ(after.count("\\Fresh\\New"), 1u);
    EXPECT_EQ(after.count("\\Existing"), 0u);
}

TEST_F(Registrar, MalformedScriptsChangeNothing) {
    struct Case {
        const char16_t* script;
        const char* error;
    } cases[] = {
        {u"HKCU { Software { RegistrarTest { A = s 'x' }", "line 1: missing '}'"},
        {u"HKXX { }", "line 1: unknown root key 'HKXX'"},
        {u"HKCU {\n  A = q 'x'\n}", "line 2: unknown value type 'q'"},
        {u"HKCU { A = s 'unterminated }", "line 1: unterminated quoted text"},
        {u"HKCU { A = d 4294967296 }", "line 1: number too large '4294967296'"},
        {u"HKCU { A = d 12x }", "line 1: number expected '12x'"},
        {u"HKCU { A = b 'ABC' }", "line 1: odd number of hexadecimal digits 'ABC'"},
        {u"HKCU { 'Software\\RegistrarTest' }", "line 1: key name holds a backslash 'Software\\RegistrarTest'"},
        {u"HKCU { A = s '%NOPE%' }", "line 1: unknown replacement 'NOPE'"},
        {u"HKCU { A = s '50%' }", "line 1: unpaired '%'"},
        {u"HKCU { '' }", "line 1: empty key name"},
    };
    Snapshot before = Take();
    for (const Case& c : cases) {
        std::u16string error;
        EXPECT_EQ(Apply(c.script, RegistrarAction::Register, &error), E_INVALIDARG) << c.error;
        EXPECT_EQ(lumivel::ToUtf8(error), c.error);
    }
    EXPECT_EQ(Take(), before);
}

TEST_F(Registrar, AFailedRegistrationIsUndone) {
    Snapshot before = Take();
    // The registry refuses key names over 255 characters, after the first key was written.
    std::u16string script = u"HKCU { NoRemove Software { NoRemove RegistrarTest { First = s 'x' " +
                            std::u16string(300, u'k') + u" } } }";
    std::u16string error;
    HRESULT hr = Apply(script.c_str(), RegistrarAction::Register, &error);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Take(), before);
}

TEST_F(Registrar, ReplacedTextIsNeverSyntax) {
    std::u16string error;
    // A replacement that looks like a brace stays a name.
    ASSERT_EQ(Apply(u"HKCU { NoRemove Software { NoRemove RegistrarTest { %X% } } }", RegistrarAction::Register,
                    &error, {{u"X", u"{"}}),
              S_OK)
        << lumivel::ToUtf8(error);
    EXPECT_EQ(Take().count("\\{"), 1u);
}

}  // namespace
