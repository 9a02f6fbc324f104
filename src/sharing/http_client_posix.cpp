#include "sharing/http_client.h"

namespace dv {

// Native builds carry no HTTP client: the pings' logic is tested there with stand-ins, the real
// client under Wine.
std::unique_ptr<IHttpClient> CreateHttpClient(const HttpLimits&) {
    return nullptr;
}

}  // namespace dv
