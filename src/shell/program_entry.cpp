#include "shell/program_entry.h"

#include <cstddef>

#include "platform/drive_letter.h"
#include "platform/product.h"

namespace dv {

bool IsSimpleSharingOn(IEntryHost& host) {
    // A value that is missing or cannot be read means the system's default: full sharing.
    return host.ReadForceGuest() == 1u;
}

bool SwitchToFullSharing(IEntryHost& host) {
    return host.WriteForceGuest(0);
}

bool IsNetworkDrive(IEntryHost& host, std::u16string_view drivePart) {
    return host.DriveType(drivePart) == kDriveRemote;
}

std::u16string ExtractFileDrive(std::u16string_view path) {
    if (path.size() >= 2 && path[1] == u':') return std::u16string(path.substr(0, 2));
    if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
        // "\\server\share": up to the separator after the share name.
        const std::size_t server = path.find(u'\\', 2);
        if (server == std::u16string_view::npos) return std::u16string(path);
        const std::size_t share = path.find(u'\\', server + 1);
        return std::u16string(path.substr(0, share));
    }
    return {};
}

bool RunStartupChecks(IEntryHost& host) {
    if (!host.CreateInstanceMutex()) {
        host.ShowMessage(std::u16string(kApplicationTitle) + u" is already running.", TMessageIcon::Information);
        return false;
    }
    if (IsSimpleSharingOn(host)) {
        const std::u16string question =
            u"Your Windows is currently configured for 'simple sharing'. Dockvane\u2122 requires the full network "
            u"sharing.\n\r\n\rDo you now want to switch Windows into full network sharing?";
        if (!host.AskYesNoWarning(question)) return false;
        if (!SwitchToFullSharing(host)) return false;
    }
    if (IsNetworkDrive(host, ExtractFileDrive(host.ExecutablePath()))) {
        host.ShowMessage(u"Cannot run application from network share.", TMessageIcon::Error);
        return false;
    }
    return true;
}

}  // namespace dv
