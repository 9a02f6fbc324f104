// Away from Windows there is no system log: no refusal names a process.
#include "drives/eject_blocker.h"

namespace dv {
namespace {

class NoEventLog : public IEjectBlockerSource {
public:
    std::int64_t Now() override { return 0; }
    std::vector<std::u16string> RefusalEvents(std::int64_t) override { return {}; }
};

}  // namespace

IEjectBlockerSource& SystemEjectBlockers() {
    static NoEventLog log;
    return log;
}

}  // namespace dv
