// The engine as the service runs it, for native tests: the controller on the simulated system with the
// engine's views, the request handling, and a link to the faces that records what it was given.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "accounts/accounts_sim.h"
#include "drives/drives_sim.h"
#include "drives/volume_observer.h"
#include "logging/log_records_test.h"
#include "logging/logs.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "remote/access.h"
#include "remote/face_link.h"
#include "remote/protocol.h"
#include "service/engine_requests.h"
#include "service/engine_views.h"
#include "settings/app_settings.h"
#include "shell/controller.h"
#include "shell/controller_doubles_test.h"
#include "testing/scoped_env.h"
#include "testing/temp_folder.h"

namespace dv::testing {

// The pipe as the engine sees it: what was sent to whom, and what went to every subscriber. A message
// that the pipe could not encode is a fault of the engine.
class RecordingLink : public remote::IFaceLink {
public:
    struct TSent {
        remote::TConnectionId To = 0;
        remote::TMessage Message;
    };
    std::vector<TSent> sent;
    std::vector<remote::TMessage> broadcasts;
    std::set<remote::TConnectionId> subscribers;

    void Send(remote::TConnectionId to, const remote::TMessage& message) override {
        EXPECT_TRUE(remote::Encode(message)) << "an answer the pipe cannot send";
        sent.push_back({to, message});
    }
    void Subscribe(remote::TConnectionId connection) override { subscribers.insert(connection); }
    void Broadcast(const remote::TMessage& report) override {
        EXPECT_TRUE(remote::Encode(report)) << "a report the pipe cannot send";
        if (!subscribers.empty()) broadcasts.push_back(report);
    }
    bool HasSubscribers() const override { return !subscribers.empty(); }

    // The reports of one kind that reached the faces, in order.
    template <typename T>
    std::vector<T> Reports() const {
        std::vector<T> found;
        for (const auto& report : broadcasts) {
            if (const T* body = std::get_if<T>(&report.Body)) found.push_back(*body);
        }
        return found;
    }
};

// A system whose machine-wide start entry for the faces can be set, or refused.
class FaceStartSystem : public SimSystem {
public:
    bool acceptFaceStart = true;
    std::optional<bool> faceStart;
    bool SetFaceStartsAtSignIn(bool enabled) override {
        if (!acceptFaceStart) return false;
        faceStart = enabled;
        return true;
    }
};

// Who asks: the facts of the pipe client's token.
inline constexpr remote::TCaller kStandardUser{true, false, false, false};
inline constexpr remote::TCaller kAdministrator{true, true, false, false};
inline constexpr remote::TCaller kSystem{false, false, true, false};
inline constexpr remote::TCaller kRemoteAdministrator{true, true, false, true};

// One engine with the drives a test plugged in before it started; `configs` holds each drive's
// velmora.conf ("" for a stick without one).
class EngineWorld {
public:
    explicit EngineWorld(const std::map<char16_t, std::string>& configs, bool start = true) {
        views.OnQuit = [this] { quit = true; };
        clock.pump = &pump;
        system.pump = &pump;
        watcher.pump = &pump;
        SetPendingMessagesHook([this] { pump.Pump(); });
        drives.OnEjected = [this](char16_t letter) { pump.Post([this, letter] { Guard([&] { Removal(letter); }); }); };
        for (const auto& [letter, config] : configs) Plug(letter, config);
        if (start) Start();
    }
    ~EngineWorld() {
        watcher.pump = nullptr;
        requests.reset();
        main.reset();
        SetPendingMessagesHook(nullptr);
        for (const auto& [letter, root] : roots) fs::MapDrive(letter, u"");
    }
    EngineWorld(const EngineWorld&) = delete;
    EngineWorld& operator=(const EngineWorld&) = delete;

    void Start() {
        main = std::make_unique<TfmMain>(Services());
        requests = std::make_unique<TEngineRequests>(*main, views, link);
    }

