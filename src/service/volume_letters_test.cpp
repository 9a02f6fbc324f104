#include "service/volume_letters.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace dv {
namespace {

constexpr char16_t kNoLetter = 0;
constexpr char16_t kRemove = 1;

struct Step {
    std::u16string interfaceName;
    // The letter the volume arrived on, kNoLetter for one on no letter, kRemove for its removal.
    char16_t letter;
    // What the observer is handed: "arrival E", "removal E", or "" for nothing.
    std::string handed;
};

// The broadcast as the observer would act on it.
std::string Describe(const std::optional<TVolumeBroadcast>& broadcast) {
    if (!broadcast) return "";
    const std::vector<TVolumeEventCall> calls = DecodeVolumeBroadcast(*broadcast);
    if (calls.size() != 2) return "a broadcast of " + std::to_string(calls.size()) + " events";
    const char* kind = calls[1].kind == TVolumeEventKind::Arrival   ? "arrival "
                       : calls[1].kind == TVolumeEventKind::Removal ? "removal "
                                                                    : "autoplay ";
    return kind + ToUtf8(std::u16string(1, calls[1].letter));
}

TEST(TVolumeLetters, EachRemovalNamesTheLetterItsVolumeArrivedOn) {
    const std::u16string usb = u"\\\\?\\STORAGE#Volume#{aa}#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
    const std::u16string other = u"\\\\?\\STORAGE#Volume#{bb}#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
    const struct {
        const char* what;
        std::vector<Step> steps;
    } cases[] = {
        {"arrival, then removal by the same name", {{usb, u'E', "arrival E"}, {usb, kRemove, "removal E"}}},
        {"the name in another case is the same volume",
         {{usb, u'E', "arrival E"}, {UpperCase(usb), kRemove, "removal E"}}},
        {"a lower-case letter", {{usb, u'e', "arrival E"}, {usb, kRemove, "removal E"}}},
        {"two volumes keep their own letters",
         {{usb, u'E', "arrival E"},
          {other, u'F', "arrival F"},
          {usb, kRemove, "removal E"},
          {other, kRemove, "removal F"}}},
        {"a volume on no letter is not told, nor its removal", {{usb, kNoLetter, ""}, {usb, kRemove, ""}}},
        {"a letter outside A to Z is none", {{usb, u'1', ""}, {usb, kRemove, ""}}},
        {"a removal of a volume never seen is not told", {{usb, kRemove, ""}}},
        {"a second removal is not told", {{usb, u'E', "arrival E"}, {usb, kRemove, "removal E"}, {usb, kRemove, ""}}},
        {"a volume that came again on another letter goes from that one",
         {{usb, u'E', "arrival E"}, {usb, u'G', "arrival G"}, {usb, kRemove, "removal G"}}},
        {"a late removal of a volume whose letter another volume has now leaves that one alone",
         {{usb, u'E', "arrival E"}, {other, u'E', "arrival E"}, {usb, kRemove, ""}, {other, kRemove, "removal E"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TVolumeLetters letters;
        for (const Step& step : c.steps) {
            const std::optional<TVolumeBroadcast> handed = step.letter == kRemove ? letters.Removed(step.interfaceName)
                                                           : step.letter == kNoLetter
                                                               ? letters.Arrived(step.interfaceName, std::nullopt)
                                                               : letters.Arrived(step.interfaceName, step.letter);
            EXPECT_EQ(Describe(handed), step.handed);
        }
    }
}

// The mount manager may give a volume its letter a moment after its interface arrived.
TEST(TVolumeLetters, AVolumeThatArrivedOnNoLetterArrivesOnceItHasOne) {
    const std::u16string usb = u"\\\\?\\STORAGE#Volume#{aa}#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
    const std::u16string other = u"\\\\?\\STORAGE#Volume#{bb}#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
    // What the system answers for each volume at each look (kNoLetter: no letter yet).
    struct Look {
        std::vector<std::pair<std::u16string, char16_t>> letters;
        std::string handed;  // the arrivals of this look, "arrival E, arrival F"
    };
    const struct {
        const char* what;
        std::vector<std::u16string> arrivedOnNoLetter;
        std::vector<Look> looks;
        bool waitingAfter;
    } cases[] = {
        {"its letter at the third look",
         {usb},
         {{{{usb, kNoLetter}}, ""}, {{{usb, kNoLetter}}, ""}, {{{usb, u'E'}}, "arrival E"}},
         false},
        {"two volumes, in the order they arrived",
         {other, usb},
         {{{{usb, u'E'}, {other, u'F'}}, "arrival F, arrival E"}},
         false},
        {"one has its letter, the other waits on",
         {usb, other},
         {{{{usb, u'E'}, {other, kNoLetter}}, "arrival E"}},
         true},
        {"a letter outside A to Z is none yet", {usb}, {{{{usb, u'1'}}, ""}}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TVolumeLetters letters;
        for (const std::u16string& name : c.arrivedOnNoLetter)
            EXPECT_EQ(Describe(letters.Arrived(name, std::nullopt)), "");
        EXPECT_TRUE(letters.Waiting());
        for (const Look& look : c.looks) {
            std::string handed;
            for (const TVolumeBroadcast& arrival :
                 letters.LookAgain([&](const std::u16string& name) -> std::optional<char16_t> {
                     for (const auto& [volume, letter] : look.letters) {
                         if (volume == name) return letter == kNoLetter ? std::nullopt : std::optional(letter);
                     }
                     ADD_FAILURE() << "looked up a volume that does not wait: " << ToUtf8(name);
                     return std::nullopt;
                 })) {
                handed += (handed.empty() ? "" : ", ") + Describe(arrival);
            }
            EXPECT_EQ(handed, look.handed);
        }
        EXPECT_EQ(letters.Waiting(), c.waitingAfter);
    }
}

TEST(TVolumeLetters, AVolumeWaitsForItsLetterUntilItGoesOrItsLooksAreUsedUp) {
    const std::u16string usb = u"\\\\?\\STORAGE#Volume#{aa}#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
    int looks = 0;
    const TLetterLookup none = [&looks](const std::u16string&) -> std::optional<char16_t> {
        ++looks;
        return std::nullopt;
    };

    {
        SCOPED_TRACE("removed while it waits: looked at no more, and its removal is not told");
        TVolumeLetters letters;
        (void)letters.Arrived(usb, std::nullopt);
        EXPECT_EQ(Describe(letters.Removed(UpperCase(usb))), "");
        EXPECT_FALSE(letters.Waiting());
        looks = 0;
        EXPECT_TRUE(letters.LookAgain(none).empty());
        EXPECT_EQ(looks, 0);
    }
    {
        SCOPED_TRACE("told again with its letter before a look: one arrival, no more looks");
        TVolumeLetters letters;
        (void)letters.Arrived(usb, std::nullopt);
        EXPECT_EQ(Describe(letters.Arrived(usb, u'E')), "arrival E");
        EXPECT_FALSE(letters.Waiting());
        EXPECT_EQ(Describe(letters.Removed(usb)), "removal E");
    }
    {
        SCOPED_TRACE("no letter after every look: given up, its removal is not told");
        TVolumeLetters letters;
        (void)letters.Arrived(usb, std::nullopt);
        looks = 0;
        for (int look = 1; look <= kLetterLooks; ++look) {
            EXPECT_TRUE(letters.Waiting()) << "before look " << look;
            EXPECT_TRUE(letters.LookAgain(none).empty());
        }
        EXPECT_EQ(looks, kLetterLooks);
        EXPECT_FALSE(letters.Waiting());
        EXPECT_TRUE(letters.LookAgain(none).empty());
        EXPECT_EQ(looks, kLetterLooks);
        EXPECT_EQ(Describe(letters.Removed(usb)), "");
    }
}

}  // namespace
}  // namespace dv
