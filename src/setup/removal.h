// Taking Dockvane off a computer: what of the system is Dockvane's own, and its removal. Nothing
// that a person made goes with it, whatever it is called.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/share_api.h"
#include "accounts/user_api.h"

namespace dv {

// The autostart value (HKCU\...\Run, "Dockvane") is Dockvane's when it holds what Dockvane writes
// there: the path of a program file called Dockvane.exe, in double quotes or bare, nothing more.
bool IsOwnRunValue(std::u16string_view data);

// The program a scheduled task starts (its first <Command>, XML escapes of the double quote undone),
// from the definition `schtasks /query /xml` prints, in UTF-16 (with or without its byte-order mark) or
// in UTF-8; empty when it names none (no such task, or a schtasks that prints nothing).
std::u16string TaskCommandFromXml(std::string_view xml);

// A local account is Dockvane's when it is the master account or an "extdisk_" account and carries
// the comment Dockvane gives every account it makes (names and comment without regard to case).
// Stricter than the running program, which takes the master account by its name: a removal cannot
// ask anyone, so an account called "dockvane" that someone else made stays.
bool IsOwnAccountRecord(std::u16string_view name, std::u16string_view comment);

// A share Dockvane made for a drive: the name the drive's configuration gives it, and the drive root.
struct TDriveShare {
    std::u16string ShareName;
    std::u16string Root;  // the drive root, "E:\\"

    bool operator==(const TDriveShare&) const = default;
};

// The drives among `letters` whose root holds a configuration file naming a share; a file that
// cannot be read names none.
std::vector<TDriveShare> FindDriveShares(const std::vector<char16_t>& letters);

class TRemoval {
public:
    // `report` receives one line for everything removed, kept on purpose, or failed.
    TRemoval(IUserApi& users, IShareApi& shares, std::function<void(std::u16string_view)> report);

    // Deletes each share while it still points at its drive's root: a share of that name elsewhere is
    // someone else's. Returns the names deleted.
    std::vector<std::u16string> RemoveDriveShares(const std::vector<TDriveShare>& shares);
    // Deletes every local account that is Dockvane's own; returns their names. An account whose
    // comment cannot be read is kept.
    std::vector<std::u16string> RemoveOwnAccounts();
    // Deletes the settings file and its folder when nothing else is in it; false when the file stays.
    bool RemoveSettingsFile(const std::u16string& path);
    // The settings file of the machine folder, only while that folder is Dockvane's own: through one
    // that was planted (a link, someone else's) nothing is deleted. The folder goes only when the file
    // was its last; the application log beside it stays.
    bool RemoveMachineSettings(const std::u16string& machineFolder);

    // Whether a step failed (reported); what could be removed was removed all the same.
    bool Failed() const { return failed_; }

private:
    void Report(std::u16string_view line) { report_(line); }

    IUserApi& users_;
    IShareApi& shares_;
    std::function<void(std::u16string_view)> report_;
    bool failed_ = false;
};

}  // namespace dv
