#include "settings/settings_migration.h"

#include <utility>

#include "logging/logs.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace dv {

std::optional<std::size_t> ChooseSettingsToTakeOver(const std::vector<TSettingsCandidate>& candidates) {
    std::optional<std::size_t> chosen;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const TSettingsCandidate& candidate = candidates[i];
        if (!candidate.readable || candidate.salt.empty()) continue;
        if (!chosen || candidate.lastWrite > candidates[*chosen].lastWrite) chosen = i;
    }
    return chosen;
}

std::vector<std::u16string> UserSettingsFiles(const std::vector<std::u16string>& localAppDataFolders) {
    std::vector<std::u16string> files;
    for (const std::u16string& folder : localAppDataFolders) {
        if (folder.empty()) continue;
        for (const std::u16string_view name : {u"dockvane", u"Velmora"}) {
            const std::u16string file = folder + u"\\" + std::u16string(name) + u"\\Settings.ini";
            bool known = false;
            for (const auto& other : files) known = known || EqualsIgnoreCase(other, file);
            if (!known) files.push_back(file);
        }
    }
    return files;
}

std::optional<std::u16string> TakeOverUserSettings(std::u16string_view machineFile,
                                                   const std::vector<std::u16string>& userFiles) {
    std::vector<TSettingsCandidate> candidates;
    std::vector<std::string> contents;
    for (std::size_t i = 0; i < userFiles.size(); ++i) {
        TSettingsCandidate candidate;
        candidate.path = userFiles[i];
        fs::UntrustedFile file;
        const TOsStatus read = fs::ReadUntrustedFile(candidate.path, kMaxUserSettingsBytes, file);
        if (!read.ok() && read.Code != fs::kFileNotFound && read.Code != fs::kPathNotFound) {
            LogError(u"Settings not taken over from " + candidate.path + u": " + fs::SystemErrorText(read.Code));
        }
        // Parsed from a copy in the machine's own folder, never where its owner could still change it;
        // one name per file, so that no cached reading of an earlier one stands in for it.
        const std::u16string copy = std::u16string(machineFile) + u".user" + IntToStr(static_cast<int>(i));
        if (read.ok() && fs::WriteNewFile(copy, file.bytes).ok()) {
            try {
                TApplicationSettings settings(copy);
                settings.Load();
                candidate.readable = true;
                candidate.salt = settings.FPasswordSalt;
                candidate.lastWrite = file.lastWrite;
            } catch (const Exception&) {
                // A file that does not load (a value that is no number) is no settings to go on with.
            }
        }
        (void)fs::RemoveFile(copy);
        candidates.push_back(std::move(candidate));
        contents.push_back(std::move(file.bytes));
    }
    const std::optional<std::size_t> chosen = ChooseSettingsToTakeOver(candidates);
    if (!chosen) return std::nullopt;
    fs::ReplaceFileContents(machineFile, contents[*chosen]);
    LogApp(u"Settings", u"taken over from " + candidates[*chosen].path);
    return candidates[*chosen].path;
}

}  // namespace dv
