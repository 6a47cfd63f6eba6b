// Event sources: only the local log, handles checked, strings with control characters taken.
#include <gtest/gtest.h>

#include "win/winbase.h"

namespace {

TEST(EventLog, SourcesAndReports) {
    EXPECT_EQ(RegisterEventSourceW(u"\\\\elsewhere", u"Tarvo Lumivel"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(RegisterEventSourceW(nullptr, u""), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    HANDLE source = RegisterEventSourceW(nullptr, u"Tarvo Lumivel");
    ASSERT_NE(source, nullptr);
    LPCWSTR strings[] = {u"Error Creating Revivo Directory:", u"Access is denied.\r\nforged line", nullptr};
    EXPECT_TRUE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 3, 0, strings, nullptr));
    EXPECT_FALSE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(DeregisterEventSource(source));
    EXPECT_FALSE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DeregisterEventSource(source));
    // An event source is not some other kind of handle.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(ReportEventW(event, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr));
    CloseHandle(event);
}

}  // namespace
