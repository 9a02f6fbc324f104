// The end of a backup, reported: once a drive has been unshared and its eject tried, the done
// addresses of its configuration ("DonePingURL=") are called with what became of the drive, and each
// outcome goes to the application log (the drive, and its activity log, may be gone).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/share_settings.h"
#include "sharing/http_client.h"
#include "sharing/ping_to_web.h"

namespace dv {

// What became of the drive: {result}.
inline constexpr std::u16string_view kDoneEjected = u"ejected";
inline constexpr std::u16string_view kDoneEjectRefused = u"eject-refused";
// The share is gone, and no eject was tried: the drive had left by then.
inline constexpr std::u16string_view kDoneUnshared = u"unshared";

// The values of a done address's placeholders.
struct TBackupEnd {
    std::u16string result;   // {result}: kDoneEjected, kDoneEjectRefused or kDoneUnshared
    std::u16string share;    // {share}: the share name the drive had
    std::u16string drive;    // {drive}: the drive letter
    std::u16string host;     // {host}: the computer's name
    std::u16string blocker;  // {blocker}: the process that kept a refused eject from happening, when known
};

// The text's UTF-8 bytes percent-encoded ("%C3%A9"), letters, digits and "-._~" kept as they are.
std::u16string UrlEncode(std::u16string_view text);

// The address with {result}, {share}, {drive}, {host} and {blocker} replaced by their values,
// URL-encoded. Everything else, other words in braces included, stays as written; a value is never
// looked at for placeholders.
std::u16string ExpandDoneUrl(std::u16string_view address, const TBackupEnd& end);

// Calls the done addresses of `settings`, in slot order, on a thread of its own, which ends by
// itself; nothing when there are none. The thread keeps copies of everything it uses: the drive, its
// entry and its settings record may be gone before it ends, and nobody waits for it.
void StartDonePings(const TShareSettings& settings, TBackupEnd end, TPingToWebTh::ClientFactory clientFactory);

// The thread's body: each non-empty address expanded, called, and its outcome written to the
// application log in the lines of the pings, with the address as it was called. An unexpected failure
// of one call ends it there, as it ends the pings.
void CallDoneAddresses(const std::vector<std::u16string>& addresses, const TBackupEnd& end, IHttpClient& client);

}  // namespace dv
