#include <gtest/gtest.h>

#include <velkora/exports.h>

#include "host/CapabilityStore.h"
#include "capability/CVerintCapabilityQueryModule.h"
#include "unit/capability/FakeProperties.h"
#include "unit/capability/RecordingSink.h"

using velkora::CBaseCameraProperties;
using velkora::CVerintCapabilityQueryModule;
using velkora::test::FakeProperties;
using velkora::test::RecordingSink;

namespace {

// The device family's module with a scripted discovery.
class ScriptedModule : public CVerintCapabilityQueryModule
{
public:
    ScriptedModule(RecordingSink* sink, std::function<bool(FakeProperties&, uint32_t*)> script,
                   uint32_t stopWait = 15000, std::shared_ptr<velkora::CManualEvent> destroyed = nullptr)
        : CVerintCapabilityQueryModule(sink, false), script_(std::move(script)), destroyed_(std::move(destroyed))
    {
        stopWaitMs = stopWait;
    }

    CBaseCameraProperties* CreateProperties() override
    {
        auto* properties = new FakeProperties(videoStandard);
        properties->deviceInfo = deviceInfo;
        properties->query = script_;
        properties->destroyed = destroyed_;
        return properties;
    }

private:
    std::function<bool(FakeProperties&, uint32_t*)> script_;
    std::shared_ptr<velkora::CManualEvent> destroyed_;
};

std::function<bool(FakeProperties&, uint32_t*)> Failing(uint32_t kind, std::string detail)
{
    return [kind, detail](FakeProperties& properties, uint32_t* out) {
        *out = kind;
        properties.errorText = detail;
        return false;
    };
}

// Runs one scripted query to its report.
void RunQuery(RecordingSink& sink, std::function<bool(FakeProperties&, uint32_t*)> script,
              const char* address = "cam")
{
    host::CapabilityStore store;
    ScriptedModule module(&sink, std::move(script));
    ASSERT_EQ(module.Start(address, 8080, "user", "pw", &store), 1u);
    ASSERT_TRUE(sink.WaitReport());
}

} // namespace

TEST(QueryModule, SetAddressSplitsHostPortAndPtzPort)
{
    RecordingSink sink;
    CVerintCapabilityQueryModule module(&sink, false);
    EXPECT_EQ(module.ptzPort, 8080);
    EXPECT_EQ(module.deviceInfo.requestTimeout, 7500u);

    struct Case { const char* address; uint16_t port; const char* host; uint16_t devicePort; uint16_t ptzPort; };
    const Case cases[] = {
        {"cam:8000", 8080, "cam", 8000, 8080},
        {"cam", 80, "cam", 80, 8080},
        {"cam", 0, "cam", 80, 8080},
        {"cam", 81, "cam", 80, 81},
        {"cam:0", 81, "cam:0", 80, 81},
        {":80", 81, ":80", 80, 81},
        {"cam:80a", 81, "cam:80a", 80, 81},
        {"cam:65616", 81, "cam:65616", 80, 81},
    };
    for (const Case& c : cases) {
        module.SetAddress(c.address, c.port);
        EXPECT_EQ(module.deviceInfo.host, c.host) << c.address;
        EXPECT_EQ(module.deviceInfo.port, c.devicePort) << c.address;
        EXPECT_EQ(module.ptzPort, c.ptzPort) << c.address;
    }
    module.SetAddress("", 5);
    EXPECT_EQ(module.ptzPort, 81);
}

TEST(QueryModule, InvalidAddressIsReportedAsKindZero)
{
    for (const char* address : {"cam:0", "user@cam", "cam;x", "cam/path", "c\"am", "ca?m"}) {
        RecordingSink sink;
        bool queried = false;
        RunQuery(sink, [&](FakeProperties&, uint32_t*) { return queried = true; }, address);
        EXPECT_EQ(sink.kind, 0u) << address;
        EXPECT_EQ(sink.text, "Failed to start capability fetching thread. Device address is invalid!");
        EXPECT_FALSE(queried);
    }
}

TEST(QueryModule, FailureTextsByKind)
{
    struct Case { uint32_t kind; const char* detail; const char* text; };
    const Case cases[] = {
        {1, "", "Failed to get camera properties, login failed (invalid credentials)"},
        {1, "HTTP status code: 401", "Failed to get camera properties: HTTP status code: 401"},
        {2, "ignored", "Failed to get camera properties, device is offline or is located in unaccessible subnet"},
        {3, "", "Failed to get camera properties"},
        {3, "Query was aborted", "Failed to get camera properties: Query was aborted"},
        {7, "ignored", "Failed to get camera properties"},
    };
    for (const Case& c : cases) {
        RecordingSink sink;
        RunQuery(sink, Failing(c.kind, c.detail));
        EXPECT_EQ(sink.kind, c.kind);
        EXPECT_EQ(sink.text, c.text);
    }
}

TEST(QueryModule, CompletedQuerySavesIntoTheStore)
{
    RecordingSink sink;
    host::CapabilityStore store;
    {
        ScriptedModule module(&sink, [](FakeProperties& properties, uint32_t*) {
            properties.FillPlainDevice();
            return true;
        });
        ASSERT_EQ(module.Start("cam:8000", 8080, "user", "pw", &store), 1u);
        ASSERT_TRUE(sink.WaitReport());
        // A module serves one query.
        EXPECT_EQ(module.Start("cam", 8080, "user", "pw", &store), 0u);
    }
    EXPECT_EQ(sink.completed, 1);
    EXPECT_EQ(sink.Reports(), 1);
    EXPECT_EQ(store.name, "Acme X1");
    EXPECT_EQ(store.connection[0], "cam");
    EXPECT_EQ(store.connection[1], "8000");

    RecordingSink unsaved;
    RunQuery(unsaved, [](FakeProperties&, uint32_t*) { return true; }); // no model
    EXPECT_EQ(unsaved.kind, 3u);
    EXPECT_EQ(unsaved.text, "Failed to save capability query results");
}

