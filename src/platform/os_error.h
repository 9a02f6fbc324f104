// Error codes of system and network-management calls turned into text and raised as EOSError.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace dv {

inline constexpr std::uint32_t kNerrBase = 2100;  // NERR_BASE
inline constexpr std::uint32_t kMaxNerr = 2999;   // MAX_NERR

// The code's message, without its trailing full stop, blanks and line breaks; network-management
// codes (2100-2999) are looked up in netmsg.dll first. Empty for a code without text.
std::u16string OSErrorText(std::uint32_t code);
// The same from the system's message table alone (the text of a failed security call).
std::u16string SystemErrorMessage(std::uint32_t code);

// "System Error.  Code: <code>.\r\n<text>", or "A call to an OS function failed" for code 0.
std::u16string OSErrorMessage(std::uint32_t code, std::u16string_view text);

// Raise EOSError for the code, its text from OSErrorText.
[[noreturn]] void RaiseOSError(std::uint32_t code);
// Raise EOSError for a failed security call's last error, its text from the system table alone.
[[noreturn]] void RaiseLastOSError(std::uint32_t code);

// The outcome of one call of the system side: 0 for success, otherwise the error code (Win32 and
// network-management codes on every platform, so that callers and messages do not depend on where
// they run), and whether the code is the last error of a security call (whose text comes from the
// system table alone). A last error is always a failure, also when its code is 0: some security
// calls fail without setting one.
struct [[nodiscard]] TOsStatus {
    std::uint32_t Code = 0;
    bool LastError = false;

    bool ok() const { return Code == 0 && !LastError; }
    static TOsStatus Net(std::uint32_t code) { return {code, false}; }
    static TOsStatus Last(std::uint32_t code) { return {code, true}; }
};

// The message of the error a failed status raises, for a failure that is logged instead.
std::u16string OSStatusMessage(TOsStatus status);
// Raise the status as its kind wants; does nothing for success.
void RaiseIfFailed(TOsStatus status);

// --- What the platform files provide ---

// The raw message text of the code: from the network message module first when `networkRange` is
// set and the code lies in 2100-2999, then from the system table. Untrimmed; empty when none.
std::u16string FormatOSMessage(std::uint32_t code, bool networkRange);

// Cut trailing characters below "!" and full stops.
std::u16string TrimOSErrorText(std::u16string text);

}  // namespace dv
