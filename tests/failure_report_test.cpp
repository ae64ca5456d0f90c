// The failure box, read from the screen as the user sees it.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "app/failure_report.h"
#include "app/startup.h"
#include "gui_test_support.h"

namespace {

const std::string kNoDescription = "The system has no description for this error.";

MessageBoxSeen ShowAndRead(const std::function<void()>& report) {
    MessageBoxSeen box;
    std::thread reader([&] { box = ReadAndConfirmMessageBox("Lumora"); });
    report();  // returns once the box is confirmed
    reader.join();
    return box;
}

TEST(FailureReport, NamesTheCallTheCodeAndTheSystemsText) {
    const std::string description = SystemDescription(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(description.empty()) << "the system should describe error 5";
    const MessageBoxSeen box = ShowAndRead([] {
        SetLastError(ERROR_ACCESS_DENIED);
        ReportFailure("bind()");
    });
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.caption, "Lumora");
    EXPECT_EQ(box.text, "bind() failed with error 5: " + description);
}

TEST(FailureReport, ACodeWithoutDescriptionStillNamesTheCallAndTheCode) {
    constexpr DWORD kUndescribed = 0x20001234;  // a customer code: no system text
    ASSERT_TRUE(SystemDescription(kUndescribed).empty());
    MessageBoxSeen box = ShowAndRead([] {
        SetLastError(kUndescribed);
        ReportFailure("socket()");
    });
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text, "socket() failed with error 536875572: " + kNoDescription);

    // Codes are shown signed, as Windows tools show HRESULT-like values.
    box = ShowAndRead([] {
        SetLastError(0xE0000001);
        ReportFailure("WSAIoctl()");
    });
    EXPECT_EQ(box.text, "WSAIoctl() failed with error -536870911: " + kNoDescription);
}

TEST(FailureReport, AFailedWinsockStartShowsTheCodeItReturnedNotSuccess) {
    std::string description = SystemDescription(WSAVERNOTSUPPORTED);
    if (description.empty()) description = kNoDescription;
    bool started = true;
    const MessageBoxSeen box = ShowAndRead([&] {
        SetLastError(ERROR_SUCCESS);
        started = StartWinsock(MAKEWORD(0, 0));  // no such version
    });
    EXPECT_FALSE(started);
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text, "WSAStartup() failed with error 10092: " + description);
}

}  // namespace
