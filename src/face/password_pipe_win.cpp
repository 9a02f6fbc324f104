#include "face/password_pipe_win.h"

#include "platform/windows_include.h"

#include <bcrypt.h>

#include <string>
#include <thread>
#include <utility>

#include "platform/text.h"

namespace dv::face {
namespace {

// The person may take a while over the consent prompt; the cli connects at once after it.
constexpr DWORD kPatienceMs = 120000;

std::wstring RandomPipeName() {
    unsigned char random[16] = {};
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return {};
    std::wstring name = L"\\\\.\\pipe\\Dockvane-password-";
    for (const unsigned char byte : random) {
        constexpr wchar_t digits[] = L"0123456789abcdef";
        name += digits[byte >> 4];
        name += digits[byte & 15];
    }
    return name;
}

// Waits for one overlapped operation on `pipe` that `started` began, or for `process` to end first
// (the operation is cancelled then); true when it completed.
bool Await(HANDLE pipe, OVERLAPPED& overlapped, HANDLE process, BOOL started) {
    if (!started) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_PIPE_CONNECTED) return true;
        if (error != ERROR_IO_PENDING) return false;
    }
    const HANDLE waits[2] = {overlapped.hEvent, process};
    const DWORD which = ::WaitForMultipleObjects(2, waits, FALSE, kPatienceMs);
    DWORD bytes = 0;
    if (which != WAIT_OBJECT_0) {
        ::CancelIoEx(pipe, &overlapped);
        (void)::GetOverlappedResult(pipe, &overlapped, &bytes, TRUE);
        return false;
    }
    return ::GetOverlappedResult(pipe, &overlapped, &bytes, FALSE) != FALSE;
}

}  // namespace

TPasswordPipe::TPasswordPipe() : name_(RandomPipeName()) {
    if (name_.empty()) return;
    pipe_.reset(::CreateNamedPipeW(name_.c_str(),
                                   PIPE_ACCESS_OUTBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 4096, 0, 0, nullptr));
    if (!pipe_) name_.clear();
}

void TPasswordPipe::GiveTo(UniqueKernelHandle process, std::u16string_view password) {
    if (!pipe_ || !process) return;
    std::thread([pipe = std::move(pipe_), process = std::move(process), secret = ToUtf8(password) + "\n"]() mutable {
        const UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.get();
        ULONG client = 0;
        if (event && Await(pipe.get(), overlapped, process.get(), ::ConnectNamedPipe(pipe.get(), &overlapped)) &&
            ::GetNamedPipeClientProcessId(pipe.get(), &client) && client == ::GetProcessId(process.get())) {
            ::ResetEvent(event.get());
            overlapped = OVERLAPPED{};
            overlapped.hEvent = event.get();
            const BOOL written =
                ::WriteFile(pipe.get(), secret.data(), static_cast<DWORD>(secret.size()), nullptr, &overlapped);
            if (Await(pipe.get(), overlapped, process.get(), written)) ::FlushFileBuffers(pipe.get());
        }
        ::SecureZeroMemory(secret.data(), secret.size());
    }).detach();
}

}  // namespace dv::face
