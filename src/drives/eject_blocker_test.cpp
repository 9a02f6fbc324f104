#include "drives/eject_blocker.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace dv {
namespace {

const std::u16string kUsb = u"USB\\VID_0781&PID_5567\\4C530001";
const std::u16string kDisk = u"USBSTOR\\DISK&VEN_SANDISK\\4C530001&0";

// An event 225 as the system renders it, with the parts a test changes.
struct Sample {
    std::u16string provider = u"Microsoft-Windows-Kernel-PnP";
    std::u16string eventId = u"225";
    std::u16string time = u"2026-12-11T00:13:43.5000000Z";
    std::u16string device = u"USB\\VID_0781&amp;PID_5567\\4C530001";
    std::u16string name = u"\\Device\\HarddiskVolume3\\Windows\\System32\\dllhost.exe";
    std::u16string pid = u"9176";

    std::u16string Xml() const {
        return u"<Event xmlns='http://schemas.microsoft.com/win/2004/08/events/event'><System><Provider Name='" +
               provider + u"' Guid='{9c205a39-1250-487d-abd7-e831c6290539}'/><EventID Qualifiers=''>" + eventId +
               u"</EventID><Version>0</Version><Level>3</Level><TimeCreated SystemTime='" + time +
               u"'/><EventRecordID>4711</EventRecordID><Execution ProcessID='4' ThreadID='380'/>"
               u"<Channel>System</Channel><Computer>OFFICE</Computer><Security UserID='S-1-5-18'/></System>"
               u"<EventData><Data Name='DeviceInstance'>" +
               device + u"</Data><Data Name='VetoType'>5</Data><Data Name='ProcessId'>" + pid +
               u"</Data><Data Name='ProcessName'>" + name +
               u"</Data><Data Name='ProcessCommandLine'>C:\\Windows\\system32\\DllHost.exe "
               u"/Processid:{3EB3C877-1F16-487C-9050-104DBCD66683}</Data></EventData></Event>";
    }
};

std::int64_t Time(std::u16string_view text) {
    return ParseSystemTime(text).value();
}

TEST(PnpEvent, TheDocumentedShapeIsRead) {
    const std::optional<TPnpEvent> event = ParsePnpEvent(Sample().Xml());
    ASSERT_TRUE(event);
    EXPECT_EQ(event->EventId, 225u);
    EXPECT_EQ(event->Provider, u"Microsoft-Windows-Kernel-PnP");
    EXPECT_EQ(event->SystemTime, Time(u"2026-12-11T00:13:43.5Z"));
    EXPECT_EQ(event->DeviceInstance, kUsb);  // &amp; read as &
    EXPECT_EQ(event->ProcessName, u"\\Device\\HarddiskVolume3\\Windows\\System32\\dllhost.exe");
    EXPECT_EQ(event->ProcessId, 9176u);
    EXPECT_EQ(event->ProcessCommandLine,
              u"C:\\Windows\\system32\\DllHost.exe /Processid:{3EB3C877-1F16-487C-9050-104DBCD66683}");
}

TEST(PnpEvent, FormsOfWellFormedXml) {
    const struct {
        const char* what;
        std::u16string xml;
        std::optional<std::u16string> name;
        std::optional<std::uint32_t> pid;
        std::optional<std::u16string> device;
    } cases[] = {
        {"declaration, comment, double quotes, prefixes, blanks",
         u"<?xml version=\"1.0\"?>\r\n<!-- x --><ev:Event xmlns:ev=\"e\"><ev:System><ev:EventID>225</ev:EventID>"
         u"</ev:System><ev:EventData ><ev:Data Name = \"ProcessName\" >a&lt;b&gt;&quot;c&apos;&#x41;&#66;</ev:Data >"
         u"<ev:Data Name=\"ProcessId\"> 12 </ev:Data></ev:EventData></ev:Event>\n",
         u"a<b>\"c'AB", 12u, std::nullopt},
        {"no event data", u"<Event><System><EventID>225</EventID></System></Event>", std::nullopt, std::nullopt,
         std::nullopt},
        {"empty data elements",
         u"<Event><EventData><Data Name='ProcessName'/><Data Name='DeviceInstance'></Data>"
         u"</EventData></Event>",
         std::nullopt, std::nullopt, u""},
        {"a process id that is no number", u"<Event><EventData><Data Name='ProcessId'>12a</Data></EventData></Event>",
         std::nullopt, std::nullopt, std::nullopt},
        {"a process id past 32 bits", u"<Event><EventData><Data Name='ProcessId'>4294967296</Data></EventData></Event>",
         std::nullopt, std::nullopt, std::nullopt},
        {"Data outside EventData counts nothing",
         u"<Event><System><Data Name='ProcessName'>evil.exe</Data></System></Event>", std::nullopt, std::nullopt,
         std::nullopt},
        {"unnamed Data counts nothing", u"<Event><EventData><Data>evil.exe</Data></EventData></Event>", std::nullopt,
         std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<TPnpEvent> event = ParsePnpEvent(c.xml);
        ASSERT_TRUE(event) << c.what;
        EXPECT_EQ(event->ProcessName, c.name) << c.what;
        EXPECT_EQ(event->ProcessId, c.pid) << c.what;
        EXPECT_EQ(event->DeviceInstance, c.device) << c.what;
    }
}

TEST(PnpEvent, MalformedOrAmbiguousEventsAreNotRead) {
    const std::u16string good = Sample().Xml();
    const std::u16string data = u"<Data Name='ProcessName'>x.exe</Data>";
    std::u16string deep;
    for (int i = 0; i < 40; ++i) deep = u"<a>" + deep + u"</a>";
    const struct {
        const char* what;
        std::u16string xml;
    } cases[] = {
        {"empty", u""},
        {"text only", u"dllhost.exe"},
        {"cut short", good.substr(0, good.size() - 10)},
        {"tag left open", u"<Event><System>"},
        {"closing tag that does not match", u"<Event><System></Event></System>"},
        {"closing tag without an opening one", u"</Event>"},
        {"unknown entity", u"<Event><EventData><Data Name='ProcessName'>a&nbsp;b</Data></EventData></Event>"},
        {"entity without its semicolon",
         u"<Event><EventData><Data Name='ProcessName'>a&amp b</Data></EventData></Event>"},
        {"character reference to NUL", u"<Event><EventData><Data Name='ProcessName'>&#0;</Data></EventData></Event>"},
        {"character reference to a surrogate", u"<Event a='&#xD800;'/>"},
        {"character reference past Unicode", u"<Event a='&#x110000;'/>"},
        {"two root elements", u"<Event/><Event/>"},
        {"text after the root", u"<Event/>x"},
        {"attribute without quotes", u"<Event a=b/>"},
        {"attribute without a value", u"<Event a/>"},
        {"attribute quote left open", u"<Event a='b/>"},
        {"< in an attribute", u"<Event a='<'/>"},
        {"comment left open", u"<Event><!-- </Event>"},
        {"the process name twice", u"<Event><EventData>" + data + data + u"</EventData></Event>"},
        {"the process id twice",
         u"<Event><EventData><Data Name='ProcessId'>1</Data><Data Name='ProcessId'>2</Data></EventData></Event>"},
        {"the provider twice",
         u"<Event><System><Provider Name='a'/><Provider Name='Microsoft-Windows-Kernel-PnP'/></System></Event>"},
        {"a time that is none", u"<Event><System><TimeCreated SystemTime='yesterday'/></System></Event>"},
        {"an event id that is none", u"<Event><System><EventID>two</EventID></System></Event>"},
        {"nested too deep", deep},
        {"far too large", u"<Event>" + std::u16string(100 * 1024, u'x') + u"</Event>"},
    };
    for (const auto& c : cases) EXPECT_FALSE(ParsePnpEvent(c.xml)) << c.what;
}

TEST(PnpEvent, SystemTimes) {
    EXPECT_EQ(ParseSystemTime(u"1601-01-01T00:00:00Z"), 0);
    EXPECT_EQ(ParseSystemTime(u"1970-01-01T00:00:00.0000000Z"), 116444736000000000);
    EXPECT_EQ(ParseSystemTime(u"1970-01-01T00:00:01.5Z"), 116444736015000000);
    // Newer systems write nine digits; the last two are below the FILETIME's unit.
    EXPECT_EQ(ParseSystemTime(u"2026-12-11T00:13:43.123456789Z"), Time(u"2026-12-11T00:13:43.1234567Z"));
    EXPECT_EQ(Time(u"2024-03-01T00:00:00Z") - Time(u"2024-02-28T00:00:00Z"), 2 * 86400 * kTicksPerSecond);
    for (const char16_t* bad :
         {u"", u"2026-12-11T00:13:43", u"2026-12-11 00:13:43Z", u"2026-13-11T00:13:43Z", u"2026-12-11T24:00:00Z",
          u"2026-12-11T00:13:43.Z", u"2026-12-11T00:13:43.1xZ", u"1600-12-31T23:59:59Z", u"+026-12-11T00:13:43Z"}) {
        EXPECT_FALSE(ParseSystemTime(bad)) << ToUtf8(bad);
    }
    for (const char16_t* text :
         {u"1601-01-01T00:00:00.0000000Z", u"2026-12-11T00:13:43.1234567Z", u"2000-02-29T23:59:59.9999999Z"}) {
        EXPECT_EQ(FormatSystemTime(Time(text)), text);
    }
}

TEST(PnpEvent, ProcessNamesAreMadeSafeToShow) {
    const struct {
        std::u16string raw;
        std::u16string shown;
    } cases[] = {
        {u"\\Device\\HarddiskVolume3\\Windows\\System32\\dllhost.exe", u"dllhost.exe"},
        {u"C:/tools/backup agent.exe", u"backup agent.exe"},
        {u"explorer.exe", u"explorer.exe"},
        {u"  spaced.exe \t", u"spaced.exe"},
        {u"bad\r\nname\x07.exe", u"badname.exe"},
        {u"\u202Eexe.txt", u"exe.txt"},  // a right-to-left override would turn it around
        {u"caf\u00E9.exe\u0085", u"caf\u00E9.exe"},
        // Format characters and separators that do not show: the name reads as another.
        {u"explorer\u200B.exe", u"explorer.exe"},
        {u"explo\u2028rer.exe\u2029", u"explorer.exe"},
        {u"\u061Cdllhost.exe", u"dllhost.exe"},
        {u"soft\u00ADhyphen\u2060\u2064\u206F.exe", u"softhyphen.exe"},
        {u"tag\U000E0041\U000E007F.exe", u"tag.exe"},
        {u"note\U0001D173s.exe", u"notes.exe"},
        // Other characters beyond the first plane stay whole; a lone half of a pair goes.
        {u"\U0001F600.exe", u"\U0001F600.exe"},
        {std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC00) + u".exe", u"ab.exe"},
        {u"C:\\folder\\", u""},
        {u"\r\n", u""},
        {std::u16string(100, u'a'), std::u16string(64, u'a')},
        // Cut before a character that would be split.
        {std::u16string(63, u'a') + u"\U0001F600b", std::u16string(63, u'a')},
    };
    for (const auto& c : cases) EXPECT_EQ(SafeProcessName(c.raw), c.shown) << ToUtf8(c.raw);
}

class Log : public IEjectBlockerSource {
public:
    std::int64_t Now() override { return 0; }
    std::vector<std::u16string> RefusalEvents(std::int64_t) override { return events; }
    std::vector<std::u16string> events;
};

TEST(FindEjectBlocker, TheNewestRefusalOfTheDeviceNamesTheProcess) {
    const std::int64_t since = Time(u"2026-12-11T00:13:40Z");
    const auto sample = [](auto change) {
        Sample s;
        change(s);
        return s.Xml();
    };
    const auto same = [](Sample&) {};
    const struct {
        const char* what;
        std::vector<std::u16string> events;  // newest first
        std::optional<std::u16string> name;
        std::uint32_t pid;
    } cases[] = {
        {"the drive's device", {sample(same)}, u"dllhost.exe", 9176},
        {"the disk on it, in other case",
         {sample([](Sample& s) { s.device = u"usbstor\\disk&amp;ven_sandisk\\4c530001&amp;0"; })},
         u"dllhost.exe",
         9176},
        {"another device's refusal blames nobody here",
         {sample([](Sample& s) { s.device = u"USB\\VID_0781&amp;PID_5567\\OTHER"; })},
         std::nullopt,
         0},
        {"another provider", {sample([](Sample& s) { s.provider = u"Someone-Else"; })}, std::nullopt, 0},
        {"another event", {sample([](Sample& s) { s.eventId = u"226"; })}, std::nullopt, 0},
        {"from before the eject",
         {sample([](Sample& s) { s.time = u"2026-12-11T00:13:39.9999999Z"; })},
         std::nullopt,
         0},
        {"the newest of the device counts",
         {sample([](Sample& s) {
              s.name = u"newer.exe";
              s.pid = u"2";
          }),
          sample(same)},
         u"newer.exe",
         2},
        {"another device's newer refusal is passed over",
         {sample([](Sample& s) {
              s.device = u"OTHER";
              s.name = u"other.exe";
          }),
          sample(same)},
         u"dllhost.exe",
         9176},
        {"a broken event is passed over", {u"<Event><System>", sample(same)}, u"dllhost.exe", 9176},
        {"the newest refusal without a process id leaves it unknown",
         {sample([](Sample& s) { s.pid = u"none"; }), sample(same)},
         std::nullopt,
         0},
        {"a name with nothing to show leaves it unknown",
         {sample([](Sample& s) { s.name = u"\\Device\\&#10;"; }), sample(same)},
         std::nullopt,
         0},
        {"a hostile name is shown safely",
         {sample([](Sample& s) { s.name = u"C:\\x\\evil&#13;&#10;\u202Egpj.exe&lt;b&gt;"; })},
         u"evilgpj.exe<b>",
         9176},
        {"no event at all", {}, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        Log log;
        log.events = c.events;
        const std::optional<TEjectBlocker> blocker = FindEjectBlocker(log, {kUsb, kDisk}, since);
        EXPECT_EQ(blocker.has_value(), c.name.has_value()) << c.what;
        if (blocker && c.name) {
            EXPECT_EQ(blocker->ProcessName, *c.name) << c.what;
            EXPECT_EQ(blocker->ProcessId, c.pid) << c.what;
        }
    }
    // Without the device's IDs no refusal can be told to be this drive's.
    Log log;
    log.events = {Sample().Xml()};
    EXPECT_FALSE(FindEjectBlocker(log, {}, since));
    EXPECT_FALSE(FindEjectBlocker(log, {u""}, since));
}

TEST(FindEjectBlocker, RenderedRefusalsReadBack) {
    const std::int64_t time = Time(u"2026-12-11T00:13:43.25Z");
    const std::u16string hostile = u"a&b<c>'d\"e\tf\r\n\x01g.exe";
    const std::u16string xml = RenderRefusalEvent(kUsb, hostile, 4294967295u, time);
    EXPECT_EQ(xml.find_first_of(u"\r\n\t"), std::u16string::npos);  // one line
    const std::optional<TPnpEvent> event = ParsePnpEvent(xml);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->EventId, kRemovalVetoedEventId);
    EXPECT_EQ(event->Provider, kKernelPnpProvider);
    EXPECT_EQ(event->SystemTime, time);
    EXPECT_EQ(event->DeviceInstance, kUsb);
    EXPECT_EQ(event->ProcessName, hostile);
    EXPECT_EQ(event->ProcessId, 4294967295u);
}

}  // namespace
}  // namespace dv
