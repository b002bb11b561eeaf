#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>

#include <velkora/exports.h>

#include "host/CapabilityStore.h"
#include "host/QuerySink.h"
#include "onvif/COnvifClient.h"
#include "sim/HttpListener.h"
#include "sim/Simulator.h"
#include "support/SimCamera.h"

using namespace std::chrono_literals;

namespace {

constexpr char User[] = "admin";
constexpr char Password[] = "secret";

struct QueryResult {
    host::QueryOutcome outcome;
    std::unique_ptr<host::CapabilityStore> store = std::make_unique<host::CapabilityStore>();

    std::string Parameter(int32_t number) const
    {
        auto at = store->properties.find(number);
        return at == store->properties.end() ? "<missing>" : at->second.value;
    }
};

class CapabilityQuery : public ::testing::Test
{
protected:
    void StartDevice(unsigned channels, unsigned encoders, std::vector<sim::Fault> faults = {})
    {
        sim::SimulatorOptions options = FreePortOptions(channels);
        options.user = User;
        options.password = Password;
        options.encoders = encoders;
        options.faults = std::move(faults);
        device = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(device->Start(&error)) << error;
    }

    // Runs a query through the exports, as the host does, to its report.
    QueryResult Query(const std::string& password = Password, uint16_t ptzPort = 0,
                      std::function<void()> whileRunning = nullptr)
    {
        QueryResult result;
        host::QuerySink sink;
        const std::string address = "127.0.0.1:" + std::to_string(device->Ports().http);
        EXPECT_EQ(InitCapabilityQuery(&sink, false), 1u);
        EXPECT_EQ(StartCapabilityQuery(address.c_str(), ptzPort != 0 ? ptzPort : device->Ports().ptz, User,
                                       password.c_str(), result.store.get()),
                  1u);
        if (whileRunning)
            whileRunning();
        EXPECT_TRUE(sink.WaitForEnd(60s));
        EXPECT_EQ(UninitCapabilityQuery(), 1u);
        result.outcome = sink.Outcome();
        EXPECT_EQ(result.outcome.failed + result.outcome.completed + result.outcome.killed, 1);  // one report
        return result;
    }

    // Rebinds the profiles of source configuration `from` to `to` over ONVIF; optionally adds a named one to `to`.
    void MoveProfiles(const std::string& from, const std::string& to, const std::string& extraName = {})
    {
        velkora::COnvifClient client(velkora::DEVICE_INFO("127.0.0.1", device->Ports().http, User, Password));
        ASSERT_TRUE(client.Initialize("Digest", ""));
        ASSERT_TRUE(client.SetServiceAddresses({"/onvif/device_service", "/onvif/media_service", "", ""}));
        for (const sim::MediaProfile& profile : device->Device().Profiles())
            ASSERT_TRUE(profile.sourceConfiguration != from || client.AddVideoSourceConfiguration(profile.token, to));
        std::string token;
        ASSERT_TRUE(extraName.empty() ||
                    (client.CreateProfile(extraName, token) && client.AddVideoSourceConfiguration(token, to)));
    }

    // Names of the device's profiles, all or those bound to one source configuration.
    std::vector<std::string> Profiles(const std::string& source = {}) const
    {
        std::vector<std::string> names;
        for (const sim::MediaProfile& profile : device->Device().Profiles())
            if (source.empty() || profile.sourceConfiguration == source)
                names.push_back(profile.name);
        return names;
    }

    std::unique_ptr<sim::Simulator> device;
};

// With a host core library of version 6.4 loaded, the query counts streams per source.
class CapabilityQueryNewHost : public CapabilityQuery
{
protected:
    void SetUp() override { ASSERT_NE(library = dlopen(TALMORI_PATH, RTLD_NOW | RTLD_LOCAL), nullptr) << dlerror(); }
    void TearDown() override
    {
        if (library != nullptr)
            dlclose(library);
    }

