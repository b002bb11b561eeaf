#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/CIPVideoCapture.h"
#include "host/Frames.h"
#include "host/StreamSettings.h"

using namespace velkora;

namespace {

// Channels that write what happens to them into a shared log.
struct Log
{
    std::vector<std::string> events;
    std::vector<StreamParams> starts;
    std::vector<StreamParams> restarts;
    uint32_t streamOption = 0;
};

class TestChannel : public ICameraChannel
{
public:
    TestChannel(Log& log, uint32_t index, ipcapture::IHostChannelSink* sink, bool startResult, int serial)
        : log_(log), index_(index), sink_(sink), startResult_(startResult), serial_(serial)
    {
    }
    ~TestChannel() override { Note("delete"); }

    uint32_t GetChannelIndex() override { return index_; }
    ipcapture::IHostChannelSink* GetSink() override { return sink_; }
    void SetListener(ipcapture::IChannelListener*) override {}
    void SetStreamOption(uint32_t option) override { log_.streamOption = option; }
    bool Start(const StreamParams& params) override
    {
        kind_ = params.kind;
        log_.starts.push_back(params);
        Note("start");
        return startResult_;
    }
    void Stop() override { Note("stop"); }
    bool Restart(const StreamParams& params) override { return log_.restarts.push_back(params), true; }
    bool QueryCapability1() override { return true; }
    bool QueryCapability2() override { return false; }
    uint32_t GetChannelState() override { return 42; }

private:
    void Note(const char* what) { log_.events.push_back(std::string(what) + " #" + std::to_string(serial_) + " k" + std::to_string(kind_)); }

    Log& log_;
    uint32_t index_;
    ipcapture::IHostChannelSink* sink_;
    bool startResult_;
    int serial_;
    uint32_t kind_ = 99;
};

class TestCreator : public IVideoChannelCreator
{
public:
    explicit TestCreator(Log& log) : log_(log) {}

    ICameraChannel* CreateVideoChannel(uint32_t channel, ipcapture::IHostChannelSink* sink, uint32_t codec) override
    {
        lastCodec = codec;
        if (!makeChannels)
            return nullptr;
        return new TestChannel(log_, channel, sink, startResult, ++serial_);
    }
    ISecondaryChannel* CreateSecondaryChannel(uint32_t, ipcapture::IHostChannelSink*) override
    {
        return ++secondaryRequests, nullptr;
    }
    IEdgeMonitor* CreateEdgeMonitor() override { return ++edgeMonitorRequests, nullptr; }

    bool makeChannels = true;
    bool startResult = true;
    uint32_t lastCodec = 0;
    int secondaryRequests = 0;
    int edgeMonitorRequests = 0;

private:
    Log& log_;
    int serial_ = 0;
};

class VideoCaptureTest : public ::testing::Test
{
protected:
    Log log;
    TestCreator creator{log};
    CIPVideoCapture capture{&creator, 2};
    host::ChannelSink sink;
    host::StreamSettings settings{host::StreamRecord{0x7000 | 15, 70, 1920, 1080, 3, 77, 0}};
};

} // namespace

TEST_F(VideoCaptureTest, OpenChannelStartsAChannelWithTheHostsSettings)
{
    ASSERT_TRUE(capture.OpenChannel(1, &sink, &settings));
    ASSERT_EQ(log.starts.size(), 1u);
    const StreamParams& params = log.starts[0];
    EXPECT_EQ(params.frameRate, 0x7000u | 15);
    EXPECT_EQ(params.quality, 70u);
    EXPECT_EQ(params.width, 1920);
    EXPECT_EQ(params.height, 1080);
    EXPECT_EQ(params.codec, 3u);
    EXPECT_EQ(params.kind, 0u);
    EXPECT_EQ(creator.lastCodec, 3u);
    EXPECT_EQ(log.streamOption, 77u);
    EXPECT_EQ(creator.secondaryRequests, 0);

    uint32_t state = 0, error = 9;
    char text[8] = "old";
    EXPECT_TRUE(capture.GetChannelState(1, &state, &error, text, 0));
    EXPECT_EQ(state, 42u);
    EXPECT_EQ(error, 0u);
    EXPECT_STREQ(text, "old"); // a zero-size buffer is not touched
    EXPECT_TRUE(capture.GetChannelState(1, &state, &error, text, sizeof text));
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(capture.GetChannelState(0, &state, nullptr, nullptr, 0)); // nothing open there
    // The host's first query is the channel's second, and the reverse.
    EXPECT_FALSE(capture.QueryCapability1(1));
    EXPECT_TRUE(capture.QueryCapability2(1));
    EXPECT_FALSE(capture.QueryCapability2(0));
}