TEST(QueryModule, StartRefusesMissingArguments)
{
    RecordingSink sink;
    host::CapabilityStore store;
    ScriptedModule module(&sink, nullptr);
    EXPECT_EQ(module.Start("cam", 80, nullptr, "pw", &store), 0u);
    EXPECT_EQ(module.Start(nullptr, 80, "user", "pw", &store), 0u);
    EXPECT_EQ(module.Start("cam", 80, "user", nullptr, &store), 0u);
    EXPECT_EQ(sink.Reports(), 0);

    // Without a store the thread starts and reports the internal error.
    ASSERT_EQ(module.Start("cam", 80, "", "", nullptr), 1u);
    ASSERT_TRUE(sink.WaitReport());
    EXPECT_EQ(sink.kind, 3u);
    EXPECT_EQ(sink.text, "Failed to start capability fetching thread. Internal error occurs");
}

TEST(QueryModule, TerminateAbortsARunningQueryWithOneFailure)
{
    RecordingSink sink;
    host::CapabilityStore store;
    {
        ScriptedModule module(&sink, [&](FakeProperties& properties, uint32_t* kind) {
            properties.abortEvent.Wait(velkora::WaitInfinite);
            *kind = 3;
            properties.errorText = "Query was aborted";
            return false;
        });
        ASSERT_EQ(module.Start("cam", 8080, "user", "pw", &store), 1u);
        module.Terminate();
        ASSERT_TRUE(sink.WaitReport());
        EXPECT_GE(static_cast<FakeProperties*>(module.properties.get())->aborts.load(), 1);
    }
    EXPECT_EQ(sink.failed, 1);
    EXPECT_EQ(sink.Reports(), 1);
    EXPECT_EQ(sink.text, "Failed to get camera properties: Query was aborted");
}

TEST(QueryModule, HungQueryIsAbandonedAndReportedKilled)
{
    RecordingSink sink;
    host::CapabilityStore store;
    velkora::CManualEvent release;
    auto released = std::make_shared<velkora::CManualEvent>();
    {
        ScriptedModule module(
            &sink,
            [&](FakeProperties& properties, uint32_t*) {
                release.Wait(velkora::WaitInfinite); // ignores the abort
                properties.FillPlainDevice();
                return true;
            },
            50, released);
        ASSERT_EQ(module.Start("cam", 8080, "user", "pw", &store), 1u);
    }
    EXPECT_EQ(sink.killed, 1);
    // The abandoned thread ends later without touching the sink or the store.
    release.Set();
    ASSERT_TRUE(released->Wait(30000));
    EXPECT_EQ(sink.Reports(), 1);
    EXPECT_TRUE(store.name.empty());
}

TEST(QueryModule, ModuleMayBeDestroyedFromTheSink)
{
    struct DeletingSink : RecordingSink
    {
        void OnQueryCompleted() override
        {
            delete module;
            RecordingSink::OnQueryCompleted();
        }
        velkora::ipcapture::IIPCapabilityQuery* module = nullptr;
    } sink;
    host::CapabilityStore store;
    auto* module = new ScriptedModule(&sink, [](FakeProperties& properties, uint32_t*) {
        properties.FillPlainDevice();
        return true;
    });
    sink.module = module;
    ASSERT_EQ(module->Start("cam", 8080, "user", "pw", &store), 1u);
    ASSERT_TRUE(sink.WaitReport());
    EXPECT_EQ(sink.completed, 1);
    EXPECT_EQ(sink.killed, 0);
}

TEST(QueryExports, GlobalModuleSequencing)
{
    RecordingSink sink;
    host::CapabilityStore store;
    EXPECT_EQ(UninitCapabilityQuery(), 1u);
    EXPECT_EQ(TerminateCapabilityQuery(), 1u);
    EXPECT_EQ(StartCapabilityQuery("cam", 80, "u", "p", &store), 0u); // no module yet
    EXPECT_EQ(InitCapabilityQuery(&sink, true), 1u);
    EXPECT_EQ(InitCapabilityQuery(&sink, true), 0u);
    EXPECT_EQ(StartCapabilityQuery("cam", 80, nullptr, "p", &store), 0u);
    // An invalid address reaches the thread without any network exchange.
    EXPECT_EQ(StartCapabilityQuery("user@cam", 80, "", "", &store), 1u);
    ASSERT_TRUE(sink.WaitReport());
    EXPECT_EQ(sink.kind, 0u);
    EXPECT_EQ(StartCapabilityQuery("cam", 80, "u", "p", &store), 0u); // already ran
    EXPECT_EQ(TerminateCapabilityQuery(), 1u);
    EXPECT_EQ(UninitCapabilityQuery(), 1u);
    EXPECT_EQ(InitCapabilityQuery(&sink, false), 1u);
    EXPECT_EQ(UninitCapabilityQuery(), 1u);
    EXPECT_EQ(sink.Reports(), 1);

    velkora::ipcapture::IIPCapabilityQuery* module = CreateCapabilityQueryModule(&sink, false);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(static_cast<CVerintCapabilityQueryModule*>(module)->ptzPort, 8080);
    DeleteCapabilityQueryModule(module);
    DeleteCapabilityQueryModule(nullptr);
}
