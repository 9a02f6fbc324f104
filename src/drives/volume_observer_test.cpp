#include "drives/volume_observer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace dv {
namespace {

using K = TVolumeEventKind;

constexpr std::uint32_t Mask(std::u16string_view letters) {
    std::uint32_t mask = 0;
    for (char16_t letter : letters) mask |= std::uint32_t{1} << (letter - u'A');
    return mask;
}

TEST(DecodeVolumeBroadcast, WhichBroadcastsStandForWhichEvents) {
    const struct {
        const char* what;
        TVolumeBroadcast broadcast;
        std::vector<TVolumeEventCall> calls;
    } cases[] = {
        {"arrival", {kDbtDeviceArrival, kDbtDevTypVolume, Mask(u"E"), 0}, {{K::AutoPlay, u'E'}, {K::Arrival, u'E'}}},
        {"removal",
         {kDbtDeviceRemoveComplete, kDbtDevTypVolume, Mask(u"E"), 0},
         {{K::AutoPlay, u'E'}, {K::Removal, u'E'}}},
        {"several letters: all AutoPlay events first, ascending",
         {kDbtDeviceArrival, kDbtDevTypVolume, Mask(u"GEA"), 0},
         {{K::AutoPlay, u'A'},
          {K::AutoPlay, u'E'},
          {K::AutoPlay, u'G'},
          {K::Arrival, u'A'},
          {K::Arrival, u'E'},
          {K::Arrival, u'G'}}},
        {"Z is the last letter; higher bits name no drive",
         {kDbtDeviceArrival, kDbtDevTypVolume, Mask(u"Z") | 0xFC000000u, 0},
         {{K::AutoPlay, u'Z'}, {K::Arrival, u'Z'}}},
        {"media inserted into an existing drive counts",
         {kDbtDeviceArrival, kDbtDevTypVolume, Mask(u"F"), kDbtfMedia},
         {{K::AutoPlay, u'F'}, {K::Arrival, u'F'}}},
        {"network volume", {kDbtDeviceArrival, kDbtDevTypVolume, Mask(u"N"), kDbtfNet}, {}},
        {"network volume with media flag",
         {kDbtDeviceRemoveComplete, kDbtDevTypVolume, Mask(u"N"), kDbtfNet | kDbtfMedia},
         {}},
        {"port record", {kDbtDeviceArrival, kDbtDevTypPort, Mask(u"E"), 0}, {}},
        {"device interface record", {kDbtDeviceArrival, kDbtDevTypDeviceInterface, Mask(u"E"), 0}, {}},
        {"no record", {kDbtDeviceArrival, 0, 0, 0}, {}},
        {"query remove", {kDbtDeviceQueryRemove, kDbtDevTypVolume, Mask(u"E"), 0}, {}},
        {"remove pending", {kDbtDeviceRemovePending, kDbtDevTypVolume, Mask(u"E"), 0}, {}},
        {"configuration changed (DBT_CONFIGCHANGED)", {0x0018, kDbtDevTypVolume, Mask(u"E"), 0}, {}},
        {"custom event", {0x8006, kDbtDevTypVolume, Mask(u"E"), 0}, {}},
        {"empty mask", {kDbtDeviceArrival, kDbtDevTypVolume, 0, 0}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeVolumeBroadcast(c.broadcast), c.calls) << c.what;
}

class VolumeObserverTest : public ::testing::Test {
protected:
    std::vector<std::u16string> calls;
    std::vector<std::string> uncaught;
    TVolumeObserver observer{[this](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            uncaught.push_back(e.what());
        }
    }};

    TVolumeNotifyEvent Record(const char16_t* name) {
        return [this, name](char16_t letter) { calls.push_back(name + std::u16string(1, letter)); };
    }
};

TEST_F(VolumeObserverTest, UnassignedEventsAreSkipped) {
    ASSERT_TRUE(observer.Initialize());
    observer.WMDeviceChange({kDbtDeviceArrival, kDbtDevTypVolume, Mask(u"EG"), 0});  // nothing assigned
    observer.OnVolumeAutoPlay = Record(u"AutoPlay ");
    observer.WMDeviceChange({kDbtDeviceArrival, kDbtDevTypVolume, Mask(u"EG"), 0});
    EXPECT_EQ(calls, (std::vector<std::u16string>{u"AutoPlay E", u"AutoPlay G"}));

    calls.clear();
    observer.OnVolumeAutoPlay = nullptr;
    observer.OnVolumeArrival = Record(u"Arrival ");
    observer.OnVolumeRemoval = Record(u"Removal ");
    observer.WMDeviceChange({kDbtDeviceRemoveComplete, kDbtDevTypVolume, Mask(u"E"), 0});
    EXPECT_EQ(calls, (std::vector<std::u16string>{u"Removal E"}));
}

TEST_F(VolumeObserverTest, AFailingHandlerStopsTheRemainingLettersButNotTheObserver) {
    observer.OnVolumeAutoPlay = Record(u"AutoPlay ");
    observer.OnVolumeArrival = [this](char16_t letter) {
        calls.push_back(u"Arrival " + std::u16string(1, letter));
        if (letter == u'F') throw std::runtime_error("share failed");
    };
    observer.DeliverFromWindow({kDbtDeviceArrival, kDbtDevTypVolume, Mask(u"EFG"), 0});
    EXPECT_EQ(calls,
              (std::vector<std::u16string>{u"AutoPlay E", u"AutoPlay F", u"AutoPlay G", u"Arrival E", u"Arrival F"}));
    EXPECT_EQ(uncaught, std::vector<std::string>{"share failed"});

    // The next broadcast is delivered as usual.
    calls.clear();
    observer.DeliverFromWindow({kDbtDeviceArrival, kDbtDevTypVolume, Mask(u"H"), 0});
    EXPECT_EQ(calls, (std::vector<std::u16string>{u"AutoPlay H", u"Arrival H"}));

    // Called directly, the error reaches the caller.
    EXPECT_THROW(observer.WMDeviceChange({kDbtDeviceArrival, kDbtDevTypVolume, Mask(u"F"), 0}), std::runtime_error);
}

TEST_F(VolumeObserverTest, AHandlerMayReassignTheEventsWhileItRuns) {
    observer.OnVolumeAutoPlay = [this](char16_t letter) {
        calls.push_back(u"first " + std::u16string(1, letter));
        observer.OnVolumeAutoPlay = Record(u"second ");  // destroys the running handler's original
    };
    observer.WMDeviceChange({kDbtDeviceArrival, kDbtDevTypVolume, Mask(u"EF"), 0});
    EXPECT_EQ(calls, (std::vector<std::u16string>{u"first E", u"second F"}));
}

}  // namespace
}  // namespace dv
