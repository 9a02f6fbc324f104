#include "sharing/logs.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/ini_persist.h"

namespace dv {
namespace {

// --- Hooks ---

struct Hooks {
    std::mutex lock;
    std::function<LocalDateTime()> clock;
    std::function<void()> pendingMessages;
    std::thread::id pendingMessagesThread;
};

Hooks& TheHooks() {
    static Hooks hooks;
    return hooks;
}

LocalDateTime Now() {
    Hooks& hooks = TheHooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    return hooks.clock ? hooks.clock() : LocalNow();
}

void ProcessPendingMessages() {
    std::function<void()> hook;
    {
        Hooks& hooks = TheHooks();
        std::lock_guard<std::mutex> guard(hooks.lock);
        if (!hooks.pendingMessages || hooks.pendingMessagesThread != std::this_thread::get_id()) return;
        hook = hooks.pendingMessages;
    }
    hook();
}

// --- One lock per log file, for every thread of the process ---

std::shared_ptr<std::mutex> LockFor(std::u16string_view path) {
    static std::mutex mapLock;
    static std::map<std::u16string, std::shared_ptr<std::mutex>> locks;
    std::lock_guard<std::mutex> guard(mapLock);
    auto& lock = locks[UpperCase(path)];
    if (!lock) lock = std::make_shared<std::mutex>();
    return lock;
}

// --- Records ---

constexpr std::u16string_view kSeverityNames[] = {u"Information", u"Warning", u"Error"};

std::u16string_view SeverityName(TLogSeverity severity) {
    return kSeverityNames[static_cast<int>(severity)];
}

// Characters a line counts towards the bound: the line and its CR LF.
std::size_t CountedLength(std::u16string_view line) {
    return line.size() + 2;
}

void AppendTwoDigits(std::u16string& out, int value) {
    out.push_back(static_cast<char16_t>(u'0' + value / 10 % 10));
    out.push_back(static_cast<char16_t>(u'0' + value % 10));
}

bool ParseInto(std::u16string_view line, TLogRecord& record) {
    const std::size_t open = line.find(u'[');
    if (open == std::u16string_view::npos) return false;
    const std::size_t close = line.find(u']', open + 1);
    if (close == std::u16string_view::npos) return false;
    record.Time.assign(line.substr(open + 1, close - open - 1));

    std::u16string_view rest = line.substr(close + 1);
    const std::size_t severityEnd = rest.find(u'>');
    const std::u16string_view severity = rest.substr(0, severityEnd);
    record.Severity = severity == u"Error"     ? TLogSeverity::Error
                      : severity == u"Warning" ? TLogSeverity::Warning
                                               : TLogSeverity::Information;
    rest = severityEnd == std::u16string_view::npos ? std::u16string_view() : rest.substr(severityEnd + 1);

    // The title runs to the first single ">"; ">>" stands for one ">".
    record.Title.clear();
    record.Description.clear();
    std::size_t i = 0;
    for (; i < rest.size(); ++i) {
        if (rest[i] != u'>') {
            record.Title.push_back(rest[i]);
        } else if (i + 1 < rest.size() && rest[i + 1] == u'>') {
            record.Title.push_back(u'>');
            ++i;
        } else {
            record.Description.assign(rest.substr(i + 1));
            break;
        }
    }
    return true;
}

void FormatInto(const TLogRecord& record, std::u16string& line) {
    line.clear();
    line += u'[';
    line += record.Time;
    line += u']';
    line += SeverityName(record.Severity);
    line += u'>';
    for (const char16_t c : record.Title) {
        line += c;
        if (c == u'>') line += u'>';
    }
    line += u'>';
    line += record.Description;
}

// What reading a log back found.
struct ReadBack {
    // The file's bytes are exactly what rewriting its records would write.
    bool writtenForm = true;
    std::size_t totalLength = 0;   // counted length of all records
    std::size_t oldestLength = 0;  // counted length of the first record
};

// Whether a line is exactly what formatting its own record gives: it begins with "[", the time is
// closed by "]", the severity is one of the three names, and the title ends with a single ">".
bool IsWrittenRecord(std::u16string_view line) {
    if (line.empty() || line.front() != u'[') return false;
    const std::size_t close = line.find(u']');
    if (close == std::u16string_view::npos) return false;
    std::u16string_view rest = line.substr(close + 1);
    bool named = false;
    for (const std::u16string_view name : kSeverityNames) {
        if (rest.size() > name.size() && rest.substr(0, name.size()) == name && rest[name.size()] == u'>') {
            rest.remove_prefix(name.size() + 1);
            named = true;
            break;
        }
    }
    if (!named) return false;
    for (std::size_t i = rest.find(u'>'); i != std::u16string_view::npos; i = rest.find(u'>', i + 2)) {
        if (i + 1 == rest.size() || rest[i + 1] != u'>') return true;
    }
    return false;
}

// Reads the records of a log's text; `lines` (when given) receives each record in its written form.
ReadBack ReadRecords(std::u16string_view text, std::vector<std::u16string>* lines) {
    ReadBack found;
    TLogRecord record;
    std::u16string formatted;
    std::size_t start = 0;
    std::size_t count = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
        const std::u16string_view line = text.substr(start, end - start);
        if (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n') {
            start = end + 2;
        } else {
            found.writtenForm = false;  // a lone CR or LF, or no line end after the last line
            start = end + 1;
        }
        std::u16string_view written = line;
        if (!lines && IsWrittenRecord(line)) {
            // Nothing to keep: the line counts as it stands.
        } else {
            if (!ParseInto(line, record)) {
                found.writtenForm = false;
                continue;
            }
            FormatInto(record, formatted);
            if (formatted != line) found.writtenForm = false;
            if (lines) lines->push_back(formatted);
            written = formatted;
        }
        if (count++ == 0) found.oldestLength = CountedLength(written);
        found.totalLength += CountedLength(written);
    }
    return found;
}

// Drops the oldest lines while the newer ones alone reach the bound.
void TrimToBound(std::vector<std::u16string>& lines) {
    std::size_t sum = 0;
    std::size_t keepFrom = lines.size();
    while (keepFrom > 0 && sum < kDriveActivityLogBound) sum += CountedLength(lines[--keepFrom]);
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(keepFrom));
}

}  // namespace

