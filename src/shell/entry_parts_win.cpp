#include "shell/entry_parts_win.h"

#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "logging/logs.h"
#include "platform/errors.h"
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

std::u16string LogUncaughtError(std::exception_ptr error) {
    std::u16string kind = u"Exception";
    std::u16string message;
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        kind = e.KindName();
        message = e.Message();
    } catch (const std::exception& e) {
        message = FromUtf8(e.what());
    } catch (...) {
        message = u"Unknown error";
    }
    try {
        LogError(kind + u": " + message);
    } catch (...) {
        // The log itself failed: what the caller does with the message is all that is left.
    }
    return message;
}

}  // namespace dv
