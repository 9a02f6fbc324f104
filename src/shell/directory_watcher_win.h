// The directory-change watcher on Windows: one change handle per watched directory and one worker that
// waits on all of them and hands each change to the user-interface thread.
#pragma once

#include <memory>

#include "platform/windows_include.h"
#include "shell/main_view.h"

namespace dv {

class TWinDirectoryWatcher : public IDirectoryWatcher {
public:
    // Changes are sent as `message` to `window`, whose thread calls HandOver with its wParam and lParam.
    TWinDirectoryWatcher(HWND window, UINT message) : window_(window), message_(message) {}
    ~TWinDirectoryWatcher() override { Stop(); }
    TWinDirectoryWatcher(const TWinDirectoryWatcher&) = delete;
    TWinDirectoryWatcher& operator=(const TWinDirectoryWatcher&) = delete;

    // Both let sent messages through while an earlier worker ends, so either may run inside the other
    // (a device notice is a sent message, and its handler restarts the watcher).
    void Start() override;
    void Stop() override;
    bool Active() const override { return current_ != nullptr; }

    // On the user-interface thread, for the message a worker sent.
    void HandOver(WPARAM index, LPARAM run);

private:
    class Run;

    HWND window_;
    UINT message_;
    // What the latest Start set going. A Stop takes it out before it waits, and the worker owns its
    // run too: a nested Stop or Start never closes or reuses the handles an outer wait is on.
    std::shared_ptr<Run> current_;
};

}  // namespace dv
