// The H.264 channel's own ONVIF duties, driven directly with a device context of the test.
#include <cstdarg>
#include <mutex>

#include "SimHost.h"
#include "channels/CH264ChannelRTSP.h"

using namespace channeltest;

namespace {

class TestDriver : public velkora::IDriver {
public:
    TestDriver(const sim::Simulator& camera)
    {
        info.host = "127.0.0.1";
        info.port = camera.Ports().http;
        info.user = info.password = "admin";
        parameters = {"0", "", "", "/onvif/device_service", "/onvif/media_service", "", "", "Digest",
                      FixedProfilesConfiguration(1), std::to_string(camera.Ports().rtsp)};
    }
    std::string GetName() override { return info.host + ":" + std::to_string(info.port); }
    void DebugMessage(int32_t level, const char* format, ...) override
    {
        char text[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        std::lock_guard lock(mutex);
        messages.push_back({level, text});
    }
    std::string GetModuleName() override { return "Harnoquistel"; }
    std::string GetHostDirectory() override { return "/"; }
    const velkora::DEVICE_INFO& GetDeviceInfo() override { return info; }
    std::pair<uint32_t, uint32_t> GetChannelValues() override { return {0, 0}; }
    velkora::ipcapture::IHostFrameFactory* GetHostContext() override { return nullptr; }
    int32_t GetVideoStandard() override { return 0; }
    uint32_t GetCodecType() override { return 3; }
    uint32_t GetChannelCount() override { return 1; }
    std::string GetParameterString(uint32_t index) override
    {
        return index >= 1 && index <= parameters.size() ? parameters[index - 1] : std::string();
    }
    int32_t GetParameterInt(uint32_t) override { return 0; }
    uint16_t GetPTZPort() override { return 0; }

    size_t Count(const std::string& fragment)
    {
        std::lock_guard lock(mutex);
        return static_cast<size_t>(std::count_if(messages.begin(), messages.end(), [&](const auto& m) {
            return m.second.find(fragment) != std::string::npos;
        }));
    }

    velkora::DEVICE_INFO info;
    std::vector<std::string> parameters;
    std::mutex mutex;
    std::vector<std::pair<int32_t, std::string>> messages;
};

class TestChannel : public velkora::CH264ChannelRTSP {
public:
    using CH264ChannelRTSP::CH264ChannelRTSP;
    using CH264ChannelRTSP::KeepAlive;
    using CH264ChannelRTSP::PrepareStream;
};

class H264Channel : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(camera.Start()); }
    sim::Simulator camera{SimOptions()};
};

}  // namespace

TEST_F(H264Channel, KeepAliveNeedsASelectedProfile)
{
    TestDriver driver(camera);
    host::ChannelSink sink;
    TestChannel channel(0, &driver, &sink);
    channel.KeepAlive();
    EXPECT_EQ(CountRequests(camera, "onvif "), 0u);
}

TEST_F(H264Channel, KeepAliveFailureIsLoggedOncePerRunOfFailures)
{
    TestDriver driver(camera);
    host::ChannelSink sink;
    TestChannel channel(0, &driver, &sink);
    ASSERT_TRUE(channel.PrepareStream());
    EXPECT_EQ(channel.GetProfileToken(), "Profile_1_1");
    const std::string failure = "KeepAlive: Unable to receive media stream URI for profile \"Profile_1_1\"";

    camera.SetFaults(Faults({"onvif-fault=GetStreamUri"}));
    const size_t before = CountRequests(camera, "onvif GetStreamUri");
    channel.KeepAlive();
    channel.KeepAlive();
    EXPECT_EQ(CountRequests(camera, "onvif GetStreamUri"), before + 2);
    EXPECT_EQ(driver.Count(failure), 1u);

    // A successful preparation ends the run: the next failure is news again.
    camera.SetFaults({});
    ASSERT_TRUE(channel.PrepareStream());
    camera.SetFaults(Faults({"onvif-fault=GetStreamUri"}));
    channel.KeepAlive();
    EXPECT_EQ(driver.Count(failure), 2u);
}

TEST_F(H264Channel, MessagesAreSentAsText)
{
    TestDriver driver(camera);
    host::ChannelSink sink;
    TestChannel channel(0, &driver, &sink);
    channel.DebugMessage(1, "%s: %s", "m", "quality 50%s %n");
    channel.DebugMessage(1, "%s: %s", "m", "quality 50%s %n");
    EXPECT_EQ(driver.Count("m: quality 50%s %n"), 1u);
}
