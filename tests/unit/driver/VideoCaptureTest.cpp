#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/CIPVideoCapture.h"
#include "host/Frames.h"
#include "host/StreamSettings.h"

using namespace velkora;

namespace {

std::string Describe(const StreamParams& p)
{
    return std::to_string(p.frameRate) + " q" + std::to_string(p.quality) + " " + std::to_string(p.width) + "x" +
           std::to_string(p.height) + " c" + std::to_string(p.codec) + " k" + std::to_string(p.kind);
}

// Makes channels that write what happens to them into its log, as "what #serial kKind".
class TestCreator : public IVideoChannelCreator
{
public:
    class Channel : public ICameraChannel
    {
    public:
        Channel(TestCreator& creator, uint32_t index) : c_(creator), index_(index), serial_(++creator.serial) {}
        ~Channel() override { Note("delete"); }
        uint32_t GetChannelIndex() override { return index_; }
        ipcapture::IHostChannelSink* GetSink() override { return nullptr; }
        void SetListener(ipcapture::IChannelListener*) override {}
        void SetStreamOption(uint32_t option) override { c_.streamOption = option; }
        bool Start(const StreamParams& params) override
        {
            kind_ = params.kind;
            c_.starts.push_back(Describe(params));
            Note("start");
            return c_.startResult;
        }
        void Stop() override { Note("stop"); }
        bool Restart(const StreamParams& params) override { return c_.restarts.push_back(Describe(params)), true; }
        bool QueryCapability1() override { return true; }
        bool QueryCapability2() override { return false; }
        uint32_t GetChannelState() override { return 42; }

    private:
        void Note(const char* what)
        {
            c_.events.push_back(what + (" #" + std::to_string(serial_)) + " k" + std::to_string(kind_));
        }
        TestCreator& c_;
        uint32_t index_;
        int serial_;
        uint32_t kind_ = 99;
    };

    ICameraChannel* CreateVideoChannel(uint32_t channel, ipcapture::IHostChannelSink*, uint32_t codec) override
    {
        lastCodec = codec;
        return makeChannels ? new Channel(*this, channel) : nullptr;
    }
    ISecondaryChannel* CreateSecondaryChannel(uint32_t, ipcapture::IHostChannelSink*) override { return nullptr; }
    IEdgeMonitor* CreateEdgeMonitor() override { return nullptr; }

    std::vector<std::string> events, starts, restarts;
    uint32_t streamOption = 0, lastCodec = 0;
    bool makeChannels = true, startResult = true;
    int serial = 0;
};

class VideoCaptureTest : public ::testing::Test
{
protected:
    TestCreator creator;
    CIPVideoCapture capture{&creator, 2};
    host::ChannelSink sink;
    host::StreamSettings settings{host::StreamRecord{0x7000 | 15, 70, 1920, 1080, 3, 77, 0}};
};

}  // namespace

TEST_F(VideoCaptureTest, OpenChannelStartsAChannelWithTheHostsSettings)
{
    ASSERT_TRUE(capture.OpenChannel(1, &sink, &settings));
    EXPECT_EQ(creator.starts, std::vector<std::string>{std::to_string(0x7000 | 15) + " q70 1920x1080 c3 k0"});
    EXPECT_EQ(creator.lastCodec, 3u);
    EXPECT_EQ(creator.streamOption, 77u);

    uint32_t state = 0, error = 9;
    char text[8] = "old";
    EXPECT_TRUE(capture.GetChannelState(1, &state, &error, text, 0));
    EXPECT_EQ(state, 42u);
    EXPECT_EQ(error, 0u);
    EXPECT_STREQ(text, "old");  // a zero-size buffer is not touched
    EXPECT_TRUE(capture.GetChannelState(1, &state, &error, text, sizeof text));
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));  // nothing open there
}

