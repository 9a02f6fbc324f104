#include "setup/removal.h"

#include <utility>

#include "accounts/share_manager.h"
#include "accounts/user_manager.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "settings/machine_folder.h"
#include "settings/share_settings.h"

namespace dv {

namespace {

inline constexpr std::u16string_view kProgramFileName = u"Dockvane.exe";

}  // namespace

bool IsOwnRunValue(std::u16string_view data) {
    std::u16string_view path = data;
    if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') path = path.substr(1, path.size() - 2);
    // Anything around the path (arguments, a second quoted part) is not what Dockvane writes.
    if (path.find(u'"') != std::u16string_view::npos) return false;
    const std::size_t slash = path.find_last_of(u"\\/");
    if (slash == std::u16string_view::npos) return false;
    return EqualsIgnoreCase(path.substr(slash + 1), kProgramFileName);
}

bool IsOwnAccountRecord(std::u16string_view name, std::u16string_view comment) {
    const bool ownName = EqualsIgnoreCase(name, kMasterAccountName) || StartsWithIgnoreCase(name, kPerDriveUserPrefix);
    return ownName && EqualsIgnoreCase(comment, kShareUserComment);
}

std::u16string TaskCommandFromXml(std::string_view xml) {
    std::u16string text;
    if (xml.size() >= 2 && (xml[1] == '\0' || (static_cast<unsigned char>(xml[0]) == 0xFF && xml[1] == '\xFE'))) {
        for (std::size_t i = 0; i + 1 < xml.size(); i += 2) {
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(xml[i]) |
                                                 static_cast<unsigned char>(xml[i + 1]) << 8));
        }
    } else {
        text = FromUtf8(xml);
    }
    constexpr std::u16string_view kOpen = u"<Command>";
    const std::size_t begin = text.find(kOpen);
    const std::size_t end = begin == std::u16string::npos ? begin : text.find(u"</Command>", begin);
    if (end == std::u16string::npos) return {};
    const std::u16string_view raw = std::u16string_view(text).substr(begin + kOpen.size(), end - begin - kOpen.size());
    // The five entities XML escapes characters with (a path may hold "&").
    constexpr std::pair<std::u16string_view, char16_t> kEntities[] = {
        {u"&quot;", u'"'}, {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&apos;", u'\''}};
    std::u16string command;
    for (std::size_t at = 0; at < raw.size();) {
        bool escaped = false;
        for (const auto& [entity, character] : kEntities) {
            if (raw.substr(at, entity.size()) == entity) {
                command.push_back(character);
                at += entity.size();
                escaped = true;
                break;
            }
        }
        if (!escaped) command.push_back(raw[at++]);
    }
    return std::u16string(TrimBlanks(command));
}

std::vector<TDriveShare> FindDriveShares(const std::vector<char16_t>& letters) {
    std::vector<TDriveShare> found;
    for (char16_t letter : letters) {
        const std::u16string root = std::u16string(1, letter) + u":\\";
        const std::u16string file = root + std::u16string(kDriveConfigFileName);
        if (!fs::DirectoryExists(root) || !fs::FileExists(file)) continue;
        TShareSettings settings(file);
        try {
            settings.Load();
        } catch (const Exception&) {
            continue;  // a file that cannot be read names no share
        }
        if (!settings.FShareName.empty()) found.push_back({settings.FShareName, root});
    }
    return found;
}

TRemoval::TRemoval(IUserApi& users, IShareApi& shares, std::function<void(std::u16string_view)> report)
    : users_(users), shares_(shares), report_(std::move(report)) {}

std::vector<std::u16string> TRemoval::RemoveDriveShares(const std::vector<TDriveShare>& shares) {
    TShareManagerLog log{[this](std::u16string_view text) {
                             failed_ = true;
                             Report(text);
                         },
                         [this](std::u16string_view title, std::u16string_view text) {
                             failed_ = true;
                             Report(std::u16string(title) + u" " + std::u16string(text));
                         }};
    TShareManager manager(shares_, std::move(log));
    std::vector<std::u16string> removed;
    for (const TDriveShare& share : shares) {
        const std::optional<std::u16string> path = manager.SharePath(share.ShareName);
        if (!path) continue;
        if (!EqualsIgnoreCase(*path, share.Root)) {
            Report(u"Share kept: " + VisibleText(share.ShareName) + u" points at " + VisibleText(*path) + u", not at " +
                   share.Root);
            continue;
        }
        manager.ShareDeleteAt(share.ShareName, share.Root);
        if (manager.SharePath(share.ShareName)) continue;  // the failure is reported
        Report(u"Share removed: " + VisibleText(share.ShareName) + u" (" + share.Root + u")");
        removed.push_back(share.ShareName);
    }
    return removed;
}

std::vector<std::u16string> TRemoval::RemoveOwnAccounts() {
    std::vector<std::u16string> names;
    std::uint32_t resume = 0;
    for (;;) {
        const std::uint32_t asked = resume;
        const TUserEnumBatch batch = users_.UserEnum1(resume);
        names.insert(names.end(), batch.Names.begin(), batch.Names.end());
        if (batch.Status.Code == kErrorMoreData && resume != asked) continue;
        if (!batch.Status.ok() && batch.Status.Code != kErrorMoreData) {
            failed_ = true;
            Report(u"The local accounts cannot be listed: " +
                   OSErrorMessage(batch.Status.Code, OSErrorText(batch.Status.Code)));
        }
        break;
    }

    // Only the deletion is wanted of the account manager; it reads no setting for it.
    TApplicationSettings noSettings(u"");
    TUserManager manager(users_, noSettings);
    std::vector<std::u16string> removed;
    for (const std::u16string& name : names) {
        const bool candidate =
            EqualsIgnoreCase(name, kMasterAccountName) || StartsWithIgnoreCase(name, kPerDriveUserPrefix);
        if (!candidate) continue;
        const TUserComment account = users_.UserGetInfo1(name);
        if (!account.Status.ok()) {
            failed_ = true;
            Report(u"Account kept: " + VisibleText(name) + u" (its comment cannot be read: " +
                   OSErrorMessage(account.Status.Code, OSErrorText(account.Status.Code)) + u")");
            continue;
        }
        if (!IsOwnAccountRecord(name, account.Comment)) {
            Report(u"Account kept: " + VisibleText(name) + u" (not made by Dockvane)");
            continue;
        }
        try {
            manager.UserDelete(name);
        } catch (const EOSError& error) {
            failed_ = true;
            Report(u"Account kept: " + VisibleText(name) + u" (" + error.Message() + u")");
            continue;
        }
        Report(u"Account removed: " + VisibleText(name));
        removed.push_back(name);
    }
    return removed;
}

bool TRemoval::RemoveMachineSettings(const std::u16string& machineFolder) {
    const TFolderFacts facts = ReadFolderFacts(machineFolder);
    switch (DecideMachineFolder(facts)) {
        case TFolderVerdict::Create: return true;  // nothing there, nothing to remove
        case TFolderVerdict::Use:
        case TFolderVerdict::Tighten: return RemoveSettingsFile(machineFolder + u"\\Settings.ini");
        case TFolderVerdict::MoveAside: break;
    }
    failed_ = true;
    Report(u"Settings kept: " + machineFolder + u" is not Dockvane's own (" + UntrustedReason(facts) + u")");
    return false;
}

bool TRemoval::RemoveSettingsFile(const std::u16string& path) {
    if (path.empty() || !fs::FileExists(path)) return true;
    if (const TOsStatus status = fs::RemoveFile(path); !status.ok()) {
        failed_ = true;
        Report(u"Settings kept: " + path + u" (" + fs::SystemErrorText(status.Code) + u")");
        return false;
    }
    Report(u"Settings removed: " + path);
    const std::size_t slash = path.find_last_of(u'\\');
    // The folder goes only when the file was its last: anything else in it is not the settings.
    if (slash != std::u16string::npos && slash > 0) (void)fs::RemoveEmptyDirectory(path.substr(0, slash));
    return true;
}

}  // namespace dv
