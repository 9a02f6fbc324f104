#include "logging/logs.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/drive_letter.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/product.h"
#include "platform/text.h"

namespace dv {
namespace {

// --- Hooks ---

struct Hooks {
    std::mutex lock;
    std::function<LocalDateTime()> clock;
    std::function<void()> pendingMessages;
    std::thread::id pendingMessagesThread;
    std::u16string appLogFolder;
};

// The logs' process-wide state is never destroyed: a detached ping worker may still be writing a
// record while the process ends and its static objects go.
Hooks& TheHooks() {
    static Hooks& hooks = *new Hooks;
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

// --- One state per log file, for every thread of the process ---

// What the last write of this process left in a log file. While the file still carries that stamp,
// nobody else has touched it, and a record can be appended without reading the file again.
struct KnownLog {
    fs::FileStamp stamp;
    std::size_t totalLength = 0;   // counted length of all records
    std::size_t oldestLength = 0;  // counted length of the first record
};

struct LogFile {
    std::mutex lock;
    std::optional<KnownLog> known;  // guarded by `lock`
};

std::shared_ptr<LogFile> LogFileFor(std::u16string_view path) {
    static std::mutex& mapLock = *new std::mutex;
    static auto& files = *new std::map<std::u16string, std::shared_ptr<LogFile>>;
    std::lock_guard<std::mutex> guard(mapLock);
    auto& file = files[UpperCase(path)];
    if (!file) file = std::make_shared<LogFile>();
    return file;
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
    while (keepFrom > 0 && sum < kLogBound) sum += CountedLength(lines[--keepFrom]);
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

namespace {

// The records' counted lengths: all of them, and the first.
KnownLog Measured(const std::vector<std::u16string>& lines) {
    KnownLog known;
    for (const auto& line : lines) known.totalLength += CountedLength(line);
    if (!lines.empty()) known.oldestLength = CountedLength(lines.front());
    return known;
}

// Whether the records keep all their lines with `added` characters more at their end: the bound
// drops the oldest line once the newer ones alone reach it.
bool KeepsAll(const LogWrite& where, const KnownLog& known, std::size_t added) {
    return !where.bounded || known.totalLength + added - known.oldestLength < kLogBound;
}

// Remembers what this write left, so that the next one can append blindly while nobody else writes.
void Remember(LogFile& file, const LogWrite& where, KnownLog known) {
    file.known.reset();
    if (!where.appendWhenWritten) return;
    const std::optional<fs::FileStamp> stamp = fs::ReadFileStamp(where.path);
    if (!stamp) return;
    known.stamp = *stamp;
    file.known = known;
}

// The common case: the file is as this process left it, so the new line goes to its end unread.
// False when it cannot be done that way; the caller then reads the file.
bool AppendedToKnownFile(LogFile& file, const LogWrite& where, const std::u16string& line, bool& written) {
    if (!file.known || !where.appendWhenWritten) return false;
    const std::optional<fs::FileStamp> stamp = fs::ReadFileStamp(where.path);
    if (!stamp || *stamp != file.known->stamp || !KeepsAll(where, *file.known, CountedLength(line))) return false;
    KnownLog known = *file.known;
    known.totalLength += CountedLength(line);
    written = fs::AppendToFile(where.path, fs::EncodeTextLines({line})).ok();
    if (written) {
        Remember(file, where, known);
    } else {
        file.known.reset();
    }
    return true;
}

}  // namespace

bool AddLogRecord(const LogWrite& where, std::u16string_view title, std::u16string_view text) {
    const std::shared_ptr<LogFile> file = LogFileFor(where.path);
    std::lock_guard<std::mutex> guard(file->lock);

    // A drive that is gone, or going, gets nothing and raises nothing: its root is tested before its
    // log is read, and a read that fails as the drive vanishes ends the call as quietly.
    const bool onDrive = !where.requiredFolder.empty();
    if (onDrive && !fs::DirectoryExists(where.requiredFolder)) return false;

    const std::u16string time = LogTimeText(Now(), TimeSeparator());
    // Titles and texts come from drives, servers and the system: a control character in them must
    // neither end the line nor begin a record of its own.
    const std::u16string record =
        FormatLogLine({time, TLogSeverity::Error, u" " + VisibleText(title), u" " + VisibleText(text)});
    if (bool written = false; AppendedToKnownFile(*file, where, record, written)) return written;
    file->known.reset();

    fs::ReplaceableFileRead read = fs::TryReadReplaceableFile(where.path);
    if (!read.status.ok()) {
        if (onDrive && (fs::IsDriveGoneCode(read.status.Code) || !fs::DirectoryExists(where.requiredFolder))) {
            return false;
        }
        throw EFOpenError(fs::CannotOpenMessage(read.failedPath, read.status.Code));
    }
    const std::optional<std::string>& bytes = read.bytes;
    const std::u16string oldText = bytes ? DecodeFileText(*bytes) : std::u16string();

    std::vector<std::u16string> added;
    if (!bytes) added.push_back(FormatLogLine({time, TLogSeverity::Error, u" " + GeneratedFileHeader(), u" -"}));
    added.push_back(record);

    try {
        // A file already in its written form, and short enough to keep whole, only needs the new lines
        // at its end; anything else is rewritten.
        if (bytes && where.appendWhenWritten) {
            const ReadBack found = ReadRecords(oldText, nullptr);
            const KnownLog before{{}, found.totalLength, found.oldestLength};
            const KnownLog addedLength = Measured(added);
            if (found.writtenForm && KeepsAll(where, before, addedLength.totalLength) && ToAnsi(oldText) == *bytes) {
                if (!fs::AppendToFile(where.path, fs::EncodeTextLines(added)).ok()) return false;
                KnownLog after = before;
                after.totalLength += addedLength.totalLength;
                if (found.totalLength == 0) after.oldestLength = addedLength.oldestLength;
                Remember(*file, where, after);
                return true;
            }
        }
        std::vector<std::u16string> lines;
        ReadRecords(oldText, &lines);
        lines.insert(lines.end(), added.begin(), added.end());
        if (where.bounded) TrimToBound(lines);
        fs::ReplaceFileContents(where.path, fs::EncodeTextLines(lines));
        Remember(*file, where, Measured(lines));
        return true;
    } catch (const EFCreateError&) {
        return false;  // the line is lost; logging never fails its caller for that
    }
}

void LogDriveActivity(std::u16string_view title, std::u16string_view text, std::u16string_view drive) {
    const std::optional<TDriveLetter> letter = TDriveLetter::Parse(drive);
    if (!letter) return;  // no drive: no log to write
    const std::u16string root = letter->Root();
    if (AddLogRecord({root + std::u16string(kDriveActivityLogName), root, true}, title, text)) {
        ProcessPendingMessages();
    }
}

void LogApp(std::u16string_view title, std::u16string_view text) {
    if (const std::u16string path = AppLogPath(); !path.empty()) (void)AddLogRecord({path, u"", true}, title, text);
    ProcessPendingMessages();
}

void LogError(std::u16string_view text) {
    LogApp(u"ERROR ", text);
}

void SetAppLogFolder(std::u16string folder) {
    Hooks& hooks = TheHooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    hooks.appLogFolder = std::move(folder);
}

std::u16string AppLogPath() {
    Hooks& hooks = TheHooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    if (hooks.appLogFolder.empty()) return {};
    std::u16string path = hooks.appLogFolder;
    if (path.back() != u'\\' && path.back() != u'/') path += u'\\';
    return path + std::u16string(kAppLogName);
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
