// DockvaneCleanup.exe: what the installer package cannot do itself. The package runs it elevated:
//
//   DockvaneCleanup.exe --install [--report PATH]
//   DockvaneCleanup.exe --uninstall [--remove-accounts 1] [--remove-settings 1] [--report PATH]
//                       [--product-code {GUID} --upgrade-code {GUID}]
//
// --install, in every install once the files are in place (an upgrade included): the per-person start
// at logon of the versions before the service, the scheduled task "Dockvane" and the Run value
// "Dockvane" of every loaded user profile, each only while it starts a Dockvane.exe. That program is
// now the face, which the machine's own Run value starts for everyone: the task would start it
// elevated, the person's value a second time.
//
// --uninstall, before the package deletes the program's files (never during an upgrade): with the two
// codes, nothing is removed while another package of the same upgrade code is installed: that is a
// newer Dockvane replacing this one (Windows Installer says so in UPGRADINGPRODUCTCODE, which the
// package tests too; Wine's installer does not set it).
//
// Always: the scheduled task and the Run values, as --install. With --remove-accounts 1: the shares of
// the plugged-in drives whose configuration names them (while they point at that drive), then
// Dockvane's own accounts. With --remove-settings 1: the settings file of %ProgramData%\Dockvane, while
// that folder is Dockvane's own (the application log beside it stays; the files earlier versions kept
// in the users' own folders are theirs and stay too). Any other value of the two options (the empty
// value of an unset installer property among them) means no. Each line of what happened goes to stdout
// and, with --report, is appended to that file (UTF-8). Exit code 0, or 1 when something could not be
// removed or the command line is not understood.
#include "platform/dll_search_win.h"
#include "platform/windows_include.h"

#include <msi.h>
#include <shellapi.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "accounts/accounts_win.h"
#include "platform/files.h"
#include "platform/handles_win.h"
#include "platform/text.h"
#include "settings/machine_folder.h"
#include "setup/removal.h"

namespace dv {
namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kAutostartName[] = L"Dockvane";

struct TOptions {
    bool Install = false;  // --install; otherwise --uninstall
    bool RemoveAccounts = false;
    bool RemoveSettings = false;
    std::u16string ReportFile;
    std::u16string ProductCode;
    std::u16string UpgradeCode;
};

std::optional<TOptions> ParseCommandLine() {
    int count = 0;
    LPWSTR* raw = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!raw) return std::nullopt;
    std::vector<std::u16string> args;
    for (int i = 1; i < count; ++i) args.push_back(FromWide(raw[i]));
    ::LocalFree(raw);
    if (args.empty() || (args[0] != u"--uninstall" && args[0] != u"--install")) return std::nullopt;
    TOptions options;
    options.Install = args[0] == u"--install";
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return std::nullopt;
        const std::u16string& value = args[i + 1];
        if (args[i] == u"--report") {
            options.ReportFile = value;
        } else if (options.Install) {
            return std::nullopt;  // an install removes nothing else
        } else if (args[i] == u"--remove-accounts") {
            options.RemoveAccounts = value == u"1";
        } else if (args[i] == u"--remove-settings") {
            options.RemoveSettings = value == u"1";
        } else if (args[i] == u"--product-code") {
            options.ProductCode = value;
        } else if (args[i] == u"--upgrade-code") {
            options.UpgradeCode = value;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

class TReport {
public:
    explicit TReport(const std::u16string& file) {
        if (!file.empty()) {
            file_.reset(::CreateFileW(ToWide(file).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        }
    }
    void Line(std::u16string_view text) {
        const std::string line = ToUtf8(text) + "\r\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
        if (!file_) return;
        DWORD written = 0;
        (void)::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }

private:
    UniqueFileHandle file_;
};

// The value "Dockvane" under the Run key below `root` (a profile's hive), deleted when it starts a
// Dockvane.exe; the value of that name of any other program stays.
bool RemoveRunValue(HKEY root, std::u16string_view where, TReport& report) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(root, kRunKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &raw) != ERROR_SUCCESS) return true;
    UniqueRegistryKey key(raw);
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key.get(), kAutostartName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return true;
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), kAutostartName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) !=
        ERROR_SUCCESS) {
        return true;
    }
    data.resize(bytes / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0') data.pop_back();
    const std::u16string value = FromWide(data);
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || !IsOwnRunValue(value)) {
        report.Line(u"Run value kept: " + std::u16string(where) + u" (" + VisibleText(value) + u")");
        return true;
    }
    if (const LSTATUS status = ::RegDeleteValueW(key.get(), kAutostartName); status != ERROR_SUCCESS) {
        report.Line(u"Run value kept: " + std::u16string(where) + u" (error " + FromUtf8(std::to_string(status)) +
                    u")");
        return false;
    }
    report.Line(u"Run value removed: " + std::u16string(where));
    return true;
}

// Every profile loaded now (the installer runs as the system account, whose own HKCU is not the
// person's), and the current user's.
bool RemoveRunValues(TReport& report) {
    bool ok = RemoveRunValue(HKEY_CURRENT_USER, u"HKCU", report);
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(HKEY_USERS, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        const std::wstring sid(name, length);
        if (sid.size() > 8 && sid.ends_with(L"_Classes")) continue;
        HKEY raw = nullptr;
        if (::RegOpenKeyExW(HKEY_USERS, name, 0, KEY_READ, &raw) != ERROR_SUCCESS) continue;
        UniqueRegistryKey hive(raw);
        ok = RemoveRunValue(hive.get(), u"HKU\\" + FromWide(sid), report) && ok;
    }
    return ok;
}

