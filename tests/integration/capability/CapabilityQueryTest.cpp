#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include <velkora/exports.h>

#include "foundation/ModuleInfo.h"
#include "host/CapabilityStore.h"
#include "host/DebugOutput.h"
#include "host/DeviceSettings.h"
#include "host/Frames.h"
#include "host/QuerySink.h"
#include "host/StreamSettings.h"
#include "onvif/COnvifClient.h"
#include "sim/HttpListener.h"
#include "sim/Simulator.h"

using namespace std::chrono_literals;

namespace {

constexpr char User[] = "admin";
constexpr char Password[] = "secret";

struct QueryResult
{
    host::QueryOutcome outcome;
    std::unique_ptr<host::CapabilityStore> store = std::make_unique<host::CapabilityStore>();
};

class CapabilityQuery : public ::testing::Test
{
protected:
    void StartDevice(unsigned channels, unsigned encoders, std::vector<sim::Fault> faults = {})
    {
        sim::SimulatorOptions options;
        options.httpPort = options.rtspPort = options.ptzPort = 0;
        options.user = User;
        options.password = Password;
        options.channels = channels;
        options.encoders = encoders;
        options.faults = std::move(faults);
        device = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(device->Start(&error)) << error;
    }

    std::string Address() const { return "127.0.0.1:" + std::to_string(device->Ports().http); }

    // Runs a query through the exports, as the host does, to its report.
    QueryResult Query(const std::string& password = Password, std::function<void()> whileRunning = nullptr,
                      uint16_t ptzPort = 0)
    {
        QueryResult result;
        host::QuerySink sink;
        EXPECT_EQ(InitCapabilityQuery(&sink, false), 1u);
        EXPECT_EQ(StartCapabilityQuery(Address().c_str(), ptzPort != 0 ? ptzPort : device->Ports().ptz, User,
                                       password.c_str(), result.store.get()),
                  1u);
        if (whileRunning)
            whileRunning();
        EXPECT_TRUE(sink.WaitForEnd(60s));
        EXPECT_EQ(UninitCapabilityQuery(), 1u);
        result.outcome = sink.Outcome();
        return result;
    }

    // Rebinds every profile of one video source configuration to another over
    // ONVIF, leaving the first without profiles; optionally adds a profile of
    // the given name bound to the second.
    void MoveProfiles(const std::string& from, const std::string& to, const std::string& extraName = {})
    {
        velkora::COnvifClient client(velkora::DEVICE_INFO("127.0.0.1", device->Ports().http, User, Password));
        ASSERT_TRUE(client.Initialize("Digest", ""));
        ASSERT_TRUE(client.SetServiceAddresses({"/onvif/device_service", "/onvif/media_service", "", ""}));
        for (const sim::MediaProfile& profile : device->Device().Profiles()) {
            if (profile.sourceConfiguration == from) {
                ASSERT_TRUE(client.AddVideoSourceConfiguration(profile.token, to));
            }
        }
        if (!extraName.empty()) {
            std::string token;
            ASSERT_TRUE(client.CreateProfile(extraName, token));
            ASSERT_TRUE(client.AddVideoSourceConfiguration(token, to));
        }
    }

    // Names of the device's profiles bound to a video source configuration.
    std::vector<std::string> ProfilesOf(const std::string& source) const
    {
        std::vector<std::string> names;
        for (const sim::MediaProfile& profile : device->Device().Profiles())
            if (profile.sourceConfiguration == source)
                names.push_back(profile.name);
        return names;
    }

    std::vector<std::string> ProfileNames() const
    {
        std::vector<std::string> names;
        for (const sim::MediaProfile& profile : device->Device().Profiles())
            names.push_back(profile.name);
        return names;
    }

