// A stand-in for the HTTP client: answers from a script, an empty page once the script has run out,
// and records the addresses asked for. Shared by the tests of the pings and of the done addresses.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sharing/http_client.h"

namespace dv::testing {

class ScriptedClient : public IHttpClient {
public:
    explicit ScriptedClient(std::deque<HttpOutcome> answers) : answers_(std::move(answers)) {}

    HttpOutcome Get(std::u16string_view url) override {
        requested.emplace_back(url);
        if (answers_.empty()) return {HttpOutcome::Kind::Body, u"", 200, {}};
        HttpOutcome next = answers_.front();
        answers_.pop_front();
        return next;
    }

    std::vector<std::u16string> requested;

private:
    std::deque<HttpOutcome> answers_;
};

}  // namespace dv::testing
