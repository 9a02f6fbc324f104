// A drive activity log as a drive may bring it, and one record added to it. Adding by appending to a
// file already in its written form must give exactly the bytes that reading the records back and
// rewriting them gives; the rewritten file holds only records in their written form, and a bounded
// log keeps no more than the newest lines that reach the bound.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "logging/logs.h"
#include "settings/ini_persist.h"

namespace dv {
namespace {

std::size_t CountedLength(std::u16string_view line) {
    return line.size() + 2;
}

std::optional<std::string> FileBytes(const std::u16string& path) {
    std::string bytes;
    if (!fs::ReadWholeFile(path, bytes).ok()) return std::nullopt;
    return bytes;
}

}  // namespace
}  // namespace dv

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dv::SetLogClock([] { return dv::LocalDateTime{2014, 7, 14, 10, 5, 33}; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dv;
    FuzzedDataProvider input(data, size);
    const std::uint8_t flags = input.ConsumeIntegral<std::uint8_t>();
    const bool bounded = flags & 1;
    const bool fileExists = !(flags & 2);
    // (Files near the bound are left to the tests: at 10 MiB a run, the fuzzer would hardly move.)
    const std::u16string title = FromUtf8(input.ConsumeRandomLengthString(200));
    const std::u16string text = FromUtf8(input.ConsumeRandomLengthString(200));
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    const std::u16string appended = fuzz::WorkFolder() + u"appended.log";
    const std::u16string rewritten = fuzz::WorkFolder() + u"rewritten.log";
    for (const auto& path : {appended, rewritten}) {
        (void)fs::RemoveFile(path);
        if (fileExists) FUZZ_CHECK(fs::WriteNewFile(path, bytes).ok());
    }
    const bool appendedWritten = AddLogRecord({appended, u"", bounded, true}, title, text);
    const bool rewrittenWritten = AddLogRecord({rewritten, u"", bounded, false}, title, text);
    FUZZ_CHECK(appendedWritten && rewrittenWritten);

    const std::optional<std::string> result = FileBytes(rewritten);
    FUZZ_CHECK(result);
    FUZZ_CHECK(FileBytes(appended) == result);

    if (title.find_first_of(u"\r\n") != std::u16string::npos || text.find_first_of(u"\r\n") != std::u16string::npos) {
        return 0;  // the new record itself spans lines
    }
    const std::vector<std::u16string> lines = SplitLines(DecodeFileText(*result));
    FUZZ_CHECK(!lines.empty());
    for (const auto& line : lines) {
        const std::optional<TLogRecord> record = ParseLogLine(line);
        FUZZ_CHECK(record && FormatLogLine(*record) == line);
    }
    if (!fileExists) FUZZ_CHECK(lines.size() == 2 && lines[0].find(GeneratedFileHeader()) != std::u16string::npos);
    if (bounded) {
        std::size_t total = 0;
        for (const auto& line : lines) total += CountedLength(line);
        FUZZ_CHECK(total - CountedLength(lines.front()) < kLogBound);
    }
    return 0;
}
