#include <gtest/gtest.h>

#include <velkora/exports.h>

#include "capability/CVerintCapabilityQueryModule.h"
#include "host/CapabilityStore.h"
#include "host/QuerySink.h"
#include "unit/capability/FakeProperties.h"

using namespace std::chrono_literals;
using velkora::CVerintCapabilityQueryModule;
using velkora::test::FakeProperties;
using Script = std::function<bool(FakeProperties&, uint32_t*)>;

namespace {

// The device family's module with a scripted discovery.
class ScriptedModule : public CVerintCapabilityQueryModule {
public:
    ScriptedModule(host::QuerySink* sink, Script script, uint32_t stopWait = 15000,
                   std::shared_ptr<velkora::CManualEvent> destroyed = nullptr)
        : CVerintCapabilityQueryModule(sink, false), script_(std::move(script)), destroyed_(std::move(destroyed)) {
        stopWaitMs = stopWait;
    }

    velkora::CBaseCameraProperties* CreateProperties() override {
        auto* properties = new FakeProperties(videoStandard);
        properties->deviceInfo = deviceInfo;
        properties->query = script_;
        properties->destroyed = destroyed_;
        return properties;
    }

private:
    Script script_;
    std::shared_ptr<velkora::CManualEvent> destroyed_;
};

// Runs one scripted query to its report.
host::QueryOutcome RunQuery(Script script, const char* address = "cam") {
    host::QuerySink sink;
    host::CapabilityStore store;
    ScriptedModule module(&sink, std::move(script));
    EXPECT_EQ(module.Start(address, 8080, "user", "pw", &store), 1u);
    EXPECT_TRUE(sink.WaitForEnd(30s));
    return sink.Outcome();
}

bool FillAndSucceed(FakeProperties& properties, uint32_t*) {
    properties.FillPlainDevice();
    return true;
}

} // namespace

TEST(QueryModule, SetAddressSplitsHostPortAndPtzPort) {
    host::QuerySink sink;
    CVerintCapabilityQueryModule module(&sink, false);
    EXPECT_EQ(module.ptzPort, 8080);
    struct Case { const char* address; uint16_t port; const char* host; uint16_t devicePort; uint16_t ptzPort; };
    const Case cases[] = {
        {"cam:8000", 8080, "cam", 8000, 8080}, {"cam", 80, "cam", 80, 8080},       {"cam", 0, "cam", 80, 8080},
        {"cam", 81, "cam", 80, 81},            {"cam:0", 81, "cam:0", 80, 81},     {":80", 81, ":80", 80, 81},
        {"cam:80a", 81, "cam:80a", 80, 81},    {"cam:65616", 81, "cam:65616", 80, 81},
    };
    for (const Case& c : cases) {
        module.SetAddress(c.address, c.port);
        EXPECT_EQ(module.deviceInfo.host, c.host) << c.address;
        EXPECT_EQ(module.deviceInfo.port, c.devicePort) << c.address;
        EXPECT_EQ(module.ptzPort, c.ptzPort) << c.address;
    }
}

TEST(QueryModule, OneReportWithItsKindAndText) {
    for (const char* address : {"cam:0", "user@cam", "cam;x", "cam/path", "c\"am", "ca?m"}) {
        host::QueryOutcome outcome = RunQuery([](FakeProperties&, uint32_t*) -> bool { throw "never queried"; },
                                              address);
        EXPECT_EQ(outcome.failureKind, 0u) << address;
        EXPECT_EQ(outcome.failureText, "Failed to start capability fetching thread. Device address is invalid!");
    }
    struct Case { uint32_t kind; const char* detail; const char* text; };
    const Case cases[] = {
        {1, "", "Failed to get camera properties, login failed (invalid credentials)"},
        {1, "HTTP status code: 401", "Failed to get camera properties: HTTP status code: 401"},
        {2, "x", "Failed to get camera properties, device is offline or is located in unaccessible subnet"},
        {3, "", "Failed to get camera properties"},
        {3, "Query was aborted", "Failed to get camera properties: Query was aborted"},
        {7, "x", "Failed to get camera properties"},
    };
    for (const Case& c : cases) {
        host::QueryOutcome outcome = RunQuery([&c](FakeProperties& properties, uint32_t* kind) {
            *kind = c.kind;
            properties.errorText = c.detail;
            return false;
        });
        EXPECT_EQ(outcome.failed, 1);
        EXPECT_EQ(outcome.failureKind, c.kind);
        EXPECT_EQ(outcome.failureText, c.text);
    }
    EXPECT_EQ(RunQuery(FillAndSucceed).completed, 1);
    host::QueryOutcome unsaved = RunQuery([](FakeProperties&, uint32_t*) { return true; }); // no model
    EXPECT_EQ(unsaved.failureKind, 3u);
    EXPECT_EQ(unsaved.failureText, "Failed to save capability query results");
}

