#include "shell/directory_watcher_win.h"

#include <cstdint>
#include <utility>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"

namespace dv {

// The portable side carries these system values as plain numbers.
static_assert(kFileNotifyChangeSize == FILE_NOTIFY_CHANGE_SIZE);
static_assert(kFileNotifyChangeLastWrite == FILE_NOTIFY_CHANGE_LAST_WRITE);
namespace {

void CALLBACK WakeUp(ULONG_PTR) {}

}  // namespace

void TWinDirectoryWatcher::Start() {
    Stop();
    if (Entries.size() > kMaxWatchedDirectories) {
        throw EOSError(u"Too many directories to watch: " + IntToStr(static_cast<std::int64_t>(Entries.size())), 0);
    }
    for (const TWatchEntry& entry : Entries) {
        UniqueChangeNotification notification(::FindFirstChangeNotificationW(
            ToWide(entry.Directory).c_str(), entry.IncludeSubtree ? TRUE : FALSE, entry.Filter));
        if (!notification) {
            const DWORD error = ::GetLastError();
            CloseHandles();
            throw EOSError(u"Cannot watch \"" + entry.Directory + u"\". " + fs::SystemErrorText(error), error);
        }
        handles_.push_back(notification.get());
        notifications_.push_back(std::move(notification));
        directories_.push_back(entry.Directory);
    }
    stopping_ = false;
    worker_.reset(::CreateThread(nullptr, 0, &TWinDirectoryWatcher::WorkerMain, this, 0, nullptr));
    if (!worker_) {
        const DWORD error = ::GetLastError();
        CloseHandles();
        throw EOSError(u"Cannot start the directory watcher. " + fs::SystemErrorText(error), error);
    }
}

DWORD WINAPI TWinDirectoryWatcher::WorkerMain(void* self) {
    static_cast<TWinDirectoryWatcher*>(self)->Wait();
    return 0;
}

void TWinDirectoryWatcher::Wait() {
    // Alertable, so that Stop can wake it with an APC: all 64 wait slots stay free for directories.
    while (!stopping_) {
        const DWORD result = ::WaitForMultipleObjectsEx(static_cast<DWORD>(handles_.size()), handles_.data(), FALSE,
                                                        kWatcherCheckIntervalMs, TRUE);
        if (stopping_) break;
        if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + handles_.size()) {
            const WPARAM index = result - WAIT_OBJECT_0;
            // Handed over and waited for: one change at a time.
            ::SendMessageW(window_, message_, index, 0);
            ::FindNextChangeNotification(handles_[index]);
        } else if (result == WAIT_FAILED) {
            ::Sleep(kWatcherCheckIntervalMs);
        }
    }
}

void TWinDirectoryWatcher::HandOver(WPARAM index) {
    if (stopping_ || index >= directories_.size() || !OnChange) return;
    OnChange(directories_[index]);
}

void TWinDirectoryWatcher::Stop() {
    if (worker_) {
        stopping_ = true;
        ::QueueUserAPC(&WakeUp, worker_.get(), 0);
        // The worker may be handing a change over right now: let sent messages through while waiting
        // for it, or both threads would wait for each other.
        const HANDLE thread = worker_.get();
        while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
            MSG message;
            ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        worker_.reset();
    }
    CloseHandles();
}

void TWinDirectoryWatcher::CloseHandles() {
    handles_.clear();
    notifications_.clear();
    directories_.clear();
}

}  // namespace dv
