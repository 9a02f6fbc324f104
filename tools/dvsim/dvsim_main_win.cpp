// dvsim: the control tool of Dockvane's simulation mode. It works on the folder that the variable
// DOCKVANE_SIMULATION names, as Dockvane.exe does when started with it.
//   dvsim plug LETTER HOSTFOLDER   plug in a USB drive whose root is HOSTFOLDER
//   dvsim unplug LETTER            pull it out again
//   dvsim shares                   NAME, PATH, REMARK, ACCOUNT:MASK,... per share
//   dvsim accounts                 NAME, PASSWORD, COMMENT per local account
//   dvsim drives                   LETTER, FOLDER per plugged-in drive
// UTF-8 on stdout; errors on stderr with exit code 1.
#include "platform/windows_include.h"

#include <shellapi.h>

#include <iostream>
#include <string>
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
    "The variable DOCKVANE_SIMULATION names the simulation's folder (a Windows path).\n";

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
