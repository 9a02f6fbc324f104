#include "shell/program_entry.h"

#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "platform/text.h"

namespace dv {
namespace {

// A scripted system that records what the checks did, in order.
class ScriptedEntryHost : public IEntryHost {
public:
    bool mutexExisted = false;
    std::optional<std::uint32_t> forceGuest = 0;
    bool writeSucceeds = true;
    bool answerYes = false;
    std::u16string executable = u"C:\\Program Files\\Dockvane\\Dockvane.exe";
    std::uint32_t driveType = 3;
    std::vector<std::u16string> events;

    bool CreateInstanceMutex() override {
        events.push_back(u"mutex");
        return !mutexExisted;
    }
    std::optional<std::uint32_t> ReadForceGuest() override {
        events.push_back(u"read forceguest");
        return forceGuest;
    }
    bool WriteForceGuest(std::uint32_t value) override {
        events.push_back(u"write forceguest " + IntToStr(value));
        if (writeSucceeds) forceGuest = value;
        return writeSucceeds;
    }
    std::u16string ExecutablePath() override { return executable; }
    std::uint32_t DriveType(std::u16string_view drivePart) override {
        events.push_back(u"drive type " + std::u16string(drivePart));
        return driveType;
    }
    void ShowMessage(std::u16string_view text, TMessageIcon) override {
        events.push_back(u"message " + std::u16string(text));
    }
    bool AskYesNoWarning(std::u16string_view) override {
        events.push_back(u"question");
        return answerYes;
    }
};

TEST(StartupChecks, RunInOrderAndStopWhereTheySay) {
    struct Case {
        const char* name;
        std::function<void(ScriptedEntryHost&)> setUp;
        bool runs;
        std::vector<std::u16string> events;
    };
    const Case cases[] = {
        {"all clear", [](auto&) {}, true, {u"mutex", u"read forceguest", u"drive type C:"}},
        {"forceguest 2 is full sharing",
         [](auto& h) { h.forceGuest = 2; },
         true,
         {u"mutex", u"read forceguest", u"drive type C:"}},
        {"forceguest missing",
         [](auto& h) { h.forceGuest.reset(); },
         true,
         {u"mutex", u"read forceguest", u"drive type C:"}},
        {"second instance",
         [](auto& h) {
             h.mutexExisted = true;
             h.driveType = 4;
         },
         false,
         {u"mutex", u"message Dockvane\u2122 is already running."}},
        {"simple sharing declined",
         [](auto& h) { h.forceGuest = 1; },
         false,
         {u"mutex", u"read forceguest", u"question"}},
        {"simple sharing switched",
         [](auto& h) {
             h.forceGuest = 1;
             h.answerYes = true;
         },
         true,
         {u"mutex", u"read forceguest", u"question", u"write forceguest 0", u"drive type C:"}},
        {"switch refused",
         [](auto& h) {
             h.forceGuest = 1;
             h.answerYes = true;
             h.writeSucceeds = false;
         },
         false,
         {u"mutex", u"read forceguest", u"question", u"write forceguest 0"}},
        {"network drive, after the question",
         [](auto& h) {
             h.forceGuest = 1;
             h.answerYes = true;
             h.driveType = 4;
             h.executable = u"Z:\\apps\\Dockvane.exe";
         },
         false,
         {u"mutex", u"read forceguest", u"question", u"write forceguest 0", u"drive type Z:",
          u"message Cannot run application from network share."}},
    };
    for (const auto& c : cases) {
        ScriptedEntryHost host;
        c.setUp(host);
        EXPECT_EQ(RunStartupChecks(host), c.runs) << c.name;
        EXPECT_EQ(host.events, c.events) << c.name;
    }
}

TEST(StartupChecks, SharingQuestionText) {
    class Recording : public ScriptedEntryHost {
    public:
        std::u16string question;
        bool AskYesNoWarning(std::u16string_view text) override {
            question = text;
            return false;
        }
    } host;
    host.forceGuest = 1;
    RunStartupChecks(host);
    EXPECT_EQ(host.question,
              u"Your Windows is currently configured for 'simple sharing'. Dockvane\u2122 requires the full network "
              u"sharing.\n\r\n\rDo you now want to switch Windows into full network sharing?");
}

TEST(StartupChecks, DrivePartOfThePath) {
    EXPECT_EQ(ExtractFileDrive(u"E:\\Dockvane.exe"), u"E:");
    EXPECT_EQ(ExtractFileDrive(u"\\\\server\\apps\\Dockvane.exe"), u"\\\\server\\apps");
    EXPECT_EQ(ExtractFileDrive(u"Dockvane.exe"), u"");
}

}  // namespace
}  // namespace dv
