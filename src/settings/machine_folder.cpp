#include "settings/machine_folder.h"

#include <string>
#include <vector>

#include "logging/logs.h"
#include "platform/files.h"
#include "platform/text.h"

namespace dv {
namespace {

bool TrustedOwner(const TFolderFacts& facts) {
    switch (facts.owner) {
        case TOwnerKind::System:
        case TOwnerKind::Administrators: return true;
        case TOwnerKind::ProcessUser: return facts.processUserTrusted;
        case TOwnerKind::Other: return false;
    }
    return false;
}

void AppendTwoDigits(std::u16string& out, int value) {
    out.push_back(static_cast<char16_t>(u'0' + value / 10 % 10));
    out.push_back(static_cast<char16_t>(u'0' + value % 10));
}

}  // namespace

TFolderVerdict DecideMachineFolder(const TFolderFacts& facts) {
    if (!facts.exists) return TFolderVerdict::Create;
    if (facts.reparsePoint || !facts.isFolder || !TrustedOwner(facts) || facts.othersMayWrite) {
        return TFolderVerdict::MoveAside;
    }
    return facts.othersMayRead ? TFolderVerdict::Tighten : TFolderVerdict::Use;
}

std::u16string UntrustedReason(const TFolderFacts& facts) {
    // Who owns a link, or may write to it, says nothing about where it leads.
    if (facts.reparsePoint) return u"a link";
    if (!facts.isFolder) return u"no folder";
    std::u16string text;
    if (!TrustedOwner(facts)) text = u"owned by another account";
    if (facts.othersMayWrite) text += (text.empty() ? u"" : u", ") + std::u16string(u"writable by other accounts");
    return text;
}

std::u16string MovedAsideName(std::u16string_view folder, const LocalDateTime& time) {
    std::u16string name = std::u16string(folder) + u".untrusted-" + IntToStr(time.year);
    AppendTwoDigits(name, time.month);
    AppendTwoDigits(name, time.day);
    name += u'-';
    AppendTwoDigits(name, time.hour);
    AppendTwoDigits(name, time.minute);
    AppendTwoDigits(name, time.second);
    return name;
}

std::optional<std::u16string> PrepareMachineFolder(std::u16string_view base) {
    if (base.empty()) return std::nullopt;
    const std::u16string folder = std::u16string(base) + u"\\" + std::u16string(kMachineFolderName);
    // What was moved aside, for the log once there is a log to write to.
    std::vector<std::u16string> found;
    // A planter may put a new one in place as soon as the old one is gone: a few rounds, then give up.
    for (int round = 0; round < 3; ++round) {
        const TFolderFacts facts = ReadFolderFacts(folder);
        switch (DecideMachineFolder(facts)) {
            case TFolderVerdict::Use: break;
            case TFolderVerdict::Tighten:
                if (!ProtectFolder(folder).ok()) return std::nullopt;
                break;
            case TFolderVerdict::Create:
                if (!MakeProtectedFolder(folder).ok()) continue;  // made by someone else meanwhile: look again
                break;
            case TFolderVerdict::MoveAside: {
                std::u16string aside = MovedAsideName(folder, LocalNow());
                for (int n = 2; fs::EntryKindAt(aside) != fs::EntryKind::None && n < 100; ++n) {
                    aside = MovedAsideName(folder, LocalNow()) + u"-" + IntToStr(n);
                }
                if (!MoveFolderAside(folder, aside).ok()) return std::nullopt;
                found.push_back(u"The folder " + folder + u" was not Dockvane's own (" + UntrustedReason(facts) +
                                u"): moved aside to " + aside);
                continue;
            }
        }
        // What was made or tightened is checked again: only a folder that reads as ours is used.
        if (DecideMachineFolder(ReadFolderFacts(folder)) != TFolderVerdict::Use) return std::nullopt;
        SetAppLogFolder(folder);
        for (const auto& line : found) LogError(line);
        return folder;
    }
    return std::nullopt;
}

std::optional<std::u16string> PrepareMachineFolder() {
    return PrepareMachineFolder(fs::GetCommonAppDataFolder());
}

}  // namespace dv
