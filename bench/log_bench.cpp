// One log call on a log of about 10 MB that is already in written form, as the drive activity log
// (bounded, on a drive) and as the application log: appended versus rewritten as a whole. Run by hand
// from the bench preset (no sanitizers):
// cmake --preset bench && cmake --build --preset bench && build/bench/bench/dockvane_bench
#include <benchmark/benchmark.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "logging/logs.h"
#include "platform/files.h"
#include "platform/text.h"
#include "testing/temp_folder.h"

namespace {

void LogOn10MegabyteFile(benchmark::State& state) {
    const bool append = state.range(0) != 0;
    const bool driveLog = state.range(1) != 0;
    dv::testing::TempFolder folder;
    const std::u16string name = driveLog ? u"velmora-activity.log" : u"Velmora.log";
    const std::u16string log = folder.File(name);
    const std::filesystem::path hostLog = folder.path() / dv::ToUtf8(name);

    std::vector<std::u16string> lines;
    std::size_t size = 0;
    for (int i = 0; size < 10'000'000; ++i) {
        lines.push_back(u"[2026/12/10 04:05:33 ]Error> 200, OK > http://backup.local/ping?disk=" + dv::IntToStr(i) +
                        u" answered: done");
        size += lines.back().size() + 2;
    }
    dv::fs::ReplaceFileContents(log, dv::fs::EncodeTextLines(lines));

    const dv::LogWrite where{log, driveLog ? folder.Path() : u"", driveLog, append};
    std::uintmax_t written = 0;
    for (auto _ : state) {
        const std::uintmax_t before = std::filesystem::file_size(hostLog);
        dv::AddLogRecord(where, u"OK, Started sharing ", u"PC1 BACKUP");
        const std::uintmax_t after = std::filesystem::file_size(hostLog);
        written += append ? after - before : after;
    }
    state.counters["bytes_written_per_call"] =
        benchmark::Counter(static_cast<double>(written), benchmark::Counter::kAvgIterations);
    state.SetLabel(std::string(driveLog ? "drive activity log, " : "application log, ") +
                   (append ? "append" : "rewrite"));
}
// Arguments: append (1) or rewrite (0); the drive activity log (1) or the application log (0).
BENCHMARK(LogOn10MegabyteFile)->ArgsProduct({{0}, {1, 0}})->Unit(benchmark::kMicrosecond)->MinTime(3.0);
// Appends stay below the drive activity log's bound (10 MiB of characters, about 485 KB above the
// file's size): at the bound every further line drops the oldest, and that is a rewrite again.
BENCHMARK(LogOn10MegabyteFile)->ArgsProduct({{1}, {1, 0}})->Unit(benchmark::kMicrosecond)->Iterations(5000);

}  // namespace

BENCHMARK_MAIN();
