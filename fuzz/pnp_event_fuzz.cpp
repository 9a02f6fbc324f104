// The events of refused removals as the system log renders them (another process writes their
// fields): any text is read or refused without harm, a process name that comes out is fit to show,
// and an event rendered by the simulation's log reads back as it was written.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drives/eject_blocker.h"
#include "fuzz_support.h"

namespace {

class OneEvent : public dv::IEjectBlockerSource {
public:
    explicit OneEvent(std::u16string event) : event_(std::move(event)) {}
    std::int64_t Now() override { return 0; }
    std::vector<std::u16string> RefusalEvents(std::int64_t) override { return {event_}; }

private:
    std::u16string event_;
};

void CheckShowable(std::u16string_view name) {
    FUZZ_CHECK(!name.empty() && name.size() <= dv::kBlockerNameLimit);
    for (const char16_t c : name) FUZZ_CHECK(c >= 0x20 && c != 0x7F && c != u'\\' && c != u'/' && c != 0x202E);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dv;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const std::u16string& text : {fuzz::CodeUnits(bytes), FromUtf8(bytes)}) {
        if (const std::optional<TPnpEvent> event = ParsePnpEvent(text)) {
            if (event->ProcessName) {
                const std::u16string shown = SafeProcessName(*event->ProcessName);
                if (!shown.empty()) CheckShowable(shown);
                if (fuzz::IsWellFormed(*event->ProcessName)) FUZZ_CHECK(fuzz::IsWellFormed(shown));
            }
            if (event->DeviceInstance && !event->DeviceInstance->empty()) {
                OneEvent log(text);
                if (const auto blocker = FindEjectBlocker(log, {*event->DeviceInstance}, INT64_MIN)) {
                    CheckShowable(blocker->ProcessName);
                    FUZZ_CHECK(event->ProcessId == blocker->ProcessId);
                }
            }
        }
        // The simulation writes any name a command line can carry (no NUL) and reads it back.
        if (text.find(u'\0') == std::u16string::npos) {
            const std::optional<TPnpEvent> back = ParsePnpEvent(RenderRefusalEvent(text, text, 42, 0));
            FUZZ_CHECK(back && back->ProcessName == text && back->DeviceInstance == text && back->ProcessId == 42u);
        }
    }
    return 0;
}
