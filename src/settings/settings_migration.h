// The machine's settings file is made once from a person's own settings file of an earlier version,
// so that the master password and every password derived from its salt stay what they were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

// A person's settings file is theirs to write: anything larger is no settings file.
inline constexpr std::size_t kMaxUserSettingsBytes = 64 * 1024;

// What was read of one person's settings file.
struct TSettingsCandidate {
    std::u16string path;
    bool readable = false;  // read safely and loaded as settings
    std::u16string salt;
    std::uint64_t lastWrite = 0;
};

// The one to take over: the most recently written of the readable files with a salt; of several
// written at the same moment, the first in the list. Nothing when none has a salt.
std::optional<std::size_t> ChooseSettingsToTakeOver(const std::vector<TSettingsCandidate>& candidates);

// The settings files the earlier versions kept in each of these local application-data folders:
// "dockvane\Settings.ini", then the older "Velmora\Settings.ini"; each path once.
std::vector<std::u16string> UserSettingsFiles(const std::vector<std::u16string>& localAppDataFolders);
// The local application-data folders of the people of this computer: the current user's first, then
// "<profile>\AppData\Local" of every profile the system lists (settings_migration_win.cpp).
std::vector<std::u16string> UserLocalAppDataFolders();

// Makes `machineFile` from the chosen one of `userFiles`, byte for byte, and writes a line naming it
// to the application log; the users' files stay. Each is read without trusting its path (a link or a
// hard link is refused with an ERROR line) and loaded from a copy next to `machineFile`. Returns the
// file taken over; nothing when none had a salt. Raises EFCreateError when the file cannot be made.
std::optional<std::u16string> TakeOverUserSettings(std::u16string_view machineFile,
                                                   const std::vector<std::u16string>& userFiles);

}  // namespace dv
