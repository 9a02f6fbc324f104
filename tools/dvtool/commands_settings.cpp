// Commands of the settings files and the logs.
#include "commands.h"
#include "logging/logs.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "settings/share_settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dv::tool {
namespace {

std::u16string_view BoolText(bool value) {
    return value ? u"True" : u"False";
}

// Does to FILE what attaching a drive does to its configuration (load, then save), and shows the
// record.
int Conf(const Args& args, std::ostream& out) {
    if (args.size() != 1) throw UsageError();
    TShareSettings settings(args[0]);
    settings.Load();
    settings.Save();
    PrintValue(out, u"ShareName", settings.FShareName);
    PrintValue(out, u"ShareUserName", settings.FShareUserName);
    PrintValue(out, u"Description", settings.FShareDescription);
    PrintValue(out, u"AutoRemove", BoolText(settings.FAutoRemove));
    for (std::size_t slot = 0; slot < kPingUrlSlots; ++slot) {
        PrintValue(out, u"PingURL" + IntToStr(static_cast<std::int64_t>(slot + 1)), settings.FPingUrls[slot]);
    }
    for (std::size_t slot = 0; slot < kPingUrlSlots; ++slot) {
        PrintValue(out, u"DonePingURL" + IntToStr(static_cast<std::int64_t>(slot + 1)), settings.FDonePingUrls[slot]);
    }
    PrintValue(out, u"Encrypt", BoolText(settings.FEncrypt));
    return 0;
}

// Loads FILE as the application settings (a failed load leaves it untouched), saves it and shows it.
int Settings(const Args& args, std::ostream& out) {
    if (args.size() != 1) throw UsageError();
    TApplicationSettings settings(args[0]);
    settings.Load();
    settings.Save();
    PrintValue(out, u"RegistrationCode", settings.FPasswordSalt);
    PrintValue(out, u"RegistrationName", settings.FDefaultShareUserName);
    PrintValue(out, u"AutoStart", BoolText(settings.FAutoStart));
    PrintValue(out, u"Available", settings.FSoundBackupAvailable);
    PrintValue(out, u"Done", settings.FSoundBackupDone);
    PrintValue(out, u"AutoPlay", IntToStr(settings.FAutoPlay));
    PrintValue(out, u"IsInDomain", IntToStr(settings.FIsInDomain));
    return 0;
}

std::u16string FolderOf(std::u16string_view path) {
    const std::size_t separator = path.find_last_of(u"\\/");
    if (separator == std::u16string_view::npos) return u".";
    return std::u16string(path.substr(0, separator + 1));
}

// Adds one record to FILE as the drive activity log does (bounded; written only while FILE's folder
// exists, as the drive log is while its drive is there) or as the application log does.
int Log(const Args& args, std::ostream&) {
    if (args.size() != 4 || (args[0] != u"drive" && args[0] != u"app")) throw UsageError();
    const bool drive = args[0] == u"drive";
    const std::u16string& file = args[1];
    (void)AddLogRecord({file, drive ? FolderOf(file) : u"", drive}, args[2], args[3]);
    return 0;
}

}  // namespace

void AddSettingsCommands(std::vector<Command>& commands) {
    commands.push_back({"conf", "FILE", Conf});
    commands.push_back({"settings", "FILE", Settings});
    commands.push_back({"log", "drive|app FILE TITLE TEXT", Log});
}

}  // namespace dv::tool