// Runs a program of the system folder without a window; its exit code and what it wrote to stdout,
// nothing when it could not be run or did not end within a minute.
std::optional<std::pair<DWORD, std::string>> RunSystemProgram(const std::wstring& program,
                                                              const std::wstring& arguments) {
    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::nullopt;
    const std::wstring path = std::wstring(system, length) + L"\\" + program;
    std::wstring command = L"\"" + path + L"\" " + arguments;

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readRaw = nullptr;
    HANDLE writeRaw = nullptr;
    if (!::CreatePipe(&readRaw, &writeRaw, &inherit, 0)) return std::nullopt;
    UniqueKernelHandle read(readRaw);
    UniqueKernelHandle write(writeRaw);
    ::SetHandleInformation(read.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdOutput = write.get();
    startup.hStdError = write.get();
    startup.hStdInput = nullptr;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &process)) {
        return std::nullopt;
    }
    UniqueKernelHandle processHandle(process.hProcess);
    UniqueKernelHandle threadHandle(process.hThread);
    write.reset();  // the pipe ends once the program's copy is closed

    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (output.size() < 1 << 20 && ::ReadFile(read.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        output.append(buffer, got);
    }
    if (::WaitForSingleObject(processHandle.get(), 60000) != WAIT_OBJECT_0) return std::nullopt;
    DWORD exitCode = 0;
    ::GetExitCodeProcess(processHandle.get(), &exitCode);
    return std::make_pair(exitCode, std::move(output));
}

// The scheduled task "Dockvane", deleted when it starts a Dockvane.exe.
bool RemoveScheduledTask(TReport& report) {
    const auto query = RunSystemProgram(L"schtasks.exe", L"/query /tn Dockvane /xml ONE");
    if (!query || query->first != 0) return true;  // no such task
    const std::u16string command = TaskCommandFromXml(query->second);
    if (command.empty()) return true;  // nothing that starts a program: no such task
    if (!IsOwnRunValue(command)) {
        report.Line(u"Scheduled task kept: Dockvane (" + VisibleText(command) + u")");
        return true;
    }
    const auto removed = RunSystemProgram(L"schtasks.exe", L"/delete /tn Dockvane /f");
    if (!removed || removed->first != 0) {
        report.Line(u"Scheduled task kept: Dockvane (schtasks /delete failed)");
        return false;
    }
    report.Line(u"Scheduled task removed: Dockvane");
    return true;
}

// The local disks plugged in now: Dockvane shares USB drives, which report themselves as removable or as
// fixed disks; network, optical and RAM drives are none of them.
std::vector<char16_t> PresentDriveLetters() {
    std::vector<char16_t> letters;
    const DWORD mask = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i))) continue;
        const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', L'\0'};
        const UINT type = ::GetDriveTypeW(root);
        if (type == DRIVE_REMOVABLE || type == DRIVE_FIXED) letters.push_back(static_cast<char16_t>(u'A' + i));
    }
    return letters;
}

// The product code of another installed package of the same upgrade code; nothing when there is none.
std::optional<std::u16string> ReplacingProduct(const TOptions& options) {
    if (options.ProductCode.empty() || options.UpgradeCode.empty()) return std::nullopt;
    const std::wstring upgradeCode = ToWide(options.UpgradeCode);
    for (DWORD index = 0;; ++index) {
        wchar_t product[39] = {};
        if (::MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, index, product) != ERROR_SUCCESS) break;
        const std::u16string code = FromWide(product);
        if (!EqualsIgnoreCase(code, options.ProductCode)) return code;
    }
    return std::nullopt;
}

int Run() {
    const std::optional<TOptions> options = ParseCommandLine();
    if (!options) {
        std::fputs(
            "usage: DockvaneCleanup --install [--report PATH]\n"
            "       DockvaneCleanup --uninstall [--remove-accounts 1] [--remove-settings 1] [--report PATH]\n",
            stderr);
        return 1;
    }
    // A drive without a medium answers with an error, never with a box that waits for someone: the
    // installer runs this unattended.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    TReport report(options->ReportFile);
    if (options->Install) {
        const bool taskGone = RemoveScheduledTask(report);
        return RemoveRunValues(report) && taskGone ? 0 : 1;
    }
    if (const std::optional<std::u16string> newer = ReplacingProduct(*options)) {
        report.Line(u"Nothing removed: " + *newer + u" replaces " + options->ProductCode);
        return 0;
    }
    bool ok = RemoveScheduledTask(report);
    ok = RemoveRunValues(report) && ok;

    const std::unique_ptr<IShareApi> shares = CreateWinShareApi();
    const std::unique_ptr<IUserApi> users = CreateWinUserApi();
    TRemoval removal(*users, *shares, [&report](std::u16string_view line) { report.Line(line); });
    if (options->RemoveAccounts) {
        // The shares first: while they exist, the accounts they are open to are in use.
        (void)removal.RemoveDriveShares(FindDriveShares(PresentDriveLetters()));
        (void)removal.RemoveOwnAccounts();
    }
    if (options->RemoveSettings) {
        (void)removal.RemoveMachineSettings(fs::GetCommonAppDataFolder() + u"\\" + std::u16string(kMachineFolderName));
    }
    return ok && !removal.Failed() ? 0 : 1;
}

}  // namespace
}  // namespace dv

int main() {
    (void)dv::RestrictLibrarySearchToSystem32();
    return dv::Run();
}