TEST_F(VideoCaptureTest, ChannelIndexBeyondTheCountFailsEverywhere)
{
    EXPECT_EQ(capture.GetChannelCount(), 2u);
    uint32_t state = 5, error = 5;
    char text[4] = "abc";
    EXPECT_FALSE(capture.OpenChannel(2, &sink, &settings) || capture.OpenStream(2, 1, &sink, &settings) ||
                 capture.CloseChannel(2) || capture.CloseStream(2, 0));
    EXPECT_FALSE(capture.GetChannelState(2, &state, &error, text, sizeof text));
    EXPECT_EQ(error, 5u); // no side effects
    EXPECT_STREQ(text, "abc");
    EXPECT_TRUE(log.events.empty());
    EXPECT_FALSE(capture.OpenStream(0, 4, &sink, &settings)); // no slot for kind 4
}

TEST_F(VideoCaptureTest, ReopeningClosesEveryStreamOfTheChannelFirst)
{
    ASSERT_TRUE(capture.OpenChannel(0, &sink, &settings));
    ASSERT_TRUE(capture.OpenStream(0, 1, &sink, &settings));
    ASSERT_TRUE(capture.OpenStream(1, 2, &sink, &settings)); // another channel stays
    log.events.clear();

    ASSERT_TRUE(capture.OpenChannel(0, &sink, &settings));
    EXPECT_EQ(log.events, (std::vector<std::string>{"stop #1 k0", "delete #1 k0", "stop #2 k1", "delete #2 k1",
                                                    "start #4 k0"}));
    log.events.clear();
    EXPECT_TRUE(capture.CloseChannel(0));
    EXPECT_FALSE(capture.CloseChannel(0));
    EXPECT_EQ(log.events, (std::vector<std::string>{"stop #4 k0", "delete #4 k0"}));
}

TEST_F(VideoCaptureTest, FailedStartKeepsTheChannelUntilClose)
{
    creator.startResult = false;
    settings = host::StreamSettings{host::StreamRecord{25, 50, 640, 480, 3, 0, 1}};
    EXPECT_FALSE(capture.OpenChannel(0, &sink, &settings));
    EXPECT_EQ(creator.secondaryRequests, 0); // only asked for after a successful start
    uint32_t state = 0;
    EXPECT_TRUE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));
    EXPECT_TRUE(capture.CloseChannel(0));

    creator.startResult = true;
    EXPECT_TRUE(capture.OpenChannel(0, &sink, &settings));
    EXPECT_EQ(creator.secondaryRequests, 1);

    creator.makeChannels = false; // creation failure leaves the slot empty
    EXPECT_FALSE(capture.OpenChannel(0, &sink, &settings));
    EXPECT_FALSE(capture.OpenStream(0, 1, &sink, &settings));
    EXPECT_FALSE(capture.CloseChannel(0));
}

TEST_F(VideoCaptureTest, StreamsOpenAndCloseByKind)
{
    EXPECT_FALSE(capture.CloseStream(0, 2));
    ASSERT_TRUE(capture.OpenStream(0, 2, &sink, &settings));
    EXPECT_EQ(log.starts.back().kind, 2u);
    EXPECT_FALSE(capture.CloseStream(0, 1));
    EXPECT_TRUE(capture.CloseStream(0, 2));
    EXPECT_FALSE(capture.CloseStream(0, 2));
}

TEST_F(VideoCaptureTest, ChangeChannelRestartsTheRecordingStream)
{
    host::Resolution resolution(640, 360);
    EXPECT_FALSE(capture.ChangeChannel(0, &resolution, 40));
    ASSERT_TRUE(capture.OpenStream(0, 1, &sink, &settings));
    EXPECT_FALSE(capture.ChangeChannel(0, &resolution, 40)); // only kind 0 is changed
    ASSERT_TRUE(capture.OpenChannel(0, &sink, &settings));
    EXPECT_TRUE(capture.ChangeChannel(0, &resolution, 40));
    ASSERT_EQ(log.restarts.size(), 1u);
    const StreamParams& params = log.restarts[0];
    EXPECT_EQ(params.frameRate, 40u);
    EXPECT_EQ(params.quality, 0u);
    EXPECT_EQ(params.width, 640);
    EXPECT_EQ(params.height, 360);
    EXPECT_EQ(params.codec, 0u);
    EXPECT_EQ(params.kind, 0u);
}

TEST_F(VideoCaptureTest, EdgeStorageParameter)
{
    uint16_t value = 1;
    uint32_t wide = 1;
    EXPECT_FALSE(capture.SetParameter("EdgeStorageState", reinterpret_cast<uint16_t*>(&wide), 4));
    EXPECT_FALSE(capture.SetParameter("edgestoragestate", &value, 2));
    EXPECT_FALSE(capture.GetParameter(nullptr, &value, 2));

    EXPECT_TRUE(capture.SetParameter("EdgeStorageState", &value, 2));
    value = 7;
    EXPECT_TRUE(capture.GetParameter("EdgeStorageState", &value, 2));
    EXPECT_EQ(value, 1);
    ASSERT_TRUE(capture.OpenChannel(0, &sink, &settings));
    EXPECT_EQ(creator.edgeMonitorRequests, 1); // asked for, none supplied

    value = 0;
    EXPECT_TRUE(capture.SetParameter("EdgeStorageState", &value, 2));
    value = 7;
    EXPECT_TRUE(capture.GetParameter("EdgeStorageState", &value, 2));
    EXPECT_EQ(value, 0);
}
