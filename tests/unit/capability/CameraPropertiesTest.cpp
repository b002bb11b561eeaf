#include <gtest/gtest.h>

#include "host/CapabilityStore.h"
#include "unit/capability/FakeProperties.h"

using velkora::CapsCodecH264;
using velkora::CapsCodecJpeg;
using velkora::CapsCodecMpeg4;
using velkora::StreamCaps;
using velkora::test::FakeProperties;

namespace {

// A record as built under a host of the given version.
struct WithHost : FakeProperties
{
    WithHost(uint16_t major, uint16_t minor) { ApplyHostVersion(true, major, minor); }
};

} // namespace

TEST(CameraProperties, HostVersionSwitches)
{
    FakeProperties properties;
    properties.ApplyHostVersion(false, 7, 0);
    EXPECT_FALSE(properties.highRateCodes || properties.streamProperties || properties.hostKey5);
    properties.ApplyHostVersion(true, 6, 4);
    EXPECT_TRUE(properties.highRateCodes && properties.streamProperties && properties.hostKey5);
    properties.ApplyHostVersion(true, 6, 3);
    EXPECT_FALSE(properties.highRateCodes);
    EXPECT_TRUE(properties.streamProperties);
    properties.ApplyHostVersion(true, 6, 0);
    EXPECT_FALSE(properties.streamProperties);
    EXPECT_TRUE(properties.hostKey5);
    properties.ApplyHostVersion(true, 5, 8);
    EXPECT_FALSE(properties.hostKey5);
    properties.ApplyHostVersion(true, 7, 0);
    EXPECT_TRUE(properties.highRateCodes);
}

TEST(CameraProperties, FrameValues)
{
    WithHost modern(6, 4);
    WithHost older(6, 3);
    EXPECT_EQ(modern.FrameValue(0), 1000u);
    EXPECT_EQ(modern.FrameValue(25), 40u);
    EXPECT_EQ(modern.FrameValue(30), 33u);
    EXPECT_EQ(modern.FrameValue(15), 67u);
    EXPECT_EQ(modern.FrameValue(7), 143u);
    EXPECT_EQ(modern.FrameValue(16), 63u); // 62.5 rounds up
    EXPECT_EQ(modern.FrameValue(30), older.FrameValue(30));
    EXPECT_EQ(modern.FrameValue(60), 1879048252u);
    EXPECT_EQ(older.FrameValue(60), 17u);
}

TEST(CameraProperties, StreamTexts)
{
    WithHost properties(6, 4);
    StreamCaps caps;
    caps.codecs = {CapsCodecJpeg, 9, CapsCodecH264, CapsCodecMpeg4};
    EXPECT_EQ(properties.CodecText(caps), "h264,mpeg,jpeg");
    EXPECT_EQ(properties.CodecText(StreamCaps()), "");

    caps.resolutions = {{{1920, 1080}, 25}, {{640, 0}, 25}, {{1280, 720}, 0}};
    EXPECT_EQ(properties.ResolutionText(caps), "1280x720:40,1920x1080:40");
    caps.framerates = {5, 15, 60};
    EXPECT_EQ(properties.ResolutionText(caps), "1280x720:1879048252,1920x1080:40");

    caps.framerates = {5, 15, 25};
    EXPECT_EQ(properties.FramerateText(caps), "values=200,67,40;default=67");
    caps.defaultFramerate = 20;
    EXPECT_EQ(properties.FramerateText(caps), "values=200,67,40;default=40");
    caps.defaultFramerate = 50; // no rate qualifies: the number itself
    EXPECT_EQ(properties.FramerateText(caps), "values=200,67,40;default=1879048242");
    EXPECT_EQ(properties.FramerateText(StreamCaps()), "");
}

TEST(CameraProperties, WriteFrameratesListsRatesThenDefault)
{
    FakeProperties properties;
    host::CapabilityStore store;
    EXPECT_FALSE(properties.WriteFramerates(store.GetFramerateList(1)));
    properties.streams[0].framerates = {0, 5, 15, 25};
    ASSERT_TRUE(properties.WriteFramerates(store.GetFramerateList(1)));
    EXPECT_EQ(store.frameValues, (std::vector<uint32_t>{200, 67, 40}));
    EXPECT_EQ(store.defaultFrameValue, 67u);
}

TEST(CameraProperties, SaveResultsWritesNameConnectionKeysAndLists)
{
    FakeProperties properties;
    properties.FillPlainDevice();
    properties.ptzSupported = true;
    properties.streams[0].codecs.insert(CapsCodecJpeg);
    properties.streamCount = 2;
    host::CapabilityStore store;
    ASSERT_TRUE(properties.SaveResults(&store));

    EXPECT_EQ(store.name, "Acme X1");
    EXPECT_EQ(store.connection[0], "cam");
    EXPECT_EQ(store.connection[1], "8000");
    EXPECT_EQ(store.connection[2], "u");
    EXPECT_EQ(store.connection[3], "p");
    const std::map<uint32_t, uint32_t> keys{{0, 131073}, {1, 1}, {7, 1}, {8, 1}, {11, 0}, {12, 0}};
    EXPECT_EQ(store.values, keys); // no key 27: host version unknown
    ASSERT_EQ(store.resolutions.size(), 2u);
    EXPECT_EQ(store.resolutions[0].text, "1280x720");
    EXPECT_EQ(store.resolutions[0].frameValue, 40u); // largest rate of the stream
    EXPECT_EQ(store.resolutions[1].text, "1920x1080");
    EXPECT_EQ(store.resolutions[1].width, 1920u);
    EXPECT_EQ(store.resolutions[1].height, 1080u);
    EXPECT_EQ(store.resolutions[1].frameValue, 40u);
    EXPECT_EQ(store.frameValues, (std::vector<uint32_t>{200, 67, 40}));
    EXPECT_TRUE(properties.parametersWritten);
    EXPECT_EQ(store.properties.at(1).value, "0");
    EXPECT_EQ(store.properties.at(1).type, 1u);
    EXPECT_EQ(store.properties.at(1).flag, 0u);
}

