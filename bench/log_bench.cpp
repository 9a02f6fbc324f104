// One drive activity log call on a log of about 10 MB that is already in written form: appended
// versus rewritten as a whole. Run by hand from the bench preset (no sanitizers):
// cmake --preset bench && cmake --build --preset bench && build/bench/bench/dockvane_bench
#include <benchmark/benchmark.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/text.h"
#include "sharing/logs.h"
#include "testing/temp_folder.h"

namespace {

void LogOn10MegabyteFile(benchmark::State& state) {
    const bool append = state.range(0) != 0;
    dv::testing::TempFolder folder;
    const std::u16string log = folder.File(u"velmora-activity.log");

    std::vector<std::u16string> lines;
    std::size_t size = 0;
    for (int i = 0; size < 10'000'000; ++i) {
        lines.push_back(u"[2026/12/10 04:05:33 ]Error> 200, OK > http://backup.local/ping?disk=" + dv::IntToStr(i) +
                        u" answered: done");
        size += lines.back().size() + 2;
    }
    dv::fs::ReplaceFileContents(log, dv::fs::EncodeTextLines(lines));

    std::uintmax_t written = 0;
    for (auto _ : state) {
        const std::uintmax_t before = std::filesystem::file_size(folder.path() / "velmora-activity.log");
        dv::AddLogRecord({log, folder.Path(), true, append}, u"OK, Started sharing ", u"PC1 BACKUP");
        const std::uintmax_t after = std::filesystem::file_size(folder.path() / "velmora-activity.log");
        written += append ? after - before : after;
    }
    state.counters["bytes_written_per_call"] =
        benchmark::Counter(static_cast<double>(written), benchmark::Counter::kAvgIterations);
    state.SetLabel(append ? "append" : "rewrite");
}
BENCHMARK(LogOn10MegabyteFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
