#include "shell/simulation_win.h"

#include <string_view>
#include <utility>

#include "logging/logs.h"
#include "sharing/http_client.h"

namespace dv {

TSimulation::TSimulation(std::u16string folder, IShareApi& systemShares)
    : bay_(folder),
      volumes_(bay_),
      devices_(bay_),
      eventLog_(bay_),
      accounts_(std::move(folder), &WithSimulationLock),
      shares_(systemShares, accounts_) {
    accounts_.OnError = [](std::u16string_view message) { LogError(u"Simulation: " + std::u16string(message)); };
}

TPingToWebTh::ClientFactory SimulationPingClients() {
    HttpLimits limits;
    limits.exemptAddressForTests = u"127.0.0.1";
    return [limits] { return CreateHttpClient(limits); };
}

}  // namespace dv
