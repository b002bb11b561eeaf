#include <gtest/gtest.h>

#include <atomic>
#include <new>

#include <velkora/exports.h>

#include "capability/CVerintCapabilityQueryModule.h"
#include "host/CapabilityStore.h"
#include "host/QuerySink.h"
#include "unit/capability/FakeProperties.h"

using namespace std::chrono_literals;
using velkora::CVerintCapabilityQueryModule;
using velkora::test::FakeProperties;
using Script = std::function<bool(FakeProperties&, uint32_t*)>;

// The nothrow allocation that the entry points use can be made to fail once.
// Every other allocation goes through the ordinary operator new, so that the
// sanitizers see matching allocation and release.
namespace {
std::atomic<bool> failNextNothrowNew{false};
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (failNextNothrowNew.exchange(false))
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

// The device family's module with a scripted discovery.
struct ScriptedModule : CVerintCapabilityQueryModule {
    ScriptedModule(host::QuerySink* sink, Script script) : CVerintCapabilityQueryModule(sink, false), script(script) {}
    velkora::CBaseCameraProperties* CreateProperties() override
    {
        auto* properties = new FakeProperties(videoStandard);
        properties->deviceInfo = deviceInfo;
        properties->query = script;
        properties->destroyed = destroyed;
        return properties;
    }
    using velkora::CCapabilityQueryModule::stopWaitMs;
    Script script;
    std::shared_ptr<velkora::CManualEvent> destroyed;
};

// Runs one scripted query to its report.
host::QueryOutcome RunQuery(Script script, const char* address = "cam")
{
    host::QuerySink sink;
    host::CapabilityStore store;
    ScriptedModule module(&sink, std::move(script));
    EXPECT_EQ(module.Start(address, 8080, "user", "pw", &store), 1u);
    EXPECT_TRUE(sink.WaitForEnd(30s));
    return sink.Outcome();
}

}  // namespace

TEST(QueryModule, SetAddressSplitsHostPortAndPtzPort)
{
    host::QuerySink sink;
    CVerintCapabilityQueryModule module(&sink, false);
    struct Case {
        const char* address;
        uint16_t port;
        const char* expected;
    };  // "host:port ptzPort"
    for (const Case& c : {Case{"cam:8000", 8080, "cam:8000 8080"},
                          {"cam", 80, "cam:80 8080"},
                          {"cam", 0, "cam:80 8080"},
                          {"cam", 81, "cam:80 81"},
                          {"cam:0", 81, "cam:0:80 81"},
                          {":80", 81, ":80:80 81"},
                          {"cam:80a", 81, "cam:80a:80 81"},
                          {"cam:65616", 81, "cam:65616:80 81"}}) {
        module.SetAddress(c.address, c.port);
        const velkora::DEVICE_INFO& device = module.deviceInfo;
        EXPECT_EQ(device.host + ":" + std::to_string(device.port) + " " + std::to_string(module.ptzPort), c.expected);
    }
}

TEST(QueryModule, OneReportWithItsKindAndText)
{
    for (const char* address : {"cam:0", "user@cam", "cam;x", "cam/path", "c\"am", "ca?m"}) {
        host::QueryOutcome outcome = RunQuery([](FakeProperties&, uint32_t*) -> bool { throw "unreached"; }, address);
        EXPECT_EQ(outcome.failureKind, 0u) << address;
        EXPECT_EQ(outcome.failureText, "Failed to start capability fetching thread. Device address is invalid!");
    }
    struct Case {
        uint32_t kind;
        const char* detail;
        std::string text;
    };
    const std::string prefix = "Failed to get camera properties";
    // Login, HTTP detail and abort texts come from the query against the simulated camera.
    for (const Case& c : {Case{2, "x", prefix + ", device is offline or is located in unaccessible subnet"},
                          {3, "", prefix},
                          {7, "x", prefix}}) {
        host::QueryOutcome outcome = RunQuery([&c](FakeProperties& properties, uint32_t* kind) {
            *kind = c.kind;
            properties.errorText = c.detail;
            return false;
        });
        EXPECT_EQ(outcome.failed, 1);
        EXPECT_EQ(outcome.failureKind, c.kind);
        EXPECT_EQ(outcome.failureText, c.text);
    }
    EXPECT_EQ(RunQuery([](FakeProperties& p, uint32_t*) { return p.FillPlainDevice(), true; }).completed, 1);
    host::QueryOutcome unsaved = RunQuery([](FakeProperties&, uint32_t*) { return true; });  // no model
    EXPECT_EQ(unsaved.failureKind, 3u);
    EXPECT_EQ(unsaved.failureText, "Failed to save capability query results");
}

TEST(QueryModule, HungQueryIsAbandonedAndReportedKilled)
{
    host::QuerySink sink;
    host::CapabilityStore store;
    velkora::CManualEvent release;
    auto released = std::make_shared<velkora::CManualEvent>();
    {
        ScriptedModule module(&sink, [&](FakeProperties& properties, uint32_t*) {
            release.Wait(velkora::WaitInfinite);  // deaf to the abort
            return properties.FillPlainDevice(), true;
        });
        module.stopWaitMs = 50;
        module.destroyed = released;
        ASSERT_EQ(module.Start("cam", 8080, "user", "pw", &store), 1u);
    }
    EXPECT_EQ(sink.Outcome().killed, 1);
    // The abandoned thread ends later without touching the sink or the store.
    release.Set();
    ASSERT_TRUE(released->Wait(30000));
    EXPECT_EQ(sink.Outcome().completed, 0);
    EXPECT_TRUE(store.name.empty());
}

TEST(QueryExports, GlobalModuleSequencing)
{
    host::QuerySink sink;
    host::CapabilityStore store;
    EXPECT_EQ(UninitCapabilityQuery(), 1u);
    EXPECT_EQ(TerminateCapabilityQuery(), 1u);
    EXPECT_EQ(StartCapabilityQuery("cam", 80, "u", "p", &store), 0u);  // no module yet
    EXPECT_EQ(InitCapabilityQuery(&sink, true), 1u);
    EXPECT_EQ(InitCapabilityQuery(&sink, true), 0u);
    EXPECT_EQ(StartCapabilityQuery("cam", 80, nullptr, "p", &store), 0u);
    EXPECT_EQ(StartCapabilityQuery(nullptr, 80, "u", "p", &store), 0u);
    // Empty credentials are accepted; an invalid address fails on the thread
    // without any network exchange.
    EXPECT_EQ(StartCapabilityQuery("user@cam", 80, "", "", &store), 1u);
    ASSERT_TRUE(sink.WaitForEnd(30s));
    EXPECT_EQ(StartCapabilityQuery("cam", 80, "u", "p", &store), 0u);  // a module serves one query
    EXPECT_EQ(UninitCapabilityQuery(), 1u);
    EXPECT_EQ(sink.Outcome().failed, 1);
    DeleteCapabilityQueryModule(CreateCapabilityQueryModule(&sink, false));
    DeleteCapabilityQueryModule(nullptr);
}

TEST(QueryExports, InitReportsAFailedAllocation)
{
    host::QuerySink sink;
    host::CapabilityStore store;
    failNextNothrowNew = true;
    EXPECT_EQ(InitCapabilityQuery(&sink, true), 0u);
    EXPECT_FALSE(failNextNothrowNew);  // the entry point's own allocation was the one refused
    EXPECT_EQ(StartCapabilityQuery("cam", 80, "u", "p", &store), 0u);
    EXPECT_EQ(InitCapabilityQuery(&sink, true), 1u);  // the next attempt may succeed
    EXPECT_EQ(UninitCapabilityQuery(), 1u);
}
