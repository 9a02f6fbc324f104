#include "shell/entry_parts_win.h"

#include <memory>
#include <string_view>
#include <utility>

#include "platform/text.h"
#include "sharing/http_client.h"

namespace dv {

void TWorkers::Start(std::function<void()> work) {
    auto* task = new std::function<void()>(std::move(work));
    HANDLE thread = ::CreateThread(nullptr, 0, &TWorkers::Run, task, 0, nullptr);
    if (!thread) {
        delete task;
        return;
    }
    latest_.reset(thread);
}

DWORD WINAPI TWorkers::Run(void* argument) {
    std::unique_ptr<std::function<void()>> task(static_cast<std::function<void()>*>(argument));
    try {
        (*task)();
    } catch (...) {
        // A worker reports nothing; the service stays as it is.
    }
    return 0;
}

std::u16string WindowsFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH);
    std::u16string text = FromWide(std::wstring_view(folder, length));
    if (!text.empty() && text.back() == u'\\') text.pop_back();
    return text;
}

TPingToWebTh::ClientFactory PingClients() {
    return [] { return CreateHttpClient(HttpLimits{}); };
}

}  // namespace dv