TEST_F(VideoCaptureTest, ChannelIndexBeyondTheCountOrAnUnknownKindFails)
{
    EXPECT_EQ(capture.GetChannelCount(), 2u);
    uint32_t state = 5, error = 5;
    char text[4] = "abc";
    EXPECT_FALSE(capture.OpenChannel(2, &sink, &settings) || capture.OpenStream(2, 1, &sink, &settings) ||
                 capture.CloseChannel(2) || capture.CloseStream(2, 0));
    EXPECT_FALSE(capture.GetChannelState(2, &state, &error, text, sizeof text));
    EXPECT_EQ(error, 5u);  // no side effects
    EXPECT_STREQ(text, "abc");
    EXPECT_TRUE(creator.events.empty());
    EXPECT_FALSE(capture.OpenStream(0, 4, &sink, &settings));  // no slot for kind 4
}

TEST_F(VideoCaptureTest, ReopeningClosesEveryStreamOfTheChannelFirst)
{
    ASSERT_TRUE(capture.OpenChannel(0, &sink, &settings));
    ASSERT_TRUE(capture.OpenStream(0, 1, &sink, &settings));
    ASSERT_TRUE(capture.OpenStream(1, 2, &sink, &settings));  // another channel stays
    creator.events.clear();
    ASSERT_TRUE(capture.OpenChannel(0, &sink, &settings));
    EXPECT_EQ(creator.events,
              (std::vector<std::string>{"stop #1 k0", "delete #1 k0", "stop #2 k1", "delete #2 k1", "start #4 k0"}));
    creator.events.clear();
    EXPECT_TRUE(capture.CloseChannel(0));
    EXPECT_FALSE(capture.CloseChannel(0));
    EXPECT_EQ(creator.events, (std::vector<std::string>{"stop #4 k0", "delete #4 k0"}));
}

TEST_F(VideoCaptureTest, FailedStartKeepsTheChannelUntilClose)
{
    creator.startResult = false;
    EXPECT_FALSE(capture.OpenChannel(0, &sink, &settings));
    uint32_t state = 0;
    EXPECT_TRUE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));
    EXPECT_TRUE(capture.CloseChannel(0));
    creator.startResult = true;
    settings = host::StreamSettings{host::StreamRecord{25, 50, 640, 480, 3, 0, 1}};
    EXPECT_TRUE(capture.OpenChannel(0, &sink, &settings));

    creator.makeChannels = false;  // creation failure leaves the slot empty
    EXPECT_FALSE(capture.OpenChannel(0, &sink, &settings));
    EXPECT_FALSE(capture.OpenStream(0, 1, &sink, &settings));
    EXPECT_FALSE(capture.CloseChannel(0));
}

TEST_F(VideoCaptureTest, StreamsByKindAndChangeChannelRestartsTheRecordingStream)
{
    EXPECT_FALSE(capture.CloseStream(0, 2));
    ASSERT_TRUE(capture.OpenStream(0, 2, &sink, &settings));
    EXPECT_EQ(creator.events.back(), "start #1 k2");
    EXPECT_FALSE(capture.CloseStream(0, 1));
    EXPECT_TRUE(capture.CloseStream(0, 2));
    EXPECT_FALSE(capture.CloseStream(0, 2));

    host::Resolution resolution(640, 360);
    EXPECT_FALSE(capture.ChangeChannel(0, &resolution, 40));
    ASSERT_TRUE(capture.OpenStream(0, 1, &sink, &settings));
    EXPECT_FALSE(capture.ChangeChannel(0, &resolution, 40));  // only kind 0 is changed
    ASSERT_TRUE(capture.OpenChannel(0, &sink, &settings));
    EXPECT_TRUE(capture.ChangeChannel(0, &resolution, 40));
    EXPECT_EQ(creator.restarts, std::vector<std::string>{"40 q0 640x360 c0 k0"});
}

TEST_F(VideoCaptureTest, EdgeStorageParameter)
{
    uint16_t value = 1;
    uint32_t wide = 1;
    EXPECT_FALSE(capture.SetParameter("EdgeStorageState", reinterpret_cast<uint16_t*>(&wide), 4));
    EXPECT_FALSE(capture.SetParameter("edgestoragestate", &value, 2));
    EXPECT_FALSE(capture.GetParameter(nullptr, &value, 2));
    for (uint16_t set : {1, 0}) {
        value = set;
        EXPECT_TRUE(capture.SetParameter("EdgeStorageState", &value, 2));
        value = 7;
        EXPECT_TRUE(capture.GetParameter("EdgeStorageState", &value, 2));
        EXPECT_EQ(value, set);
    }
}