    std::unique_ptr<sim::Simulator> device;
};

// Loads a host core library of version 6.4 for the test's duration, so that
// the query counts streams per source.
class CapabilityQueryNewHost : public CapabilityQuery
{
protected:
    void SetUp() override
    {
        library = dlopen(TALMORI_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        velkora::ModuleVersion version;
        ASSERT_TRUE(velkora::GetModuleProductVersion("Talmori.dll", version));
        ASSERT_EQ(version.major * 100 + version.minor, 604);
    }
    void TearDown() override
    {
        if (library != nullptr)
            dlclose(library);
    }

    void* library = nullptr;
};

std::string Parameter(const host::CapabilityStore& store, int32_t number)
{
    auto at = store.properties.find(number);
    return at == store.properties.end() ? "<missing>" : at->second.value;
}

} // namespace

TEST_F(CapabilityQuery, OneChannelDeviceGivesStoreContentsAndTheTenParameters)
{
    StartDevice(1, 2);
    QueryResult result = Query();
    ASSERT_EQ(result.outcome.completed, 1) << result.outcome.failureText;
    const host::CapabilityStore& store = *result.store;

    EXPECT_EQ(store.name, "Harnoquistel Simulated Camera");
    EXPECT_EQ(store.connection[0], "127.0.0.1");
    EXPECT_EQ(store.connection[1], std::to_string(device->Ports().http));
    EXPECT_EQ(store.connection[2], User);
    EXPECT_EQ(store.connection[3], Password);
    const std::map<uint32_t, uint32_t> keys{{0, 65537}, {1, 1}, {8, 1}, {11, 0}, {12, 0}};
    EXPECT_EQ(store.values, keys);
    ASSERT_FALSE(store.resolutions.empty());
    for (const auto& entry : store.resolutions) {
        EXPECT_GT(entry.width, entry.height) << entry.text;
        EXPECT_EQ(entry.text, std::to_string(entry.width) + "x" + std::to_string(entry.height));
    }
    EXPECT_FALSE(store.frameValues.empty());
    EXPECT_NE(store.defaultFrameValue, 0u);

    const char* names[] = {"Video standard", "Firmware version", "PTZ capabilities", "ONVIF Device Service URI",
                           "ONVIF Media Service URI", "ONVIF PTZ Service URI", "Custom ONVIF Namespaces",
                           "ONVIF Authentication", "H.264 ONVIF Video-Source configuration", "RTSP port"};
    for (int32_t number = 1; number <= 10; ++number) {
        ASSERT_EQ(store.properties.count(number), 1u) << number;
        EXPECT_EQ(store.properties.at(number).name, names[number - 1]);
        EXPECT_EQ(store.properties.at(number).type, 1u);
    }
    EXPECT_EQ(Parameter(store, 1), "0");
    EXPECT_EQ(Parameter(store, 2), "1.0.0");
    EXPECT_EQ(Parameter(store, 3), "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; Preset=0");
    EXPECT_EQ(Parameter(store, 4), "/onvif/device_service");
    EXPECT_EQ(Parameter(store, 5), "/onvif/media_service");
    EXPECT_EQ(Parameter(store, 6), "/onvif/ptz_service");
    EXPECT_EQ(Parameter(store, 7), "(none)"); // the PTZ namespace is a built-in one
    EXPECT_EQ(Parameter(store, 8), "Digest");
    EXPECT_EQ(Parameter(store, 9), "source0=VideoSourceConfig_1;profile0=Profile_1_1;encoder0=VideoEncoderConfig_1_1");
    EXPECT_EQ(Parameter(store, 10), "554");
    std::printf("device parameters of the simulator:\n");
    for (int32_t number = 1; number <= 10; ++number)
        std::printf("  %d %s = %s\n", number, names[number - 1], Parameter(store, number).c_str());
}

TEST_F(CapabilityQuery, WrongPasswordOnTheCgiIsALoginFailure)
{
    StartDevice(1, 1);
    QueryResult result = Query("wrong");
    EXPECT_EQ(result.outcome.failed, 1);
    EXPECT_EQ(result.outcome.failureKind, 1u);
    EXPECT_EQ(result.outcome.failureText, "Failed to get camera properties, login failed (invalid credentials)");
    EXPECT_TRUE(result.store->name.empty());
}

TEST_F(CapabilityQuery, UnreachableCgiFailsTheWholeQuery)
{
    StartDevice(1, 1);
    // A port that was free a moment ago: nothing listens there.
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&local), sizeof(local)), 0);
    socklen_t size = sizeof(local);
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&local), &size), 0);
    close(probe);
    const uint16_t closedPort = ntohs(local.sin_port);

    QueryResult result = Query(Password, nullptr, closedPort);
    EXPECT_EQ(result.outcome.failureKind, 3u);
    EXPECT_EQ(result.outcome.failureText, "Failed to get camera properties: Device 127.0.0.1:" +
                                              std::to_string(closedPort) + " is not accessible");
    EXPECT_FALSE(device->WaitForRequest([](const std::string& line) { return line.rfind("onvif", 0) == 0; }, 0ms));
}

