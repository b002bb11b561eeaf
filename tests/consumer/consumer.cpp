// A host built against an installed Harnoquistel: it compiles against the
// installed headers and loads the installed library, by path with dlopen or,
// built with HQ_LINKED, through the dynamic linker.
#include <velkora/ipcapture.h>

#include <dlfcn.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

using namespace velkora::ipcapture;

namespace {

struct Exports {
    decltype(&::CreateIPCapture) createCapture = nullptr;
    decltype(&::DeleteIPCapture) deleteCapture = nullptr;
    decltype(&::CreateCapabilityQueryModule) createModule = nullptr;
    decltype(&::DeleteCapabilityQueryModule) deleteModule = nullptr;
    decltype(&::InitCapabilityQuery) initQuery = nullptr;
    decltype(&::StartCapabilityQuery) startQuery = nullptr;
    decltype(&::TerminateCapabilityQuery) terminateQuery = nullptr;
    decltype(&::UninitCapabilityQuery) uninitQuery = nullptr;
};

int Fail(const char* what)
{
    std::fprintf(stderr, "consumer: %s\n", what);
    return 1;
}

#ifdef HQ_LINKED
bool Load(Exports& e)
{
    e = {
        &::CreateIPCapture,     &::DeleteIPCapture,      &::CreateCapabilityQueryModule, &::DeleteCapabilityQueryModule,
        &::InitCapabilityQuery, &::StartCapabilityQuery, &::TerminateCapabilityQuery,    &::UninitCapabilityQuery};
    std::printf("consumer: linked\n");
    return true;
}
#else
template <typename Function> bool Resolve(void* handle, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(handle, name));
    if (function == nullptr)
        std::fprintf(stderr, "consumer: %s is not exported\n", name);
    return function != nullptr;
}

bool Load(Exports& e)
{
    void* handle = dlopen(HQ_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "consumer: %s\n", dlerror());
        return false;
    }
    std::printf("consumer: loaded %s\n", HQ_LIBRARY);
    return Resolve(handle, "CreateIPCapture", e.createCapture) && Resolve(handle, "DeleteIPCapture", e.deleteCapture) &&
           Resolve(handle, "CreateCapabilityQueryModule", e.createModule) &&
           Resolve(handle, "DeleteCapabilityQueryModule", e.deleteModule) &&
           Resolve(handle, "InitCapabilityQuery", e.initQuery) &&
           Resolve(handle, "StartCapabilityQuery", e.startQuery) &&
           Resolve(handle, "TerminateCapabilityQuery", e.terminateQuery) &&
           Resolve(handle, "UninitCapabilityQuery", e.uninitQuery);
}
#endif

class Sink : public IHostQuerySink
{
public:
    void OnQueryCompleted() override { Finish(-1); }
    void OnQueryFailed(uint32_t kind, const char*) override { Finish(int(kind)); }
    void OnQueryKilled() override { Finish(-2); }

    // The failure kind, -1 completed, -2 killed, -3 no answer in time.
    int Wait()
    {
        std::unique_lock lock(mutex);
        return done.wait_for(lock, std::chrono::seconds(20), [&] { return result != -3; }) ? result : -3;
    }

private:
    void Finish(int value)
    {
        std::lock_guard lock(mutex);
        result = value;
        done.notify_all();
    }
    std::mutex mutex;
    std::condition_variable done;
    int result = -3;
};

// Nothing is stored: the query below fails before it learns anything.
struct Store : IHostCapabilityStore, IHostCapabilityProperty, IHostResolutionList, IHostFramerateList {
    void SetValue(uint32_t, uint32_t) override {}
    void SetName(const char*) override {}
    IHostTextField* GetConnectionField(uint32_t) override { return nullptr; }
    IHostCapabilityProperty* CreateProperty(int32_t) override { return this; }
    IHostResolutionList* GetResolutionList() override { return this; }
    IHostFramerateList* GetFramerateList(uint32_t) override { return this; }
    void SetValue(const char*) override {}
    void SetType(uint32_t) override {}
    void SetFlag(uint32_t) override {}
    void Add(const char*, uint32_t, uint32_t, uint32_t) override {}
    void SetDefault(uint32_t) override {}
    void Add(uint32_t) override {}
};

}  // namespace

int main()
{
    Exports e;
    if (!Load(e))
        return 1;

    IIPCaptureDriver* driver = e.createCapture();
    if (driver == nullptr)
        return Fail("CreateIPCapture gave no driver");
    e.deleteCapture(driver);

    Sink moduleSink;
    IIPCapabilityQuery* module = e.createModule(&moduleSink, false);
    if (module == nullptr)
        return Fail("CreateCapabilityQueryModule gave no module");
    e.deleteModule(module);

    // A malformed address fails on the query thread, before any network step, with its own failure kind.
    Sink sink;
    Store store;
    if (e.initQuery(&sink, false) != 1)
        return Fail("InitCapabilityQuery failed");
    if (e.startQuery("cam@era", 80, "admin", "", &store) == 0)
        return Fail("StartCapabilityQuery refused to start");
    const int result = sink.Wait();
    e.terminateQuery();
    e.uninitQuery();
    if (result != QueryFailureInvalidAddress) {
        std::fprintf(stderr, "consumer: the query ended with %d, not an invalid address\n", result);
        return 1;
    }
    std::printf("consumer: driver created and deleted, query failed as expected\n");
    return 0;
}
