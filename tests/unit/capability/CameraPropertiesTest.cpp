#include <gtest/gtest.h>

#include "host/CapabilityStore.h"
#include "unit/capability/FakeProperties.h"

using namespace velkora;
using test::FakeProperties;

namespace {

// A record as built under a host of the given version.
struct WithHost : FakeProperties {
    WithHost(uint16_t major, uint16_t minor) { ApplyHostVersion(true, major, minor); }
};

std::unique_ptr<host::CapabilityStore> Save(FakeProperties& properties, bool saved = true)
{
    auto store = std::make_unique<host::CapabilityStore>();
    EXPECT_EQ(properties.SaveResults(store.get()), saved);
    return store;
}

}  // namespace

TEST(CameraProperties, HostVersionSwitchesFrameValuesAndStreamTexts)
{
    WithHost modern(6, 4), older(6, 3);
    FakeProperties unknown;  // stream texts: StreamPropertiesFollowHostVersionAndStreamCount
    unknown.ApplyHostVersion(false, 7, 0);
    EXPECT_FALSE(unknown.highRateCodes || unknown.streamProperties);

    for (auto [rate, value] :
         {std::pair{0u, 1000u}, {25u, 40u}, {30u, 33u}, {15u, 67u}, {7u, 143u}, {60u, 1879048252u}})
        EXPECT_EQ(modern.FrameValue(rate), value) << rate;
    EXPECT_EQ(older.FrameValue(60), 17u);

    WithHost& properties = modern;  // the texts do not depend on the version
    StreamCaps caps;
    caps.codecs = {CapsCodecJpeg, 9, CapsCodecH264, CapsCodecMpeg4};
    EXPECT_EQ(properties.CodecText(caps), "h264,mpeg,jpeg");

    caps.resolutions = {{{1920, 1080}, 25}, {{640, 0}, 25}, {{1280, 720}, 0}};
    EXPECT_EQ(properties.ResolutionText(caps), "1280x720:40,1920x1080:40");
    caps.framerates = {5, 15, 60};
    EXPECT_EQ(properties.ResolutionText(caps), "1280x720:1879048252,1920x1080:40");

    caps.framerates = {5, 15, 25};
    EXPECT_EQ(properties.FramerateText(caps), "values=200,67,40;default=67");
    caps.defaultFramerate = 20;
    EXPECT_EQ(properties.FramerateText(caps), "values=200,67,40;default=40");
    caps.defaultFramerate = 50;  // no rate qualifies: the number itself
    EXPECT_EQ(properties.FramerateText(caps), "values=200,67,40;default=1879048242");
    EXPECT_EQ(properties.FramerateText(StreamCaps()), "");
}

TEST(CameraProperties, SaveResultsWritesKeysAndLists)
{
    FakeProperties properties;
    properties.FillPlainDevice().ptzSupported = true;
    properties.streams[0].codecs.insert(CapsCodecJpeg);
    properties.streams[0].framerates.insert(0);
    properties.streamCount = 2;
    auto store = Save(properties);
    const std::map<uint32_t, uint32_t> keys{{0, 131073}, {1, 1}, {7, 1}, {8, 1}, {11, 0}, {12, 0}};
    EXPECT_EQ(store->values, keys);  // no key 27: host version unknown
    std::string resolutions;         // each at the largest rate of the stream
    for (const auto& entry : store->resolutions)
        resolutions += entry.text + ":" + std::to_string(entry.frameValue) + " ";
    EXPECT_EQ(resolutions, "1280x720:40 1920x1080:40 ");
    EXPECT_EQ(store->frameValues, (std::vector<uint32_t>{200, 67, 40}));
    EXPECT_EQ(store->defaultFrameValue, 67u);
    EXPECT_EQ(store->properties.at(1).value, "0");
    EXPECT_EQ(store->properties.at(1).type, 1u);
}

TEST(CameraProperties, SaveResultsStopsAtTheFirstFailingStep)
{
    auto save = [](std::function<void(FakeProperties&)> change) {
        FakeProperties properties(1);
        change(properties.FillPlainDevice());
        return Save(properties, false);
    };
    EXPECT_TRUE(save([](FakeProperties& p) { p.model.clear(); })->name.empty());
    auto noCodec = save([](FakeProperties& p) { p.manufacturer.clear(), p.streams[0].codecs = {7}; });
    EXPECT_EQ(noCodec->name, "X1");
    EXPECT_EQ(noCodec->connection[3], "p");
    EXPECT_TRUE(noCodec->values.empty());
    auto noRates = save([](FakeProperties& p) { p.streams[0].framerates.clear(); });
    EXPECT_EQ(noRates->resolutions.at(0).frameValue, 33u);  // 30-frame standard without rates
    EXPECT_TRUE(noRates->properties.empty());
    EXPECT_EQ(save([](FakeProperties& p) { p.parametersResult = false; })->values.at(11), 0u);
}

TEST(CameraProperties, StreamPropertiesFollowHostVersionAndStreamCount)
{
    auto save = [](uint16_t minor, uint16_t streams) {
        WithHost properties(6, minor);
        properties.FillPlainDevice().streamCount = streams;
        properties.streams[1].resolutions = {{{640, 480}, 25}};
        properties.streams[2].codecs = {CapsCodecMpeg4};
        properties.audioInput.count = 2;
        return Save(properties);
    };
    auto three = save(4, 3);
    EXPECT_EQ(three->values.at(27), 2u);
    EXPECT_EQ(three->properties.at(120).name, "Live Stream: Supported Codecs");
    EXPECT_EQ(three->properties.at(120).value, "(none)");
    EXPECT_EQ(three->properties.at(121).value, "640x480:40");
    EXPECT_EQ(three->properties.at(124).value, "mpeg");
    EXPECT_EQ(three->properties.at(101).value, "Count=2; IsStereo=0");
    auto two = save(1, 2);  // the first version with stream texts
    EXPECT_TRUE(two->properties.count(120) == 1 && two->properties.count(124) == 0);
    auto oldHost = save(0, 3);
    EXPECT_EQ(oldHost->values.count(27), 0u);
    EXPECT_EQ(oldHost->properties.count(120), 0u);
    EXPECT_EQ(oldHost->properties.count(124), 0u);
}
