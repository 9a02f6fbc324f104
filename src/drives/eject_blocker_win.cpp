// The refused removals in the system log, read through wevtapi.dll. The library is looked up at run
// time, from the system folder only: the program still starts where it is missing (Windows before
// Vista, Wine builds without it), and never loads a library of that name from a writable folder.
#include "drives/eject_blocker.h"

#include <cstddef>
#include <string>
#include <vector>

#include "platform/handles_win.h"
#include "platform/text.h"
#include "platform/windows_include.h"

#include <winevt.h>

namespace dv {
namespace {

// The query asks for events of the last this-many milliseconds beyond what the caller asked for:
// the event's time and the caller's clock are read at different moments.
constexpr std::int64_t kQueryMarginMs = 2000;
constexpr DWORD kBatch = 16;
constexpr std::size_t kMostEvents = 32;
constexpr DWORD kNextTimeoutMs = 1000;
// The log is written a moment after the removal was refused.
constexpr int kQueryRounds = 4;
constexpr DWORD kRoundWaitMs = 250;
constexpr DWORD kLargestEventBytes = 128 * 1024;

using EvtQueryFn = EVT_HANDLE(WINAPI*)(EVT_HANDLE session, LPCWSTR path, LPCWSTR query, DWORD flags);
using EvtNextFn = BOOL(WINAPI*)(EVT_HANDLE resultSet, DWORD eventsSize, EVT_HANDLE* events, DWORD timeout, DWORD flags,
                                DWORD* returned);
using EvtRenderFn = BOOL(WINAPI*)(EVT_HANDLE context, EVT_HANDLE fragment, DWORD flags, DWORD bufferSize, void* buffer,
                                  DWORD* bufferUsed, DWORD* propertyCount);
using EvtCloseFn = BOOL(WINAPI*)(EVT_HANDLE object);

struct EventLogApi {
    EvtQueryFn query = nullptr;
    EvtNextFn next = nullptr;
    EvtRenderFn render = nullptr;
    EvtCloseFn close = nullptr;

    bool Complete() const { return query && next && render && close; }

    static const EventLogApi& Get() {
        static const EventLogApi instance = [] {
            EventLogApi api;
            // Kept for the run: the functions stay valid as long as the module does.
            HMODULE module = ::LoadLibraryExW(L"wevtapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
            if (module == nullptr) return api;
            const auto entry = [module](const char* name) {
                return reinterpret_cast<void*>(::GetProcAddress(module, name));
            };
            api.query = reinterpret_cast<EvtQueryFn>(entry("EvtQuery"));
            api.next = reinterpret_cast<EvtNextFn>(entry("EvtNext"));
            api.render = reinterpret_cast<EvtRenderFn>(entry("EvtRender"));
            api.close = reinterpret_cast<EvtCloseFn>(entry("EvtClose"));
            return api;
        }();
        return instance;
    }
};

struct EventHandleTraits {
    using Handle = EVT_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { EventLogApi::Get().close(handle); }
};
using UniqueEventHandle = UniqueHandle<EventHandleTraits>;

std::int64_t SystemTimeNow() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

std::optional<std::u16string> RenderXml(const EventLogApi& api, EVT_HANDLE event) {
    DWORD used = 0;
    DWORD properties = 0;
    if (api.render(nullptr, event, EvtRenderEventXml, 0, nullptr, &used, &properties)) return std::nullopt;
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || used == 0 || used > kLargestEventBytes) return std::nullopt;
    std::vector<wchar_t> buffer(used / sizeof(wchar_t) + 1, L'\0');
    if (!api.render(nullptr, event, EvtRenderEventXml, static_cast<DWORD>(buffer.size() * sizeof(wchar_t)),
                    buffer.data(), &used, &properties)) {
        return std::nullopt;
    }
    buffer.back() = L'\0';
    return FromWide(std::wstring_view(buffer.data()));
}

std::vector<std::u16string> QueryOnce(const EventLogApi& api, const std::wstring& query) {
    std::vector<std::u16string> events;
    const UniqueEventHandle results(
        api.query(nullptr, L"System", query.c_str(), EvtQueryChannelPath | EvtQueryReverseDirection));
    if (!results) return events;
    while (events.size() < kMostEvents) {
        EVT_HANDLE batch[kBatch] = {};
        DWORD returned = 0;
        if (!api.next(results.get(), kBatch, batch, kNextTimeoutMs, 0, &returned)) break;
        for (DWORD i = 0; i < returned && i < kBatch; ++i) {
            const UniqueEventHandle event(batch[i]);
            if (events.size() >= kMostEvents) continue;
            if (std::optional<std::u16string> xml = RenderXml(api, event.get())) events.push_back(std::move(*xml));
        }
        if (returned == 0) break;
    }
    return events;
}

class TWinEventLog : public IEjectBlockerSource {
public:
    std::int64_t Now() override { return SystemTimeNow(); }

    std::vector<std::u16string> RefusalEvents(std::int64_t since) override {
        const EventLogApi& api = EventLogApi::Get();
        if (!api.Complete()) return {};
        const std::int64_t ageMs = (SystemTimeNow() - since) / (kTicksPerSecond / 1000);
        const std::int64_t windowMs = (ageMs > 0 ? ageMs : 0) + kQueryMarginMs;
        const std::wstring query = L"*[System[Provider[@Name='" + ToWide(kKernelPnpProvider) + L"'] and EventID=" +
                                   std::to_wstring(kRemovalVetoedEventId) +
                                   L" and TimeCreated[timediff(@SystemTime) <= " +
                                   std::to_wstring(windowMs + kQueryRounds * kRoundWaitMs) + L"]]]";
        for (int round = 0; round < kQueryRounds; ++round) {
            if (round > 0) ::Sleep(kRoundWaitMs);
            std::vector<std::u16string> events = QueryOnce(api, query);
            if (!events.empty()) return events;
        }
        return {};
    }
};

}  // namespace

IEjectBlockerSource& SystemEjectBlockers() {
    static TWinEventLog log;
    return log;
}

}  // namespace dv