std::u16string FormatLogLine(const TLogRecord& record) {
    std::u16string line;
    FormatInto(record, line);
    return line;
}

std::optional<TLogRecord> ParseLogLine(std::u16string_view line) {
    TLogRecord record;
    if (!ParseInto(line, record)) return std::nullopt;
    return record;
}

std::u16string LogTimeText(const LocalDateTime& time, char16_t timeSeparator) {
    std::u16string text = IntToStr(time.year);
    text += u'.';
    AppendTwoDigits(text, time.month);
    text += u'.';
    AppendTwoDigits(text, time.day);
    text += u' ';
    AppendTwoDigits(text, time.hour);
    text += timeSeparator;
    AppendTwoDigits(text, time.minute);
    text += timeSeparator;
    AppendTwoDigits(text, time.second);
    text += u' ';
    // The dots are replaced in the finished text, not only in the date: a dot that the user chose as
    // the time separator becomes a slash as well.
    std::replace(text.begin(), text.end(), u'.', u'/');
    return text;
}

bool AddLogRecord(const LogWrite& where, std::u16string_view title, std::u16string_view text) {
    const std::shared_ptr<std::mutex> fileLock = LockFor(where.path);
    std::lock_guard<std::mutex> guard(*fileLock);

    // A drive that is gone, or going, gets nothing and raises nothing: its root is tested before its
    // log is read, and a read that fails as the drive vanishes ends the call as quietly.
    const bool onDrive = !where.requiredFolder.empty();
    if (onDrive && !fs::DirectoryExists(where.requiredFolder)) return false;
    fs::ReplaceableFileRead read = fs::TryReadReplaceableFile(where.path);
    if (!read.status.ok()) {
        if (onDrive && (fs::IsDriveGoneCode(read.status.code) || !fs::DirectoryExists(where.requiredFolder))) {
            return false;
        }
        throw EFOpenError(fs::CannotOpenMessage(read.failedPath, read.status.code));
    }
    const std::optional<std::string>& bytes = read.bytes;
    const std::u16string oldText = bytes ? DecodeFileText(*bytes) : std::u16string();
    const std::u16string time = LogTimeText(Now(), TimeSeparator());

    std::vector<std::u16string> added;
    if (!bytes) added.push_back(FormatLogLine({time, TLogSeverity::Error, u" " + GeneratedFileHeader(), u" -"}));
    // Titles and texts come from drives, servers and the system: a control character in them must
    // neither end the line nor begin a record of its own.
    added.push_back(FormatLogLine({time, TLogSeverity::Error, u" " + VisibleText(title), u" " + VisibleText(text)}));

    try {
        // A file already in its written form, and short enough to keep whole, only needs the new lines
        // at its end; anything else is rewritten.
        if (bytes && where.appendWhenWritten) {
            const ReadBack found = ReadRecords(oldText, nullptr);
            std::size_t total = found.totalLength;
            for (const auto& line : added) total += CountedLength(line);
            const bool keepsAll = !where.bounded || total - found.oldestLength < kDriveActivityLogBound;
            if (found.writtenForm && keepsAll && ToAnsi(oldText) == *bytes) {
                if (!fs::AppendToFile(where.path, fs::EncodeTextLines(added)).ok()) return false;
                return true;
            }
        }
        std::vector<std::u16string> lines;
        ReadRecords(oldText, &lines);
        lines.insert(lines.end(), added.begin(), added.end());
        if (where.bounded) TrimToBound(lines);
        fs::ReplaceFileContents(where.path, fs::EncodeTextLines(lines));
        return true;
    } catch (const EFCreateError&) {
        return false;  // the line is lost; logging never fails its caller for that
    }
}

void LogDriveActivity(std::u16string_view title, std::u16string_view text, std::u16string_view drive) {
    const std::u16string root = std::u16string(drive) + u":\\";
    if (AddLogRecord({root + std::u16string(kDriveActivityLogName), root, true}, title, text)) {
        ProcessPendingMessages();
    }
}

void LogApp(std::u16string_view title, std::u16string_view text) {
    (void)AddLogRecord({GetTempDir() + std::u16string(kAppLogName), u"", false}, title, text);
    ProcessPendingMessages();
}

void LogError(std::u16string_view text) {
    LogApp(u"ERROR ", text);
}

std::u16string GetTempDir() {
    return fs::GetTempDir();
}

void SetLogClock(std::function<LocalDateTime()> clock) {
    Hooks& hooks = TheHooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    hooks.clock = std::move(clock);
}

void SetPendingMessagesHook(std::function<void()> hook) {
    Hooks& hooks = TheHooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    hooks.pendingMessages = std::move(hook);
    hooks.pendingMessagesThread = std::this_thread::get_id();
}

}  // namespace dv