    void* library = nullptr;
};

}  // namespace

TEST_F(CapabilityQuery, LoginAndCgiFailures)
{
    StartDevice(1, 1);
    sim::HttpListener notFound;  // serves nothing: every path is 404
    ASSERT_TRUE(notFound.Start("127.0.0.1", 0, nullptr));
    const std::string prefix = "Failed to get camera properties";
    struct Case {
        const char* password;
        uint16_t ptzPort;
        bool refuseOnvif;
        uint32_t kind;
        std::string text;
    };
    const Case cases[] = {
        {"wrong", 0, false, 1, prefix + ", login failed (invalid credentials)"},
        {Password, notFound.Port(), false, 3,
         prefix + ": Device 127.0.0.1:" + std::to_string(notFound.Port()) +
             " returned HTTP 404 status for PTZ capabilities request"},
        {Password, 0, true, 1,
         prefix + ": Unable to receive device model (Request: <tds:GetDeviceInformation>. HTTP status code: 401). "
                  "Wrong user name or password"},
    };
    for (const Case& c : cases) {
        device->SetFaults(c.refuseOnvif ? std::vector<sim::Fault>{{sim::Fault::Kind::Onvif401, "", 0, -1}}
                                        : std::vector<sim::Fault>{});
        QueryResult result = Query(c.password, c.ptzPort);
        EXPECT_EQ(result.outcome.failed, 1);
        EXPECT_EQ(result.outcome.failureKind, c.kind);
        EXPECT_EQ(result.outcome.failureText, c.text);
        EXPECT_TRUE(result.store->name.empty());
    }
}

TEST_F(CapabilityQuery, ProfileRefusingCompatibleEncodersIsPassedOver)
{
    using sim::Fault;
    StartDevice(1, 2, {Fault{Fault::Kind::OnvifFault, "GetCompatibleVideoEncoderConfigurations", 0, 1}});
    QueryResult result = Query();
    ASSERT_EQ(result.outcome.completed, 1) << result.outcome.failureText;
    EXPECT_EQ(result.Parameter(9), "source0=VideoSourceConfig_1;profile0=Profile_1_2;encoder0=VideoEncoderConfig_1_1");
}

TEST_F(CapabilityQuery, AbortDuringTheMediaSteps)
{
    StartDevice(1, 2, {sim::Fault{sim::Fault::Kind::Slow, "onvif", 300, -1}});
    QueryResult result = Query(Password, 0, [this] {
        ASSERT_TRUE(device->WaitForRequest(
            [](const std::string& line) { return line == "onvif GetVideoSourceConfigurations"; }, 30s));
        EXPECT_EQ(TerminateCapabilityQuery(), 1u);
    });
    EXPECT_EQ(result.outcome.failed, 1);
    EXPECT_EQ(result.outcome.failureKind, 3u);
    EXPECT_EQ(result.outcome.failureText, "Failed to get camera properties: Query was aborted");
}

// 1 or 2 channels, 1, 2 or 4 encoders per source. With 2 the first source is left without profiles,
// so the query creates its own: as many as streams per source, at most 3.
class EncodersPerSource : public CapabilityQueryNewHost,
                          public ::testing::WithParamInterface<std::pair<unsigned, unsigned>>
{};