TEST_F(CapabilityQuery, CgiAnswering404FailsTheWholeQuery)
{
    StartDevice(1, 1);
    sim::HttpListener notFound; // serves nothing: every path is 404
    std::string error;
    ASSERT_TRUE(notFound.Start("127.0.0.1", 0, &error)) << error;
    QueryResult result = Query(Password, nullptr, notFound.Port());
    notFound.Stop();
    EXPECT_EQ(result.outcome.failureKind, 3u);
    EXPECT_EQ(result.outcome.failureText, "Failed to get camera properties: Device 127.0.0.1:" +
                                              std::to_string(notFound.Port()) +
                                              " returned HTTP 404 status for PTZ capabilities request");
}

TEST_F(CapabilityQuery, RefusedOnvifRequestIsALoginFailure)
{
    StartDevice(1, 1, {sim::Fault{sim::Fault::Kind::Onvif401, "", 0, -1}});
    QueryResult result = Query();
    EXPECT_EQ(result.outcome.failureKind, 1u);
    EXPECT_EQ(result.outcome.failureText,
              "Failed to get camera properties: Unable to receive device model "
              "(Request: <tds:GetDeviceInformation>. HTTP status code: 401)");
}

TEST_F(CapabilityQuery, ProfileRefusingCompatibleEncodersIsPassedOver)
{
    // The device answers the first profile's request with a SOAP fault.
    StartDevice(1, 2, {sim::Fault{sim::Fault::Kind::OnvifFault, "GetCompatibleVideoEncoderConfigurations", 0, 1}});
    QueryResult result = Query();
    ASSERT_EQ(result.outcome.completed, 1) << result.outcome.failureText;
    EXPECT_EQ(Parameter(*result.store, 9),
              "source0=VideoSourceConfig_1;profile0=Profile_1_2;encoder0=VideoEncoderConfig_1_1");

    StartDevice(1, 2, {sim::Fault{sim::Fault::Kind::OnvifFault, "GetCompatibleVideoEncoderConfigurations", 0, -1}});
    result = Query();
    EXPECT_EQ(result.outcome.failureKind, 3u);
    EXPECT_EQ(result.outcome.failureText, "Failed to get camera properties: The "
                                          "<trt:GetCompatibleVideoEncoderConfigurations> request doesn't return "
                                          "any correct configuration");
}

TEST_F(CapabilityQuery, AbortDuringTheMediaSteps)
{
    StartDevice(1, 2, {sim::Fault{sim::Fault::Kind::Slow, "onvif", 300, -1}});
    QueryResult result = Query(Password, [this] {
        ASSERT_TRUE(device->WaitForRequest(
            [](const std::string& line) { return line.find("GetVideoSourceConfigurations") != std::string::npos; },
            30s));
        EXPECT_EQ(TerminateCapabilityQuery(), 1u);
    });
    EXPECT_EQ(result.outcome.failed, 1);
    EXPECT_EQ(result.outcome.completed, 0);
    EXPECT_EQ(result.outcome.failureKind, 3u);
    EXPECT_EQ(result.outcome.failureText, "Failed to get camera properties: Query was aborted");
}

TEST_F(CapabilityQueryNewHost, TwoChannelsPickOneH264EncoderAndProfilePerSource)
{
    StartDevice(2, 2);
    QueryResult result = Query();
    ASSERT_EQ(result.outcome.completed, 1) << result.outcome.failureText;
    EXPECT_EQ(result.store->values.at(0), 65538u);
    EXPECT_EQ(result.store->values.count(27), 0u); // only the main stream for this family
    EXPECT_EQ(Parameter(*result.store, 9),
              "source0=VideoSourceConfig_1;profile0=Profile_1_1;encoder0=VideoEncoderConfig_1_1;"
              "source1=VideoSourceConfig_2;profile1=Profile_2_1;encoder1=VideoEncoderConfig_2_1");
}

// A one- or two-channel device with 1, 2 or 4 encoders per source. On the
// two-channel device the first source is left without profiles, so the query
// creates its own: as many as streams per source (at most 3).
class EncodersPerSource : public CapabilityQueryNewHost,
                          public ::testing::WithParamInterface<std::pair<unsigned, unsigned>>
{
};

