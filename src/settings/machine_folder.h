// The machine's own folder, %ProgramData%\Dockvane: the settings with the salt every password comes
// from, and the application log. Only SYSTEM and the Administrators may reach it. A standard user may
// make folders in ProgramData, so one of that name may be there already, planted: it is used only
// when it is beyond the reach of everybody else, and otherwise moved aside for a fresh one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/locale.h"
#include "platform/os_error.h"

namespace dv {

inline constexpr std::u16string_view kMachineFolderName = u"Dockvane";

// Who owns an entry, as far as this process is concerned.
enum class TOwnerKind {
    System,          // LocalSystem
    Administrators,  // the Administrators group
    ProcessUser,     // the account this process runs as (see TFolderFacts::processUserTrusted)
    Other,
};

// What was read at the folder's path, without following a link.
struct TFolderFacts {
    bool exists = false;
    bool isFolder = false;
    bool reparsePoint = false;  // a junction, a symbolic link or any other reparse point
    TOwnerKind owner = TOwnerKind::Other;
    // Whether an entry of the folder's DACL lets anyone but SYSTEM, the Administrators and a trusted
    // process user write to it, or reach it at all (also through what the folder passes on to files
    // made in it). No DACL lets everybody do everything.
    bool othersMayWrite = false;
    bool othersMayRead = false;
    // Whether the account this process runs as is as trusted as SYSTEM: nothing else runs as it. True
    // for LocalSystem, and under Wine, which runs every process as the one host user, makes every
    // file that user's and shows no Administrators at all (see the Wine notes). False for a person's
    // account: that person's unelevated programs run as it too.
    bool processUserTrusted = false;
};

enum class TFolderVerdict {
    Create,     // nothing there: make it
    Use,        // ours: use it as it is
    Tighten,    // ours, but others may read it: set its DACL again
    MoveAside,  // not ours: move it aside and make a fresh one
};

TFolderVerdict DecideMachineFolder(const TFolderFacts& facts);
// Why a folder is not ours, for the log ("a link", "owned by another account", ...).
std::u16string UntrustedReason(const TFolderFacts& facts);
// "<folder>.untrusted-YYYYMMDD-hhmmss".
std::u16string MovedAsideName(std::u16string_view folder, const LocalDateTime& time);

// --- The system side (machine_folder_win.cpp, machine_folder_posix.cpp) ---

TFolderFacts ReadFolderFacts(std::u16string_view folder);
// Creates the folder with the protected DACL: SYSTEM and the Administrators full control, passed on
// to everything made in it, nothing inherited; owner the Administrators.
TOsStatus MakeProtectedFolder(std::u16string_view folder);
// Sets that DACL on an existing folder of ours.
TOsStatus ProtectFolder(std::u16string_view folder);
// Renames the entry itself (a link is moved, not followed).
TOsStatus MoveFolderAside(std::u16string_view folder, std::u16string_view to);

// --- The whole step ---

// Makes sure that "<base>\Dockvane" is ours, moving aside whatever was there in its place, points the
// application log there and returns the folder; nothing when no folder of ours can be had (the log
// stays where it was). Whatever was found in its place gets an ERROR line in the application log.
std::optional<std::u16string> PrepareMachineFolder(std::u16string_view base);
// The same in %ProgramData%.
std::optional<std::u16string> PrepareMachineFolder();

}  // namespace dv
