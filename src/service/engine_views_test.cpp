#include "service/engine_views.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/drive_letter.h"
#include "platform/text.h"
#include "remote/protocol.h"
#include "service/engine_world_test.h"

namespace dv {
namespace {

using namespace remote;
using testing::EngineWorld;

const std::map<char16_t, std::string> kDrives = {
    {u'E', "[Share]\r\nShareName=EAST\r\nAutoRemove=True\r\n"},
    {u'F', "[Share]\r\nShareName=WEST\r\n"},
    {u'G', ""},
};

std::string Kinds(const std::vector<TMessage>& reports) {
    std::string kinds;
    for (const TMessage& report : reports) kinds += (kinds.empty() ? "" : " ") + std::string(KindName(report.Kind()));
    return kinds;
}

std::vector<std::u16string> NotShown(const std::vector<std::u16string>& log) {
    std::vector<std::u16string> lines;
    for (const std::u16string& line : log) {
        if (line.starts_with(u" Not shown |")) lines.push_back(line.substr(13));
    }
    return lines;
}

// What the engine does on its own reaches every face that listens, as reports; with nobody listening,
// what a person would have read (a balloon, a box) is in the application log, once, and nothing else
// is kept for later.
TEST(EngineViews, ReportsReachTheFacesOrTheLog) {
    const struct {
        const char* what;
        std::function<void(EngineWorld&)> event;
        std::string reports;                // the kinds, in order, that a listening face gets
        std::vector<std::u16string> texts;  // of its balloons and boxes, which the log keeps otherwise
    } cases[] = {
        {"a drive shared",
         [](EngineWorld& world) {
             world.Plug(u'H', "[Share]\r\nShareName=HOME\r\n");
             world.Arrival(u'H');
         },
         "menu-changed sound balloon drive-attached",
         {u"HOME now available for network"}},
        {"a drive pulled",
         [](EngineWorld& world) {
             world.drives.Unplug(u'F');
             world.Removal(u'F');
         },
         "menu-changed drive-removed sound",
         {}},
        {"a backup done",
         [](EngineWorld& world) {
             testing::WriteBytes(world.roots[u'E']->path() / "backup.done", "");
             world.main->OnPollTimer();
             world.pump.Drain();
         },
         // The last change of the menus: the drive has gone from the Add entry too.
         "balloon balloon menu-changed drive-removed sound menu-changed menu-changed",
         {u"Drive E \r\nunbound,  files traffic done", u"NAS device 'EAST'\r\nSuccessfully disconected"}},
        {"an eject refused",
         [](EngineWorld& world) {
             world.drives.EjectRefusals = 3;
             world.Ask(TEjectDrive{TDriveLetter(u'E')});
         },
         // The drive stays plugged in: the Add entry offers it.
         "balloon menu-changed drive-removed sound menu-changed balloon menu-changed",
         {u"NAS device 'EAST'\r\nSuccessfully disconected", u"Unable to remove\r\nthe External Storage drive 'E'"}},
        {"the last drive gone",
         [](EngineWorld& world) {
             for (const char16_t letter : std::u16string(u"EF")) {
                 world.drives.Unplug(letter);
                 world.Removal(letter);
             }
         },
         "menu-changed drive-removed sound menu-changed drive-removed sound tray-icon",
         {}},
        {"a share name taken by a folder elsewhere",
         [](EngineWorld& world) {
             world.Plug(u'H', "[Share]\r\nShareName=WEST\r\n");
             world.Arrival(u'H');
         },
         "message-box menu-changed",
         {u"The share name \"WEST\" is already in use for F:\\.\n\rChoose another share name for this drive in its "
          u"drive settings."}},
    };
    for (const auto& c : cases) {
        for (const bool listening : {true, false}) {
            EngineWorld world(kDrives);
            if (listening) world.Ask(TSubscribe{}, testing::kStandardUser, 5);
            const std::size_t logged = world.AppLog().size();
            c.event(world);
            EXPECT_TRUE(world.errors.empty()) << c.what;
            std::vector<std::u16string> log = world.AppLog();
            log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(logged));
            if (listening) {
                EXPECT_EQ(Kinds(world.link.broadcasts), c.reports) << c.what;
                std::vector<std::u16string> texts;
                for (const auto& balloon : world.link.Reports<remote::TBalloon>()) texts.push_back(balloon.Text);
                for (const auto& box : world.link.Reports<remote::TMessageBox>()) texts.push_back(box.Text);
                EXPECT_EQ(texts, c.texts) << c.what;
                EXPECT_TRUE(NotShown(log).empty()) << c.what;
            } else {
                EXPECT_TRUE(world.link.broadcasts.empty()) << c.what;
                std::vector<std::u16string> expected;
                for (const std::u16string& text : c.texts) expected.push_back(VisibleText(text));
                EXPECT_EQ(NotShown(log), expected) << c.what;
            }
        }
    }
}

TEST(EngineViews, ASubscriberLearnsTheIconAndWhatIsShared) {
    EngineWorld world(kDrives);
    world.Ask(TSubscribe{}, testing::kStandardUser, 5);
    // After the answer, the icon as it is now.
    ASSERT_GE(world.link.sent.size(), 2u);
    EXPECT_EQ(world.link.sent.back().To, 5u);
    EXPECT_EQ(world.link.sent.back().Message, (TMessage{0, TTrayIcon{TTrayImage::Available}}));

    world.Plug(u'H', "[Share]\r\nShareName=HOME\r\n");
    world.Arrival(u'H');
    EXPECT_EQ(world.link.Reports<TDriveAttached>(),
              (std::vector<TDriveAttached>{TDriveAttached{TDriveLetter(u'H'), u"HOME"}}));
    EXPECT_EQ(world.link.Reports<TSound>(), std::vector<TSound>{TSound{TSoundEvent::Available}});
    // The engine plays nothing itself: the faces play their persons' sounds.
    EXPECT_TRUE(world.main->ApplicationSettings().FSoundBackupAvailable.size() > 0);
}

// With the AutoPlay mode "Disable for Dockvane disks", a drive without a configuration is offered to
// the faces' AutoPlay dialog; with nobody there it stays as it is, unshared, and nothing waits.
TEST(EngineViews, AutoPlayGoesToTheFaces) {
    for (const bool listening : {true, false}) {
        EngineWorld world(kDrives);
        ASSERT_EQ(world.Ask(TSetAutoPlay{1}).Kind(), TKind::Ok);
        if (listening) world.Ask(TSubscribe{}, testing::kStandardUser, 5);
        world.Plug(u'K', "", u"PHOTOS");
        world.Arrival(u'K');
        world.Plug(u'L', "[Share]\r\nShareName=LAST\r\n");
        world.Arrival(u'L');
        EXPECT_TRUE(world.errors.empty());
        const std::vector<TAutoPlay> expected =
            listening ? std::vector<TAutoPlay>{TAutoPlay{TDriveLetter(u'K'), u"PHOTOS (K:)"}}
                      : std::vector<TAutoPlay>{};
        EXPECT_EQ(world.link.Reports<TAutoPlay>(), expected);
        EXPECT_EQ(world.main->NasManager().getNasByname(u"K"), nullptr);
        EXPECT_NE(world.main->NasManager().getNasByname(u"L"), nullptr);
    }
}

TEST(EngineViews, TextsAreFittedToWhatAReportTakes) {
    const struct {
        const char* what;
        std::u16string text;
        std::size_t max;
        std::u16string name, message;
    } cases[] = {
        {"plain", u"BACKUP (E:)", 32, u"BACKUP (E:)", u"BACKUP (E:)"},
        {"lines", u"a\r\n\tb", 32, u"a\uFFFD\uFFFD\uFFFDb", u"a\r\n\tb"},
        {"a NUL and a bell", std::u16string(u"a\0b\a", 4), 32, u"a\uFFFDb\uFFFD", u"a\uFFFDb\uFFFD"},
        {"turned around", u"\u202Epukcab\u2066x\u2028", 32, u"\uFFFDpukcab\uFFFDx\uFFFD", u"\u202Epukcab\u2066x\u2028"},
        {"half a character",
         u"a\xD834"
         u"b\xDD1E",
         32, u"a\uFFFDb\uFFFD", u"a\uFFFDb\uFFFD"},
        {"cut", u"abcdef", 4, u"abcd", u"abcd"},
        {"a character cut whole", u"abc\U0001D11E", 4, u"abc", u"abc"},
        {"a character kept whole", u"ab\U0001D11E", 4, u"ab\U0001D11E", u"ab\U0001D11E"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReportName(c.text, c.max), c.name) << c.what;
        EXPECT_EQ(ReportText(c.text, c.max), c.message) << c.what;
        EXPECT_FALSE(FieldProblem(TAutoPlay{TDriveLetter(u'E'), ReportName(c.text, c.max)})) << c.what;
        EXPECT_FALSE(FieldProblem(remote::TBalloon{remote::TBalloonIcon::Warning, ReportText(c.text, c.max)}))
            << c.what;
    }
}

}  // namespace
}  // namespace dv
