#include "shell/directory_watcher_win.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles_win.h"
#include "platform/text.h"

namespace dv {

// The portable side carries these system values as plain numbers.
static_assert(kFileNotifyChangeSize == FILE_NOTIFY_CHANGE_SIZE);
static_assert(kFileNotifyChangeLastWrite == FILE_NOTIFY_CHANGE_LAST_WRITE);

// One start's change handles, the directories they watch and the worker that waits on them. The
// watcher and the worker own it together, so it outlives whichever of them lets go last.
class TWinDirectoryWatcher::Run : public std::enable_shared_from_this<Run> {
public:
    Run(HWND window, UINT message) : window_(window), message_(message) {}

    void Watch(const TWatchEntry& entry) {
        UniqueChangeNotification notification(::FindFirstChangeNotificationW(
            ToWide(entry.Directory).c_str(), entry.IncludeSubtree ? TRUE : FALSE, entry.Filter));
        if (!notification) {
            const DWORD error = ::GetLastError();
            throw EOSError(u"Cannot watch \"" + entry.Directory + u"\". " + fs::SystemErrorText(error), error);
        }
        handles_.push_back(notification.get());
        notifications_.push_back(std::move(notification));
        directories_.push_back(entry.Directory);
    }

    void StartWorker() {
        auto owner = std::make_unique<std::shared_ptr<Run>>(shared_from_this());
        worker_.reset(::CreateThread(nullptr, 0, &Run::WorkerMain, owner.get(), 0, nullptr));
        if (!worker_) {
            const DWORD error = ::GetLastError();
            throw EOSError(u"Cannot start the directory watcher. " + fs::SystemErrorText(error), error);
        }
        (void)owner.release();  // the worker's now
    }

    // Ends the worker and returns once it has ended. Sent messages run meanwhile: the worker may be
    // handing a change over right now, and it waits for that as the user-interface thread waits here.
    void Finish() {
        stopping_ = true;
        if (!worker_) return;
        ::QueueUserAPC(&WakeUp, worker_.get(), 0);
        const HANDLE thread = worker_.get();
        while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
            MSG message;
            ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }

    // The directory of a change this run's worker handed over, while the run still counts.
    const std::u16string* Directory(WPARAM index) const {
        return stopping_ || index >= directories_.size() ? nullptr : &directories_[index];
    }

private:
    static void CALLBACK WakeUp(ULONG_PTR) {}

    static DWORD WINAPI WorkerMain(void* owner) {
        const std::unique_ptr<std::shared_ptr<Run>> run(static_cast<std::shared_ptr<Run>*>(owner));
        (*run)->Wait();
        return 0;
    }

    void Wait() {
        // Alertable, so that Finish can wake it with an APC: all 64 wait slots stay free for directories.
        while (!stopping_) {
            const DWORD result = ::WaitForMultipleObjectsEx(static_cast<DWORD>(handles_.size()), handles_.data(), FALSE,
                                                            kWatcherCheckIntervalMs, TRUE);
            if (stopping_) break;
            if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + handles_.size()) {
                const WPARAM index = result - WAIT_OBJECT_0;
                // Handed over and waited for: one change at a time. The run goes with it, so that a
                // change of an earlier run is never taken for one of the current run.
                ::SendMessageW(window_, message_, index, reinterpret_cast<LPARAM>(this));
                ::FindNextChangeNotification(handles_[index]);
            } else if (result == WAIT_FAILED) {
                ::SleepEx(kWatcherCheckIntervalMs, TRUE);
            }
        }
    }

    HWND window_;
    UINT message_;
    std::vector<UniqueChangeNotification> notifications_;
    std::vector<HANDLE> handles_;  // the same handles as one array for the wait
    std::vector<std::u16string> directories_;
    UniqueKernelHandle worker_;
    std::atomic<bool> stopping_{false};
};

void TWinDirectoryWatcher::Start() {
    Stop();
    if (Entries.size() > kMaxWatchedDirectories) {
        throw EOSError(u"Too many directories to watch: " + IntToStr(static_cast<std::int64_t>(Entries.size())), 0);
    }
    auto run = std::make_shared<Run>(window_, message_);
    for (const TWatchEntry& entry : Entries) run->Watch(entry);
    // A Start nested in a Stop's wait may have set a worker going meanwhile: it ends before this one
    // takes its place, so that no worker is ever left without an owner who stops it.
    while (current_) Stop();
    run->StartWorker();
    current_ = std::move(run);
}

void TWinDirectoryWatcher::Stop() {
    // Taken out before the wait: what runs inside it sees no watcher, or one it started itself.
    if (const std::shared_ptr<Run> run = std::exchange(current_, nullptr)) run->Finish();
}

void TWinDirectoryWatcher::HandOver(WPARAM index, LPARAM run) {
    if (!current_ || reinterpret_cast<LPARAM>(current_.get()) != run || !OnChange) return;
    const std::u16string* directory = current_->Directory(index);
    if (!directory) return;
    // A copy: the handler may stop the watcher and with it the run that holds the name.
    const std::u16string changed = *directory;
    OnChange(changed);
}

}  // namespace dv