TEST_P(EncodersPerSource, CreatesOwnProfilesUpToTheStreamCount)
{
    const auto [channels, encoders] = GetParam();
    StartDevice(channels, encoders);
    if (channels == 2)
        MoveProfiles("VideoSourceConfig_1", "VideoSourceConfig_2");
    const size_t profilesBefore = ProfileNames().size();

    QueryResult result = Query();
    ASSERT_EQ(result.outcome.completed, 1) << result.outcome.failureText;
    EXPECT_EQ(result.store->values.at(0), 65536u + channels);

    std::vector<std::string> created;
    for (unsigned n = 0; n < std::min(encoders, 3u); ++n)
        created.push_back("Velkora_Profile" + std::to_string(n) + "_VideoSourceConfig_1");
    if (channels == 1) {
        EXPECT_EQ(ProfileNames().size(), profilesBefore); // every source already had its profiles
    } else {
        EXPECT_EQ(ProfilesOf("VideoSourceConfig_1"), created);
        EXPECT_EQ(ProfileNames().size(), profilesBefore + created.size());
    }
    const std::string config = Parameter(*result.store, 9);
    EXPECT_EQ(config.rfind("source0=VideoSourceConfig_1;profile0=", 0), 0u) << config;
    EXPECT_NE(config.find(";encoder0=VideoEncoderConfig_1_1"), std::string::npos) << config;
    EXPECT_EQ(config.find("source1=VideoSourceConfig_2") != std::string::npos, channels == 2) << config;
}

INSTANTIATE_TEST_SUITE_P(Devices, EncodersPerSource,
                         ::testing::Values(std::pair{1u, 1u}, std::pair{1u, 2u}, std::pair{1u, 4u},
                                           std::pair{2u, 1u}, std::pair{2u, 2u}, std::pair{2u, 4u}));

TEST_F(CapabilityQueryNewHost, ExistingOwnProfileNamesAreSkipped)
{
    StartDevice(2, 2);
    MoveProfiles("VideoSourceConfig_1", "VideoSourceConfig_2", "Velkora_Profile0_VideoSourceConfig_1");
    QueryResult result = Query();
    ASSERT_EQ(result.outcome.completed, 1) << result.outcome.failureText;
    EXPECT_EQ(ProfilesOf("VideoSourceConfig_1"),
              (std::vector<std::string>{"Velkora_Profile1_VideoSourceConfig_1", "Velkora_Profile2_VideoSourceConfig_1"}));
    const std::vector<std::string> names = ProfileNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "Velkora_Profile0_VideoSourceConfig_1"), 1);
}

// Closing the loop: the device file the query wrote opens capture, and the
// recording stream delivers frames.
TEST_F(CapabilityQuery, DeviceFileFromTheQueryOpensCaptureAndStreams)
{
    StartDevice(1, 2);
    QueryResult result = Query();
    ASSERT_EQ(result.outcome.completed, 1) << result.outcome.failureText;

    char path[] = "/tmp/hq-device-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(host::SaveDeviceFile(path, result.store->ToDeviceRecord(device->Ports().ptz)));
    host::DeviceRecord record;
    ASSERT_TRUE(host::LoadDeviceFile(path, record));
    unlink(path);
    ASSERT_EQ(record.parameters.size(), 10u);

    host::DeviceSettings settings(record);
    host::DebugOutput debug;
    host::FrameFactory frames;
    host::ChannelSink sink;
    host::StreamSettings stream;
    velkora::ipcapture::IIPCaptureDriver* driver = CreateIPCapture();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->Open(&debug, &frames, &settings));
    EXPECT_FALSE(debug.Find("DRIVER IS OPENED").empty());
    velkora::ipcapture::IIPVideoCapture* capture = driver->GetVideoCapture();
    ASSERT_NE(capture, nullptr);
    ASSERT_TRUE(capture->OpenChannel(0, &sink, &stream));
    EXPECT_TRUE(sink.WaitForFrames(10, 30s));
    EXPECT_TRUE(capture->CloseChannel(0));
    driver->Close();
    DeleteIPCapture(driver);
    ASSERT_GE(sink.FrameCount(), 10u);
    EXPECT_GT(sink.Frames().front().width, 0);
}
