// Who keeps a drive from being ejected. The eject request itself names no process, but since
// Windows 10 the system log holds, for every refused removal, an event 225 of the provider
// Microsoft-Windows-Kernel-PnP whose data names the device instance and the process that held it
// open. Everything in such an event was written by another process: it is read as hostile input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

inline constexpr std::u16string_view kKernelPnpProvider = u"Microsoft-Windows-Kernel-PnP";
inline constexpr std::uint32_t kRemovalVetoedEventId = 225;
// A process name longer than this is cut: it only has to be recognised by the user.
inline constexpr std::size_t kBlockerNameLimit = 64;
// Times are FILETIME values: 100 ns units since 1601-01-01 UTC.
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;

// The fields of one rendered event (EvtRender with EvtRenderEventXml) that the lookup needs; each
// one absent when the event does not carry it.
struct TPnpEvent {
    std::optional<std::uint32_t> EventId;
    std::optional<std::u16string> Provider;
    std::optional<std::int64_t> SystemTime;
    std::optional<std::u16string> ProcessName;
    std::optional<std::uint32_t> ProcessId;
    std::optional<std::u16string> ProcessCommandLine;
    std::optional<std::u16string> DeviceInstance;
};

// Nothing for a text that is not well-formed XML of a bounded size and depth (an unknown entity,
// a tag left open, a closing tag that does not match, a field given twice).
std::optional<TPnpEvent> ParsePnpEvent(std::u16string_view xml);

// "2026-12-11T00:13:43.1234567Z" (any number of fraction digits, UTC only) as a FILETIME value.
std::optional<std::int64_t> ParseSystemTime(std::u16string_view text);
// The same form back, with seven fraction digits.
std::u16string FormatSystemTime(std::int64_t ticks);

// A process name from an event, fit for a message or a log line: only its file name part, without
// control or direction-changing characters and surrounding blanks, at most kBlockerNameLimit
// characters; empty when nothing is left.
std::u16string SafeProcessName(std::u16string_view raw);

// The process that refused an eject, as far as it can be shown.
struct TEjectBlocker {
    std::u16string ProcessName;  // SafeProcessName
    std::uint32_t ProcessId = 0;
};

// Where the refusals are recorded: the system log on Windows, the simulation's folder in
// simulation mode, a script in tests.
class IEjectBlockerSource {
public:
    virtual ~IEjectBlockerSource() = default;
    // The system time now (FILETIME value).
    virtual std::int64_t Now() = 0;
    // The rendered events of refused removals (event 225 of the Kernel-PnP provider) recorded since
    // `since`, newest first; empty when there are none or the log cannot be read. The events are
    // checked again by the caller, so a source may hand over more.
    virtual std::vector<std::u16string> RefusalEvents(std::int64_t since) = 0;
};

// The newest refusal since `since` of one of the devices (instance IDs, compared without regard to
// case) that names a process; nothing when there is none, so that no process is blamed for another
// device's removal.
std::optional<TEjectBlocker> FindEjectBlocker(IEjectBlockerSource& source,
                                              const std::vector<std::u16string>& deviceInstances, std::int64_t since);

// An event of a refused removal in the shape the system renders it, for stand-ins of the system log.
std::u16string RenderRefusalEvent(std::u16string_view deviceInstance, std::u16string_view processName,
                                  std::uint32_t processId, std::int64_t systemTime);

// The system's own log (Windows: wevtapi.dll when it is there); away from Windows, no events.
IEjectBlockerSource& SystemEjectBlockers();

}  // namespace dv
