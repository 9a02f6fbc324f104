// The directory-change watcher on Windows: one change handle per watched directory and one worker that
// waits on all of them and hands each change to the user-interface thread.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/handles_win.h"
#include "platform/windows_include.h"
#include "shell/main_view.h"

namespace dv {

class TWinDirectoryWatcher : public IDirectoryWatcher {
public:
    // Changes are sent as `message` to `window`, whose thread calls HandOver with the wParam.
    TWinDirectoryWatcher(HWND window, UINT message) : window_(window), message_(message) {}
    ~TWinDirectoryWatcher() override { Stop(); }

    void Start() override;
    void Stop() override;
    bool Active() const override { return worker_.valid(); }

    // On the user-interface thread, for the message the worker sent.
    void HandOver(WPARAM index);

private:
    static DWORD WINAPI WorkerMain(void* self);
    void Wait();
    void CloseHandles();

    HWND window_;
    UINT message_;
    std::vector<UniqueChangeNotification> notifications_;
    // The same handles as one array for the wait.
    std::vector<HANDLE> handles_;
    std::vector<std::u16string> directories_;
    UniqueKernelHandle worker_;
    std::atomic<bool> stopping_{false};
};

}  // namespace dv
