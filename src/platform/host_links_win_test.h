// Tests under Wine: host links and permissions that Wine's own calls cannot make.
#pragma once

#include <functional>
#include <string>

#include "platform/windows_include.h"

namespace dv::testing {

// Under Wine, Z: shows the host's own files, and the host's ln makes a link there: Wine 8's
// CreateSymbolicLinkW reports success and makes nothing.
class HostLinkFolder {
public:
    HostLinkFolder()
        : name_(L"dvlink-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64())) {
        ::CreateDirectoryW(Windows().c_str(), nullptr);
    }
    ~HostLinkFolder() {
        if (Run(L"Z:\\bin\\rm -rf " + Unix())) (void)Await(Windows(), false);
    }
    HostLinkFolder(const HostLinkFolder&) = delete;
    HostLinkFolder& operator=(const HostLinkFolder&) = delete;

    static bool Available() { return ::GetFileAttributesW(L"Z:\\bin\\ln") != INVALID_FILE_ATTRIBUTES; }
    std::wstring Windows() const { return L"Z:\\tmp\\" + name_; }
    std::wstring Unix() const { return L"/tmp/" + name_; }
    // Runs a host program on names inside this folder, and waits until `done` (ten seconds at most).
    bool Host(const std::wstring& command, const std::function<bool()>& done) {
        if (!Run(command)) return false;
        for (int i = 0; i < 1000; ++i) {
            if (done()) return true;
            ::Sleep(10);
        }
        return false;
    }
    // A link `link` to `target`, both named inside this folder.
    bool Link(const std::wstring& target, const std::wstring& link) {
        return Run(L"Z:\\bin\\ln -s " + Unix() + L"/" + target + L" " + Unix() + L"/" + link) &&
               Await(Windows() + L"\\" + link, true);
    }

private:
    static bool Run(std::wstring command) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process)) {
            return false;
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return true;
    }
    // Wine cannot wait for a host program: what it makes or removes is looked for instead (ten seconds
    // at most, a guard against a hang).
    static bool Await(const std::wstring& path, bool there) {
        for (int i = 0; i < 1000; ++i) {
            if ((::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) == there) return true;
            ::Sleep(10);
        }
        return false;
    }

    std::wstring name_;
};

}  // namespace dv::testing
