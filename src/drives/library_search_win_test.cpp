// A library placed in the current folder, where anyone may be able to write, is not loaded by name
// once the search is restricted as every elevated program of ours restricts it.
#include "platform/windows_include.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "drives/test_process_win.h"
#include "platform/handles_win.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

// The helper's exit code, run with `folder` as its current folder; -1 when it did not run.
long RunHelperIn(const std::wstring& folder, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + testing::TestHelperPath() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                          &process)) {
        return -1;
    }
    const UniqueKernelHandle processHandle(process.hProcess);
    const UniqueKernelHandle threadHandle(process.hThread);
    if (::WaitForSingleObject(processHandle.get(), 60000) != WAIT_OBJECT_0) {
        ::TerminateProcess(processHandle.get(), 1);
        return -1;
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(processHandle.get(), &exitCode);
    return static_cast<long>(exitCode);
}

TEST(WinLibrarySearch, APlantedLibraryIsNotLoadedOnceTheSearchIsRestricted) {
    testing::TempFolder folder;
    const std::filesystem::path library =
        std::filesystem::path(testing::TestHelperPath()).parent_path() / "dockvane_test_library.dll";
    std::filesystem::copy_file(library, folder.path() / "dvplanted.dll");

    // Without the restriction the current folder is searched: the plant would work.
    EXPECT_EQ(RunHelperIn(folder.path().wstring(), L"load dvplanted.dll"), 0);
    EXPECT_EQ(RunHelperIn(folder.path().wstring(), L"load dvplanted.dll restricted"), 2);
    // The system's own libraries still load by name.
    EXPECT_EQ(RunHelperIn(folder.path().wstring(), L"load version.dll restricted"), 0);
}

}  // namespace
}  // namespace dv
