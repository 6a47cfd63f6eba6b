#include <gtest/gtest.h>

#include <string>

#include "lumivel/system_messages.h"
#include "win/errors.h"

namespace {

std::u16string SystemText(DWORD code, DWORD flags = FORMAT_MESSAGE_IGNORE_INSERTS) {
    WCHAR buffer[1024];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | flags, nullptr, code, 0, buffer, 1024, nullptr);
    return n ? std::u16string(buffer, n) : u"<none>";
}

TEST(FormatMessage, GivesTheWindowsTexts) {
    struct Case {
        DWORD code;
        const char16_t* text;
    } cases[] = {
        {ERROR_SUCCESS, u"The operation completed successfully.\r\n"},
        {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
        {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.\r\n"},
        {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
        {ERROR_SHARING_VIOLATION, u"The process cannot access the file because it is being used by another process.\r\n"},
        {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists.\r\n"},
        {ERROR_BAD_NETPATH, u"The network path was not found.\r\n"},
        {ERROR_MORE_DATA, u"More data is available.\r\n"},
        {ERROR_NO_MORE_ITEMS, u"No more data is available.\r\n"},
        {ERROR_BADDB, u"The configuration registry database is corrupt.\r\n"},
        {ERROR_KEY_DELETED, u"Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
        {ERROR_BAD_EXE_FORMAT, u"%1 is not a valid Win32 application.\r\n"},
        {static_cast<DWORD>(E_FAIL), u"Unspecified error\r\n"},
        {static_cast<DWORD>(E_NOINTERFACE), u"No such interface supported\r\n"},
        {static_cast<DWORD>(E_UNEXPECTED), u"Catastrophic failure\r\n"},
        {static_cast<DWORD>(CO_E_CLASSSTRING), u"Invalid class string\r\n"},
        {static_cast<DWORD>(REGDB_E_CLASSNOTREG), u"Class not registered\r\n"},
        {static_cast<DWORD>(DISP_E_TYPEMISMATCH), u"Type mismatch.\r\n"},
        {static_cast<DWORD>(DISP_E_MEMBERNOTFOUND), u"Member not found.\r\n"},
        // Win32 codes wrapped in HRESULTs read as the Win32 text.
        {static_cast<DWORD>(E_ACCESSDENIED), u"Access is denied.\r\n"},
        {static_cast<DWORD>(E_INVALIDARG), u"The parameter is incorrect.\r\n"},
        {static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), u"The system cannot find the file specified.\r\n"},
        {static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE)), u"The user name or password is incorrect.\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(SystemText(c.code), c.text) << std::hex << c.code;
}

TEST(FormatMessage, UnknownCodesLanguagesAndBuffers) {
    WCHAR buffer[8];
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x2FFFF, 0, buffer, 8, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0x407, buffer, 8, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, buffer, 8, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    LPWSTR allocated = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                             ERROR_ACCESS_DENIED, 0x409, reinterpret_cast<LPWSTR>(&allocated), 0, nullptr);
    ASSERT_EQ(n, 19u);
    EXPECT_EQ(std::u16string(allocated), u"Access is denied.\r\n");
    EXPECT_EQ(LocalFree(allocated), nullptr);
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK),
              u"Access is denied.");
}

TEST(FormatMessage, InsertsNeedArgumentsAndEscapesExpand) {
    DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(u"Taxonis"), 42};
    WCHAR buffer[128];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, ERROR_BAD_EXE_FORMAT,
                             0, buffer, 128, reinterpret_cast<va_list*>(arguments));
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::u16string(buffer), u"Taxonis is not a valid Win32 application.\r\n");
    n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, u"%2!d! of %1%n100%%%0 ignored", 0,
                       0, buffer, 128, reinterpret_cast<va_list*>(arguments));
    EXPECT_EQ(std::u16string(buffer, n), u"42 of Taxonis\r\n100%");
    // Without arguments an insert would read garbage; it is refused.
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_BAD_EXE_FORMAT, 0, buffer, 128, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessage, OtherAreasRegisterTheirTexts) {
    static const lumivel::SystemMessage kTable[] = {{0x80005000u, u"An invalid directory pathname was passed\r\n"},
                                                    {8240u, u"There is no such object on the server.\r\n"}};
    lumivel::RegisterSystemMessages(kTable, 2);
    EXPECT_EQ(SystemText(0x80005000u), u"An invalid directory pathname was passed\r\n");
    EXPECT_EQ(SystemText(static_cast<DWORD>(HRESULT_FROM_WIN32(8240))), u"There is no such object on the server.\r\n");
}

}  // namespace
