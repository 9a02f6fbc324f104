// The drive activity log (in a drive's root) and the application log (in the machine's own folder).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/locale.h"

namespace dv {

inline constexpr std::u16string_view kDriveActivityLogName = u"velmora-activity.log";
inline constexpr std::u16string_view kAppLogName = u"Velmora.log";
// Both logs keep their newest lines up to this many characters.
inline constexpr std::size_t kLogBound = 10 * 1024 * 1024;

void LogDriveActivity(std::u16string_view title, std::u16string_view text, std::u16string_view drive);
void LogApp(std::u16string_view title, std::u16string_view text);
void LogError(std::u16string_view text);

// The folder that holds the application log. Until a folder is set (and after an empty one), the
// application log's lines are dropped: this process runs elevated, and the only folder it writes its
// log into is one that was checked to be beyond the reach of standard users.
void SetAppLogFolder(std::u16string folder);
// "<folder>\Velmora.log", or empty while no folder is set.
std::u16string AppLogPath();

enum class TLogSeverity { Information, Warning, Error };

struct TLogRecord {
    std::u16string Time;
    TLogSeverity Severity = TLogSeverity::Error;
    std::u16string Title;
    std::u16string Description;

    bool operator==(const TLogRecord&) const = default;
};

// One record as its line (without the line end), and back; nothing for a line that holds no record.
std::u16string FormatLogLine(const TLogRecord& record);
std::optional<TLogRecord> ParseLogLine(std::u16string_view line);

// "yyyy/mm/dd hh:nn:ss " with the user's time separator, every "." of the text then turned into "/".
std::u16string LogTimeText(const LocalDateTime& time, char16_t timeSeparator);

// How one call adds its record to a log file.
struct LogWrite {
    std::u16string path;
    // Nothing is written, and nothing raised, when this folder does not exist or reads fail as its
    // drive goes away (empty: no test).
    std::u16string requiredFolder;
    // Keep only the newest lines up to kLogBound characters.
    bool bounded = false;
    // A file already in its written form gets the new lines appended instead of being rewritten
    // (the result is the same; off only to measure the difference).
    bool appendWhenWritten = true;
};
// Adds the record (" " + title, " " + text), preceded by the header record when the file is new.
// Control characters in the title and text are written as visible escapes (VisibleText): a record
// is always one line.
// Returns whether the file was written.
bool AddLogRecord(const LogWrite& where, std::u16string_view title, std::u16string_view text);

// Where log calls get the time and how they let the user-interface thread process its pending
// messages. The message hook runs only on the thread that installed it.
void SetLogClock(std::function<LocalDateTime()> clock);
void SetPendingMessagesHook(std::function<void()> hook);

}  // namespace dv
