// Commands of the drive sharing core.
#include "commands.h"
#include "platform/errors.h"
#include "sharing/http_client.h"
#include "sharing/ping_to_web.h"

#include <memory>
#include <vector>

namespace dv::tool {
namespace {

// One notification ping, as a shared drive's worker sends it; prints the result text, or nothing for
// a refused address (the application log says why).
int Ping(const Args& args, std::ostream& out) {
    if (args.size() != 1) throw UsageError();
    const std::unique_ptr<IHttpClient> client = CreateHttpClient();
    if (!client) throw Exception(u"this build has no HTTP client; use the Windows build of dvtool");
    PrintLine(out, DoPingToSrvUrl(*client, args[0]).value_or(u"(refused: Velmora.log says why)"));
    return 0;
}

}  // namespace

void AddSharingCommands(std::vector<Command>& commands) {
    commands.push_back({"ping", "URL", Ping});
}

}  // namespace dv::tool
