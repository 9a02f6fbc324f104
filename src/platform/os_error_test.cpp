#include "platform/os_error.h"

#include <string_view>

#include <gtest/gtest.h>

namespace dv {
namespace {

TEST(OSErrorText, TrimsBlanksControlCharactersAndFullStopsFromTheEnd) {
    const struct {
        std::u16string_view raw;
        std::u16string_view trimmed;
    } cases[] = {
        {u"Access is denied.\r\n", u"Access is denied"},
        {u"Ends with dots...  \t\r\n", u"Ends with dots"},
        {u"Keeps v1.2 inside.", u"Keeps v1.2 inside"},
        {u"...", u""},
        {u"", u""},
        {u"No end", u"No end"},
        {u"Exclamation!\r\n", u"Exclamation!"},
    };
    for (const auto& c : cases) EXPECT_EQ(TrimOSErrorText(std::u16string(c.raw)), c.trimmed);
}

TEST(OSErrorText, NetworkCodesComeFromTheNetworkTable) {
    EXPECT_EQ(OSErrorText(2310), u"This shared resource does not exist");
    EXPECT_EQ(OSErrorText(5), u"Access is denied");
    // The system table alone has no text for network-management codes.
    EXPECT_EQ(SystemErrorMessage(2310), u"");
}

TEST(RaiseOSError, MessageAndCode) {
    try {
        RaiseOSError(0);
        FAIL();
    } catch (const EOSError& error) {
        EXPECT_EQ(error.Message(), u"A call to an OS function failed");
        EXPECT_EQ(error.ErrorCode(), 0u);
    }
    try {
        RaiseOSError(2310);
        FAIL();
    } catch (const EOSError& error) {
        EXPECT_EQ(error.Message(), u"System Error.  Code: 2310.\r\nThis shared resource does not exist");
        EXPECT_EQ(error.ErrorCode(), 2310u);
    }
    // A code that no table knows: the message ends after the code line.
    try {
        RaiseOSError(2999);
        FAIL();
    } catch (const EOSError& error) {
        EXPECT_EQ(error.Message(), u"System Error.  Code: 2999.\r\n");
    }
}

TEST(RaiseOSError, StatusesRaiseByTheirKind) {
    EXPECT_NO_THROW(RaiseIfFailed(TOsStatus{}));
    try {
        RaiseIfFailed(TOsStatus::Last(2310));  // a security call's last error: system table only
        FAIL();
    } catch (const EOSError& error) {
        EXPECT_EQ(error.Message(), u"System Error.  Code: 2310.\r\n");
    }
    EXPECT_THROW(RaiseIfFailed(TOsStatus::Net(5)), EOSError);
    // A security call that failed without a last error is still a failure.
    EXPECT_FALSE(TOsStatus::Last(0).ok());
    try {
        RaiseIfFailed(TOsStatus::Last(0));
        FAIL();
    } catch (const EOSError& error) {
        EXPECT_EQ(error.Message(), u"A call to an OS function failed");
        EXPECT_EQ(error.ErrorCode(), 0u);
    }
}

// A failure that is logged instead of raised reads as the raised one would.
TEST(RaiseOSError, LoggedStatusesReadAsRaisedOnes) {
    const TOsStatus statuses[] = {TOsStatus::Net(2310),  TOsStatus::Net(5),  TOsStatus::Net(2999),
                                  TOsStatus::Last(2310), TOsStatus::Last(5), TOsStatus::Last(0)};
    for (const TOsStatus status : statuses) {
        try {
            RaiseIfFailed(status);
            FAIL();
        } catch (const EOSError& error) {
            EXPECT_EQ(OSStatusMessage(status), error.Message()) << status.Code << " " << status.LastError;
        }
    }
    EXPECT_EQ(OSStatusMessage(TOsStatus::Net(2310)),
              u"System Error.  Code: 2310.\r\nThis shared resource does not exist");
}

}  // namespace
}  // namespace dv