TEST(CameraProperties, SaveResultsStopsAtTheFirstFailingStep)
{
    {
        FakeProperties properties;
        properties.FillPlainDevice();
        EXPECT_FALSE(properties.SaveResults(nullptr));
        properties.model.clear();
        host::CapabilityStore store;
        EXPECT_FALSE(properties.SaveResults(&store));
        EXPECT_TRUE(store.name.empty());
    }
    {
        FakeProperties properties;
        properties.FillPlainDevice();
        properties.manufacturer.clear();
        properties.streams[0].codecs = {7};
        host::CapabilityStore store;
        EXPECT_FALSE(properties.SaveResults(&store));
        EXPECT_EQ(store.name, "X1");
        EXPECT_EQ(store.connection[3], "p");
        EXPECT_TRUE(store.values.empty());
    }
    {
        FakeProperties properties(1);
        properties.FillPlainDevice();
        properties.streams[0].framerates.clear();
        host::CapabilityStore store;
        EXPECT_FALSE(properties.SaveResults(&store));
        EXPECT_EQ(store.resolutions.at(0).frameValue, 33u); // 30-frame standard, no rates
        EXPECT_FALSE(properties.parametersWritten);
    }
    {
        FakeProperties properties;
        properties.FillPlainDevice();
        properties.parametersResult = false;
        host::CapabilityStore store;
        EXPECT_FALSE(properties.SaveResults(&store));
        EXPECT_EQ(store.values.at(11), 0u);
    }
}

TEST(CameraProperties, StreamPropertiesFollowHostVersionAndStreamCount)
{
    auto save = [](uint16_t minor, uint16_t streams) {
        WithHost properties(6, minor);
        properties.FillPlainDevice();
        properties.streamCount = streams;
        properties.streams[1].resolutions = {{{640, 480}, 25}};
        properties.streams[2].codecs = {CapsCodecMpeg4};
        auto store = std::make_unique<host::CapabilityStore>();
        EXPECT_TRUE(properties.SaveResults(store.get()));
        return store;
    };
    auto three = save(4, 3);
    EXPECT_EQ(three->values.at(27), 2u);
    EXPECT_EQ(three->properties.at(120).name, "Live Stream: Supported Codecs");
    EXPECT_EQ(three->properties.at(120).value, "(none)");
    EXPECT_EQ(three->properties.at(121).value, "640x480:40");
    EXPECT_EQ(three->properties.at(122).value, "(none)");
    EXPECT_EQ(three->properties.at(124).value, "mpeg");
    EXPECT_EQ(three->properties.at(126).name, "Remote Stream: Supported Framerates");

    auto two = save(1, 2);
    EXPECT_EQ(two->values.at(27), 1u);
    EXPECT_EQ(two->properties.count(121), 1u);
    EXPECT_EQ(two->properties.count(124), 0u);

    auto oldHost = save(0, 3);
    EXPECT_EQ(oldHost->values.count(27), 0u);
    EXPECT_EQ(oldHost->properties.count(120), 0u);
    EXPECT_EQ(oldHost->properties.count(124), 0u);
}

TEST(CameraProperties, OptionalKeysAndAudio)
{
    WithHost properties(6, 4);
    properties.FillPlainDevice();
    properties.flagKey5 = properties.flagKey12 = true;
    properties.valueKey3 = 9;
    properties.featureMode = 2;
    properties.featureValue = 4;
    properties.audioInput.count = 2;
    properties.audioInput.stereo = true;
    properties.audioOutput.count = 1;
    host::CapabilityStore store;
    ASSERT_TRUE(properties.SaveResults(&store));
    EXPECT_EQ(store.values.at(5), 1u);
    EXPECT_EQ(store.values.at(12), 1u);
    EXPECT_EQ(store.values.count(2), 0u);
    EXPECT_EQ(store.values.at(3), 9u);
    EXPECT_EQ(store.values.at(13), 4u);
    EXPECT_EQ(store.values.at(15), 1u);
    EXPECT_EQ(store.values.count(14), 0u);
    EXPECT_EQ(store.values.at(17), 0u);
    EXPECT_EQ(store.values.at(4), 2u);
    EXPECT_EQ(store.properties.at(101).value, "Count=2; IsStereo=1");
    EXPECT_EQ(store.properties.at(102).name, "Audio Output Parameters");
    EXPECT_EQ(store.properties.at(102).value, "Count=1; IsStereo=0");
}

TEST(CameraProperties, AddTextPropertyIgnoresUnnamedOrUnnumbered)
{
    host::CapabilityStore store;
    EXPECT_TRUE(FakeProperties::AddTextProperty(&store, 0, "Zero", "x"));
    EXPECT_TRUE(FakeProperties::AddTextProperty(&store, -3, "Negative", "x"));
    EXPECT_TRUE(FakeProperties::AddTextProperty(&store, 4, "", "x"));
    EXPECT_TRUE(store.properties.empty());
    EXPECT_TRUE(FakeProperties::AddTextProperty(&store, 4, "Empty", ""));
    EXPECT_EQ(store.properties.at(4).value, "(none)");
}