    TempFolder& Plug(char16_t letter, const std::string& config, const std::u16string& label = u"DISK") {
        auto& root = roots[letter];
        if (!root) root = std::make_unique<TempFolder>();
        if (!config.empty()) WriteBytes(root->path() / "velmora.conf", config);
        drives.Plug(letter, root->Path(), label, 16'000'000'000);
        sim.AddFolder(std::u16string(1, letter) + u":\\", TAcl{});
        return *root;
    }
    // A drive plugged in while the engine runs, as the volume observer reports it.
    void Arrival(char16_t letter) {
        main->VolumeAutoPlay(letter);
        main->VolumeArrival(letter);
    }
    void Removal(char16_t letter) { main->VolumeRemoval(letter); }
    void Guard(const std::function<void()>& handler) { main->Guarded(handler); }

    // Sends one request and answers the reply to it.
    remote::TMessage Ask(const remote::TBody& request, const remote::TCaller& caller = kAdministrator,
                         remote::TConnectionId connection = 1) {
        const std::uint32_t id = ++lastId;
        const std::optional<std::string> payload = remote::Encode({id, request});
        EXPECT_TRUE(payload);
        return AskRaw(payload.value_or(""), caller, connection, id);
    }
    // Sends a payload as it came; answers the last message the connection got with `id`.
    remote::TMessage AskRaw(const std::string& payload, const remote::TCaller& caller = kAdministrator,
                            remote::TConnectionId connection = 1, std::optional<std::uint32_t> id = std::nullopt) {
        const std::size_t before = link.sent.size();
        requests->Handle(connection, caller, payload);
        std::optional<remote::TMessage> reply;
        for (std::size_t i = before; i < link.sent.size(); ++i) {
            const auto& sent = link.sent[i];
            if (sent.To == connection && remote::DirectionOf(sent.Message.Kind()) == remote::TDirection::Reply &&
                (!id || sent.Message.Id == *id)) {
                EXPECT_FALSE(reply) << "two answers to one request";
                reply = sent.Message;
            }
        }
        EXPECT_TRUE(reply) << "no answer";
        return reply.value_or(remote::TMessage{});
    }

    TApplicationSettings StoredSettings() {
        TApplicationSettings settings(appData.Path() + u"\\dockvane\\Settings.ini");
        settings.Load();
        return settings;
    }
    std::vector<std::u16string> AppLog() {
        std::vector<std::u16string> records;
        if (const auto lines = fs::ReadTextLines(temp.File(u"Velmora.log"))) {
            for (std::size_t i = 1; i < lines->size(); ++i) {
                if (const auto record = ParseLogLine((*lines)[i])) {
                    records.push_back(record->Title + u"|" + record->Description);
                }
            }
        }
        return records;
    }

    TempFolder temp;
    ScopedEnv tmpdir{"TMPDIR", ToUtf8(temp.Path())};
    ScopedAppLogFolder appLog{temp.Path()};
    TempFolder appData;
    std::map<char16_t, std::unique_ptr<TempFolder>> roots;
    TSimAccounts sim;
    TSimDrives drives;
    SimPump pump;
    RecordingLink link;
    TEngineViews views{link};
    ManualClock clock;
    SimWatcher watcher;
    ScriptedEventLog eventLog;
    FaceStartSystem system;
    SimServices services;
    RecordingWeb web;
    std::vector<std::u16string> errors;
    bool quit = false;
    std::uint32_t lastId = 0;
    std::unique_ptr<TfmMain> main;
    std::unique_ptr<TEngineRequests> requests;

private:
    TMainServices Services() {
        return TMainServices{
            sim,
            sim,
            drives,
            drives,
            eventLog,
            system,
            services,
            web,
            views,
            views,
            views,
            views,
            clock,
            watcher,
            [] { return std::make_unique<TVolumeObserver>(); },
            [this] {
                // The machine folder, as the program prepares it before the start-up.
                (void)fs::MakeDirectory(appData.File(u"dockvane"));
                return GetSettingsFileName(appData.File(u"dockvane"), {});
            },
            [] { return std::unique_ptr<IHttpClient>(); },  // the pings call nobody here
            [](std::function<void()> worker) { worker(); },
            [this](std::exception_ptr error) {
                try {
                    std::rethrow_exception(error);
                } catch (const Exception& e) {
                    errors.push_back(e.Message());
                } catch (const std::exception& e) {
                    errors.push_back(FromUtf8(e.what()));
                }
            },
            u"C:\\Windows",
        };
    }
};

}  // namespace dv::testing
