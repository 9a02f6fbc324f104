// A stand-in for the controller as the drive settings dialog sees it: drives in a temporary folder,
// calls recorded. Shared by the logic's tests and the window's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/drive_settings_dialog.h"
#include "drives/volume_query.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "testing/temp_folder.h"

namespace dv::testing {

struct TFakeDrive {
    std::uint32_t type = kDriveRemovable;
    std::u16string label;  // as stored on the volume
    std::u16string capacity;
    std::optional<std::u16string> attachedShare;
    bool refusesLabel = false;
};

// The controller as the dialog sees it: drives in temporary folders, calls recorded.
class TRecordingHost : public IDriveSettingsHost {
public:
    explicit TRecordingHost(TempFolder& folder) : settings(folder.File(u"Settings.ini")), folder_(folder) {
        settings.FDefaultShareUserName = u"dockvane";
        settings.FPasswordSalt = u"salt";
    }

    std::map<char16_t, TFakeDrive> drives;
    std::vector<std::u16string> users{u"dockvane"};
    TApplicationSettings settings;
    std::vector<std::u16string> calls;
    // The controller operation (by name) that raises an error after it was recorded.
    std::u16string raiseIn;

    std::u16string Root(char16_t drive) {
        const std::u16string root = folder_.File(std::u16string(1, drive));
        if (!fs::DirectoryExists(root)) (void)fs::MakeDirectory(root);
        return root + u"\\";
    }
    void WriteConfig(char16_t drive, std::u16string_view fileName, std::string_view content) {
        ASSERT_TRUE(fs::WriteNewFile(Root(drive) + std::u16string(fileName), content).ok());
    }

    std::vector<std::u16string> GetUsbDrives() override {
        std::vector<std::u16string> letters;
        for (const auto& [letter, drive] : drives) letters.push_back(std::u16string(1, letter));
        return letters;
    }
    std::uint32_t DriveType(char16_t drive) override { return drives.at(drive).type; }
    TUSBDrvInfo GetUSBDiskDriveInfo(char16_t drive) override {
        return {UpperCase(drives.at(drive).label), drives.at(drive).capacity};
    }
    std::u16string GetVolumeLabel(char16_t drive) override { return UpperCase(drives.at(drive).label); }
    std::u16string StoredVolumeLabel(char16_t drive) override { return drives.at(drive).label; }
    bool chageDriveLabel(char16_t drive, std::u16string_view label) override {
        calls.push_back(u"chageDriveLabel " + std::u16string(1, drive) + u" " + std::u16string(label));
        if (drives.at(drive).refusesLabel) return false;
        drives.at(drive).label = label;
        return true;
    }
    std::u16string DriveRoot(char16_t drive) override { return Root(drive); }
    std::optional<std::u16string> AttachedShareName(char16_t drive) override {
        auto it = drives.find(drive);
        return it == drives.end() ? std::nullopt : it->second.attachedShare;
    }
    std::vector<std::u16string> GetNasDriveNamesList() override {
        std::vector<std::u16string> letters;
        for (const auto& [letter, drive] : drives) {
            if (drive.attachedShare) letters.push_back(std::u16string(1, letter));
        }
        return letters;
    }
    std::vector<std::u16string> GetNasShareNamesList() override {
        std::vector<std::u16string> names;
        for (const auto& [letter, drive] : drives) {
            if (drive.attachedShare) names.push_back(*drive.attachedShare);
        }
        return names;
    }
    std::vector<std::u16string> GetDockvaneUserList() override { return users; }
    std::u16string GenerateUserNameByShareName(const std::u16string& shareName) override {
        return u"extdisk_" + shareName;
    }
    std::u16string MakePassword(const std::u16string& salt) override { return u"pw(" + salt + u")"; }
    bool ChekToManualUserDeleteByuserName(const std::u16string& userName,
                                          const std::vector<std::u16string>& letters) override {
        std::u16string call = u"ChekToManualUserDeleteByuserName " + userName;
        for (const auto& letter : letters) call += u" " + letter;
        calls.push_back(call);
        return true;
    }
    std::u16string getHostname() override { return u"OFFICE (\\\\10.0.0.5)"; }
    TApplicationSettings& ApplicationSettings() override { return settings; }
    void RemoveNASDrive(char16_t drive) override { Record(u"RemoveNASDrive", drive); }
    void DisconnectNASDrive(char16_t drive) override { Record(u"DisconnectNASDrive", drive); }
    bool EjectRemovableDriveByLetter(char16_t drive) override {
        Record(u"EjectRemovableDriveByLetter", drive);
        return true;
    }

private:
    void Record(std::u16string_view operation, char16_t drive) {
        calls.push_back(std::u16string(operation) + u" " + std::u16string(1, drive));
        if (operation == raiseIn) throw EOSError(std::u16string(operation) + u" failed", 5);
    }

    TempFolder& folder_;
};

}  // namespace dv::testing
