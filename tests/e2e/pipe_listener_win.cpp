// e2e_pipe_listener: a second subscriber to the engine, as a face in another session is. Wine runs
// every process in one session, where the face's rule allows one face; this program holds the pipe
// the way a face does, so that two subscribers can be watched at once.
//   e2e_pipe_listener SECONDS   connects, subscribes, asks for the status, then prints every report
//                               for SECONDS; each message one line of its wire JSON, flushed
// Exit code 0 when it heard the engine to the end, 2 when it could not connect, 3 when the engine
// went away before the time was up. Errors on stderr.
#include "platform/windows_include.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "remote/pipe_client_win.h"
#include "remote/pipe_server_win.h"
#include "remote/protocol.h"

namespace {

using dv::remote::TMessage;

std::mutex printing;

void Print(const TMessage& message) {
    const std::optional<std::string> line = dv::remote::Encode(message);
    const std::lock_guard lock(printing);
    std::cout << line.value_or("{\"unencodable\":true}") << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: e2e_pipe_listener SECONDS\n";
        return 1;
    }
    const auto seconds = std::chrono::seconds(std::strtol(argv[1], nullptr, 10));
    auto connected = dv::remote::TPipeClient::Connect(dv::remote::kPipeName, std::chrono::seconds(10));
    if (!connected.Client) {
        std::cerr << "e2e_pipe_listener: no engine (failure " << static_cast<int>(connected.Failure) << ", error "
                  << connected.Error << ")\n";
        return 2;
    }
    dv::remote::TPipeClient& client = *connected.Client;
    for (const dv::remote::TBody& request :
         {dv::remote::TBody{dv::remote::TSubscribe{}}, dv::remote::TBody{dv::remote::TGetStatus{}}}) {
        const dv::remote::TCallResult result = client.Call(TMessage{0, request}, std::chrono::seconds(10));
        if (result.Outcome != dv::remote::TCallOutcome::Replied) {
            std::cerr << "e2e_pipe_listener: no reply (outcome " << static_cast<int>(result.Outcome) << ")\n";
            return 2;
        }
        Print(result.Reply);
    }
    std::atomic<bool> ended{false};
    client.StartReading(Print, [&ended] { ended = true; });
    const auto until = std::chrono::steady_clock::now() + seconds;
    while (!ended && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return ended ? 3 : 0;
}