TEST(QueryModule, TerminateAbortsARunningQueryWithOneFailure) {
    host::QuerySink sink;
    host::CapabilityStore store;
    {
        ScriptedModule module(&sink, [](FakeProperties& properties, uint32_t* kind) {
            properties.abortEvent.Wait(velkora::WaitInfinite);
            *kind = 3;
            properties.errorText = "Query was aborted";
            return false;
        });
        ASSERT_EQ(module.Start("cam", 8080, "user", "pw", &store), 1u);
        module.Terminate();
        ASSERT_TRUE(sink.WaitForEnd(30s));
        EXPECT_GE(static_cast<FakeProperties*>(module.properties.get())->aborts.load(), 1);
    }
    const host::QueryOutcome outcome = sink.Outcome();
    EXPECT_EQ(outcome.failed + outcome.completed + outcome.killed, 1);
    EXPECT_EQ(outcome.failureText, "Failed to get camera properties: Query was aborted");
}

TEST(QueryModule, HungQueryIsAbandonedAndReportedKilled) {
    host::QuerySink sink;
    host::CapabilityStore store;
    velkora::CManualEvent release;
    auto released = std::make_shared<velkora::CManualEvent>();
    {
        ScriptedModule module(
            &sink,
            [&](FakeProperties& properties, uint32_t* kind) {
                release.Wait(velkora::WaitInfinite); // deaf to the abort
                return FillAndSucceed(properties, kind);
            },
            50, released);
        ASSERT_EQ(module.Start("cam", 8080, "user", "pw", &store), 1u);
    }
    EXPECT_EQ(sink.Outcome().killed, 1);
    // The abandoned thread ends later without touching the sink or the store.
    release.Set();
    ASSERT_TRUE(released->Wait(30000));
    EXPECT_EQ(sink.Outcome().completed, 0);
    EXPECT_TRUE(store.name.empty());
}

TEST(QueryExports, GlobalModuleSequencing) {
    host::QuerySink sink;
    host::CapabilityStore store;
    EXPECT_EQ(UninitCapabilityQuery(), 1u);
    EXPECT_EQ(TerminateCapabilityQuery(), 1u);
    EXPECT_EQ(StartCapabilityQuery("cam", 80, "u", "p", &store), 0u); // no module yet
    EXPECT_EQ(InitCapabilityQuery(&sink, true), 1u);
    EXPECT_EQ(InitCapabilityQuery(&sink, true), 0u);
    EXPECT_EQ(StartCapabilityQuery("cam", 80, nullptr, "p", &store), 0u);
    EXPECT_EQ(StartCapabilityQuery(nullptr, 80, "u", "p", &store), 0u);
    // Empty credentials are accepted; an invalid address fails on the thread
    // without any network exchange.
    EXPECT_EQ(StartCapabilityQuery("user@cam", 80, "", "", &store), 1u);
    ASSERT_TRUE(sink.WaitForEnd(30s));
    EXPECT_EQ(StartCapabilityQuery("cam", 80, "u", "p", &store), 0u); // a module serves one query
    EXPECT_EQ(UninitCapabilityQuery(), 1u);
    EXPECT_EQ(sink.Outcome().failed, 1);
    DeleteCapabilityQueryModule(CreateCapabilityQueryModule(&sink, false));
    DeleteCapabilityQueryModule(nullptr);
}
