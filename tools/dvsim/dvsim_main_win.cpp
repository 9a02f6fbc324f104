// dvsim: the control tool of Dockvane's simulation mode. It works on the folder that the variable
// DOCKVANE_SIMULATION names, as Dockvane.exe does when started with it.
//   dvsim plug LETTER HOSTFOLDER   plug in a USB drive whose root is HOSTFOLDER
//   dvsim unplug LETTER            pull it out again
//   dvsim shares                   NAME, PATH, REMARK, ACCOUNT:MASK,... per share
//   dvsim accounts                 NAME, PASSWORD, COMMENT per local account
//   dvsim drives                   LETTER, FOLDER per plugged-in drive
//   dvsim useradd NAME PASSWORD [COMMENT]   a local account as a person makes one
//   dvsim shareadd NAME PATH       a share as a person makes one (NAME$: an administrative share)
//   dvsim password NAME            the account's password now
//   dvsim block LETTER PROCESS PID the next eject of the drive is refused, PROCESS (PID) holding it
// UTF-8 on stdout; errors on stderr with exit code 1.
#include "platform/windows_include.h"

#include <shellapi.h>

#include <cstdint>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/accounts_store_sim.h"
#include "drives/plugged_drives_sim_win.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"

namespace dv {
namespace {

constexpr const char* kUsage =
    "usage: dvsim plug LETTER HOSTFOLDER | unplug LETTER | shares | accounts | drives\n"
    "       dvsim useradd NAME PASSWORD [COMMENT] | shareadd NAME PATH | password NAME\n"
    "       dvsim block LETTER PROCESS PID\n"
    "The variable DOCKVANE_SIMULATION names the simulation's folder (a Windows path).\n"
    "useradd makes a local user account as a person would (user privilege, the comment, default empty).\n"
    "shareadd makes a disk share that Everyone may read; a NAME ending in $ is an administrative share\n"
    "  (C$ with a PATH such as C:\\, IPC$ with an empty or no PATH).\n"
    "password prints the account's current password.\n"
    "block makes the next eject of a drive the simulation plugged in refuse, the system log naming\n"
    "  PROCESS (process PID) as the one that kept the drive.\n";

struct UsageError {};

std::u16string SimulationFolder() {
    wchar_t value[MAX_PATH + 1] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"DOCKVANE_SIMULATION", value, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        throw Exception(u"DOCKVANE_SIMULATION is not set; it names the simulation's folder.");
    }
    std::u16string folder = FromWide(std::wstring_view(value, length));
    while (folder.size() > 3 && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
    return folder;
}

void PrintLines(const std::vector<std::u16string>& lines) {
    for (const std::u16string& line : lines) std::cout << ToUtf8(line) << '\n';
}

char16_t LetterArgument(const std::u16string& text) {
    const char16_t letter = DriveLetterOf(text);
    if (letter == 0) throw Exception(u"Not a drive letter: " + text);
    return letter;
}

// What a person gets from "net user NAME PASSWORD /add": an ordinary user account.
constexpr std::uint32_t kUfNormalAccount = 0x0200;  // UF_NORMAL_ACCOUNT
// Shares: what "net share" and the system's own administrative shares look like.
constexpr std::uint32_t kStypeIpc = 3;                   // STYPE_IPC
constexpr std::uint32_t kStypeSpecial = 0x80000000;      // STYPE_SPECIAL
constexpr std::uint32_t kShiUsesUnlimited = 0xFFFFFFFF;  // SHI_USES_UNLIMITED
constexpr std::uint32_t kShareRead = 0x1200A9;           // the "Read" share permission

std::u16string StatusText(TOsStatus status) {
    return u"error " + IntToStr(status.Code);
}

TSimAccountsStore LockedStore() {
    return TSimAccountsStore(SimulationFolder(), WithSimulationLock);
}

void AddUser(const std::u16string& name, const std::u16string& password, const std::u16string& comment) {
    TUserInfo1 info;
    info.Name = name;
    info.Password = password;
    info.Priv = kUserPrivUser;
    info.Comment = comment;
    info.Flags = kUfScript | kUfNormalAccount;
    TOsStatus status;
    LockedStore().Change([&](TSimAccounts& state) { status = state.UserAdd1(info); });
    if (status.Code == kNerrUserExists) throw Exception(u"The account " + name + u" exists already.");
    if (!status.ok()) throw Exception(u"The account " + name + u" cannot be made (" + StatusText(status) + u").");
}

void AddShare(const std::u16string& name, std::u16string path) {
    TShareInfo502 share;
    share.NetName = name;
    share.MaxUses = kShiUsesUnlimited;
    const bool administrative = name.size() > 1 && name.back() == u'$';
    const bool ipc = EqualsIgnoreCase(name, u"IPC$");
    if (ipc) {
        if (!path.empty()) throw Exception(u"The IPC$ share has no path.");
        share.Type = kStypeIpc | kStypeSpecial;
        share.Remark = u"Remote IPC";
    } else {
        if (path.starts_with(u'/')) path = WineWindowsPathOf(ToUtf8(path));
        if (path.empty() || !fs::DirectoryExists(path)) throw Exception(u"The folder of the share does not exist.");
        share.Path = path;
        if (administrative) {
            share.Type = kStypeDisktree | kStypeSpecial;
            share.Remark = u"Default share";
        } else {
            // The system's administrative shares keep the default descriptor; a share a person
            // makes lets Everyone read.
            TAcl acl;
            acl.Aces = {TAce::Allowed(EveryoneSid(), kShareRead)};
            share.SecurityDescriptor = {true, acl};
        }
    }
    TOsStatus status;
    LockedStore().Change([&](TSimAccounts& state) {
        if (share.Type == kStypeDisktree) {
            status = state.ShareAdd502(share);
        } else if (!state.Shares.try_emplace(UpperCase(name), share).second) {
            // The simulated system itself makes only disk shares; the special ones go in as they are.
            status = TOsStatus::Net(kNerrShareExists);
        }
    });
    if (status.Code == kNerrShareExists) throw Exception(u"The share " + name + u" exists already.");
    if (!status.ok()) throw Exception(u"The share " + name + u" cannot be made (" + StatusText(status) + u").");
}

std::u16string PasswordOf(const std::u16string& name) {
    const TSimAccounts state = TSimAccountsStore(SimulationFolder()).Load();
    const TSimAccounts::Account* account = state.FindAccount(name);
    if (account == nullptr || account->Use != TSidNameUse::User) throw Exception(u"No local account " + name + u".");
    return account->Info.Password;
}

int Run(const std::vector<std::u16string>& args) {
    if (args.empty()) throw UsageError();
    const std::u16string& command = args[0];
    if (command == u"plug" && args.size() == 3) {
        const std::u16string folder = SimulationFolder();
        if (!fs::DirectoryExists(folder) && !fs::MakeDirectory(folder).ok()) {
            throw Exception(u"The simulation folder " + folder + u" cannot be made.");
        }
        const char16_t letter = LetterArgument(args[1]);
        TSimDriveBay(folder).Plug(letter, args[2]);
        BroadcastVolumeChange(kDbtDeviceArrival, letter);
        return 0;
    }
    if (command == u"unplug" && args.size() == 2) {
        const char16_t letter = LetterArgument(args[1]);
        TSimDriveBay(SimulationFolder()).Unplug(letter);
        BroadcastVolumeChange(kDbtDeviceRemoveComplete, letter);
        return 0;
    }
    if (command == u"shares" && args.size() == 1) {
        PrintLines(SimShareLines(TSimAccountsStore(SimulationFolder()).Load()));
        return 0;
    }
    if (command == u"accounts" && args.size() == 1) {
        PrintLines(SimAccountLines(TSimAccountsStore(SimulationFolder()).Load()));
        return 0;
    }
    if (command == u"drives" && args.size() == 1) {
        for (const auto& [letter, folder] : LoadPluggedDrives(SimulationFolder())) {
            std::cout << ToUtf8(std::u16string(1, letter) + u"\t" + folder) << '\n';
        }
        return 0;
    }
    if (command == u"useradd" && (args.size() == 3 || args.size() == 4)) {
        AddUser(args[1], args[2], args.size() == 4 ? args[3] : std::u16string());
        return 0;
    }
    if (command == u"shareadd" && (args.size() == 3 || (args.size() == 2 && EqualsIgnoreCase(args[1], u"IPC$")))) {
        AddShare(args[1], args.size() == 3 ? args[2] : std::u16string());
        return 0;
    }
    if (command == u"block" && args.size() == 4) {
        const char16_t letter = LetterArgument(args[1]);
        const std::optional<std::int32_t> pid = TryStrToInt(args[3]);
        if (!pid || *pid < 0) throw Exception(u"Not a process id: " + args[3]);
        TSimDriveBay(SimulationFolder()).Block(letter, args[2], static_cast<std::uint32_t>(*pid));
        return 0;
    }
    if (command == u"password" && args.size() == 2) {
        std::cout << ToUtf8(PasswordOf(args[1])) << '\n';
        return 0;
    }
    throw UsageError();
}

}  // namespace
}  // namespace dv

int main() {
    // The arguments as the system has them (UTF-16), not in the console's code page.
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::u16string> args;
    for (int i = 1; argv && i < argc; ++i) args.push_back(dv::FromWide(argv[i]));
    ::LocalFree(argv);

    ::SetConsoleOutputCP(CP_UTF8);
    try {
        const int code = dv::Run(args);
        std::cout.flush();
        return code;
    } catch (const dv::UsageError&) {
        std::cerr << dv::kUsage;
    } catch (const dv::Exception& error) {
        std::cerr << "dvsim: " << dv::ToUtf8(error.Message()) << '\n';
    } catch (const std::exception& error) {
        std::cerr << "dvsim: " << error.what() << '\n';
    }
    return 1;
}
