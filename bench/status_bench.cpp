// A face's status request to the engine with eight drives shared, from its payload to the reply handed
// to the pipe: as the status stands (the usual case) and after something changed, when it is built
// again from the controller. Run by hand from the bench preset (no sanitizers):
// cmake --preset bench && cmake --build --preset bench && build/bench/bench/dockvane_bench
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "remote/protocol.h"
#include "service/engine_world_test.h"

namespace {

void StatusOfEightDrives(benchmark::State& state) {
    const bool changed = state.range(0) != 0;
    std::map<char16_t, std::string> drives;
    for (char16_t letter = u'E'; letter <= u'L'; ++letter) {
        drives[letter] = "[Share]\r\nShareName=SHARE" + std::string(1, static_cast<char>(letter)) + "\r\n";
    }
    dv::testing::EngineWorld world(drives);
    const std::string payload = dv::remote::Encode({1, dv::remote::TGetStatus{}}).value();
    for (auto _ : state) {
        if (changed) world.views.Changed();
        world.requests->Handle(1, dv::testing::kStandardUser, payload);
        benchmark::DoNotOptimize(world.link.sent.back());
        world.link.sent.clear();
    }
    state.SetLabel(changed ? "built again" : "as it stands");
}
BENCHMARK(StatusOfEightDrives)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