TEST_P(EncodersPerSource, CreatesOwnProfilesUpToTheStreamCount)
{
    const auto [channels, encoders] = GetParam();
    StartDevice(channels, encoders);
    if (channels == 2)
        MoveProfiles("VideoSourceConfig_1", "VideoSourceConfig_2");
    const size_t before = Profiles().size();
    QueryResult result = Query();
    ASSERT_EQ(result.outcome.completed, 1) << result.outcome.failureText;
    EXPECT_EQ(result.store->values.at(0), 65536u + channels);

    std::vector<std::string> created;
    for (unsigned n = 0; channels == 2 && n < std::min(encoders, 3u); ++n)
        created.push_back("Velkora_Profile" + std::to_string(n) + "_VideoSourceConfig_1");
    if (channels == 2) {
        EXPECT_EQ(Profiles("VideoSourceConfig_1"), created);
    }
    EXPECT_EQ(Profiles().size(), before + created.size());
    const std::string config = result.Parameter(9);
    EXPECT_EQ(config.rfind("source0=VideoSourceConfig_1;profile0=", 0), 0u) << config;
    EXPECT_NE(config.find(";encoder0=VideoEncoderConfig_1_1"), std::string::npos) << config;
    EXPECT_EQ(config.find(";source1=VideoSourceConfig_2;") != std::string::npos, channels == 2) << config;
}

INSTANTIATE_TEST_SUITE_P(Devices, EncodersPerSource,
                         ::testing::Values(std::pair{1u, 1u}, std::pair{1u, 2u}, std::pair{1u, 4u}, std::pair{2u, 1u},
                                           std::pair{2u, 2u}, std::pair{2u, 4u}),
                         [](const auto& info) {
                             return std::to_string(info.param.first) + "Channels" + std::to_string(info.param.second) +
                                    "Encoders";
                         });

TEST_F(CapabilityQueryNewHost, ExistingOwnProfileNamesAreSkipped)
{
    StartDevice(2, 2);
    MoveProfiles("VideoSourceConfig_1", "VideoSourceConfig_2", "Velkora_Profile0_VideoSourceConfig_1");
    QueryResult result = Query();
    ASSERT_EQ(result.outcome.completed, 1) << result.outcome.failureText;
    EXPECT_EQ(Profiles("VideoSourceConfig_1"), (std::vector<std::string>{"Velkora_Profile1_VideoSourceConfig_1",
                                                                         "Velkora_Profile2_VideoSourceConfig_1"}));
    const std::vector<std::string> names = Profiles();
    EXPECT_EQ(std::count(names.begin(), names.end(), "Velkora_Profile0_VideoSourceConfig_1"), 1);
}

// The query fills the store with the ten device parameters. (That the device file made from
// it opens capture and streams is the command line tests' to prove: query --save, then record.)
TEST_F(CapabilityQuery, StoreHoldsTheTenDeviceParameters)
{
    StartDevice(1, 2);
    QueryResult result = Query();
    ASSERT_EQ(result.outcome.completed, 1) << result.outcome.failureText;
    const host::CapabilityStore& store = *result.store;
    EXPECT_EQ(store.name, "Harnoquistel Simulated Camera");
    EXPECT_EQ(store.connection[0] + ":" + store.connection[1] + " " + store.connection[2] + " " + store.connection[3],
              "127.0.0.1:" + std::to_string(device->Ports().http) + " admin secret");
    const std::map<uint32_t, uint32_t> keys{{0, 65537}, {1, 1}, {8, 1}, {11, 0}, {12, 0}};
    EXPECT_EQ(store.values, keys);
    ASSERT_FALSE(store.resolutions.empty() || store.frameValues.empty());
    const char* parameters[] = {
        "Video standard=0",
        "Firmware version=1.0.0",
        "PTZ capabilities=Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; Preset=0",
        "ONVIF Device Service URI=/onvif/device_service",
        "ONVIF Media Service URI=/onvif/media_service",
        "ONVIF PTZ Service URI=/onvif/ptz_service",
        "Custom ONVIF Namespaces=(none)",  // the PTZ namespace is a built-in one
        "ONVIF Authentication=Digest",
        ("H.264 ONVIF Video-Source configuration=source0=VideoSourceConfig_1;profile0=Profile_1_1;"
         "encoder0=VideoEncoderConfig_1_1"),
        "RTSP port=554"};
    for (int32_t number = 1; number <= 10; ++number)
        EXPECT_EQ(store.properties.at(number).name + "=" + store.properties.at(number).value, parameters[number - 1]);
}
