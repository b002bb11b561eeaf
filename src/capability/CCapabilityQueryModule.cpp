#include "capability/CCapabilityQueryModule.h"

#include <chrono>
#include <utility>

#include "foundation/PasswordOptions.h"

namespace velkora {

using ipcapture::IHostCapabilityStore;
using ipcapture::IHostQuerySink;

namespace {

constexpr char ForbiddenHostCharacters[] = "@#$%^&*(){}[]/\\+=|:;,~'\"!?";
constexpr char InternalErrorText[] = "Failed to start capability fetching thread. Internal error occurs";

std::string ComposeQueryFailure(uint32_t kind, const std::string& detail)
{
    std::string text = "Failed to get camera properties";
    switch (kind) {
    case ipcapture::QueryFailureLogin:
        text += detail.empty() ? ", login failed (invalid credentials)" : ": " + detail;
        break;
    case ipcapture::QueryFailureOffline: text += ", device is offline or is located in unaccessible subnet"; break;
    case ipcapture::QueryFailureOther:
        if (!detail.empty())
            text += ": " + detail;
        break;
    default: break;
    }
    return text;
}

}  // namespace

CCapabilityQueryJob::CCapabilityQueryJob(IHostQuerySink* sink_, IHostCapabilityStore* store_,
                                         std::shared_ptr<CBaseCameraProperties> properties_, std::string host_)
    : sink(sink_), store(store_), properties(std::move(properties_)), host(std::move(host_))
{
}

bool CCapabilityQueryJob::BeginReport()
{
    std::lock_guard<std::mutex> guard(stateLock);
    if (abandoned || reporting)
        return false;
    reporting = true;
    return true;
}

void CCapabilityQueryJob::ReportFailure(uint32_t kind, const std::string& text)
{
    if (sink != nullptr)
        sink->OnQueryFailed(kind, text.c_str());
}

void CCapabilityQueryJob::Run()
{
    uint32_t kind = ipcapture::QueryFailureOther;
    if (host.find_first_of(ForbiddenHostCharacters) != std::string::npos) {
        if (BeginReport())
            ReportFailure(ipcapture::QueryFailureInvalidAddress,
                          "Failed to start capability fetching thread. Device address is invalid!");
        return;
    }
    if (!properties || store == nullptr) {
        if (BeginReport())
            ReportFailure(kind, InternalErrorText);
        return;
    }
    if (properties->Query(&kind)) {
        if (!BeginReport())
            return;
        if (properties->SaveResults(store)) {
            if (sink != nullptr)
                sink->OnQueryCompleted();
        } else {
            ReportFailure(kind, "Failed to save capability query results");
        }
        return;
    }
    const std::string text = ComposeQueryFailure(kind, properties->GetErrorText());
    if (BeginReport())
        ReportFailure(kind, text);
}

void CCapabilityQueryJob::ReportLastResort()
{
    if (BeginReport())
        ReportFailure(ipcapture::QueryFailureOther, InternalErrorText);
}

bool CCapabilityQueryJob::WaitFinished(uint32_t milliseconds)
{
    std::unique_lock<std::mutex> guard(stateLock);
    return stateChanged.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return finished; });
}

bool CCapabilityQueryJob::Abandon()
{
    std::lock_guard<std::mutex> guard(stateLock);
    if (reporting || finished)
        return false;
    abandoned = true;
    return true;
}

void CCapabilityQueryJob::MarkFinished()
{
    std::lock_guard<std::mutex> guard(stateLock);
    finished = true;
    stateChanged.notify_all();
}

CCapabilityQueryModule::CCapabilityQueryModule(IHostQuerySink* sink_, bool standard)
    : videoStandard(standard ? 1 : 0), deviceInfo("", 80, "", ""), sink(sink_)
{
    deviceInfo.requestTimeout = 7500;
    deviceInfo.streamTimeout = 7500;
    ReadPasswordOptions(deviceInfo);
    stopWaitMs = 2 * deviceInfo.requestTimeout;
}

CCapabilityQueryModule::~CCapabilityQueryModule()
{
    Terminate();
    StopQuery();
}

uint32_t CCapabilityQueryModule::Start(const char* address, uint16_t port, const char* user, const char* password,
                                       IHostCapabilityStore* store_)
{
    CAutoLock guard(lock);
    if (threadStarted)
        return 0;
    store = store_;
    if (address == nullptr || user == nullptr || password == nullptr)
        return 0;
    SetAddress(address, port);
    deviceInfo.user = user;
    deviceInfo.password = password;

    std::shared_ptr<CCapabilityQueryJob> newJob;
    try {
        properties.reset(CreateProperties());
        if (!properties)
            return 0;
        newJob = std::make_shared<CCapabilityQueryJob>(sink, store, properties, deviceInfo.host);
        thread = std::thread([newJob] {
            try {
                newJob->Run();
            } catch (...) {
                // The host waits for one report; never leave it without one.
                try {
                    newJob->ReportLastResort();
                } catch (...) {
                }
            }
            newJob->MarkFinished();
        });
    } catch (...) {
        // Nothing may cross the host's interface; a start that failed is 0.
        return 0;
    }
    job = std::move(newJob);
    threadStarted = true;
    return 1;
}

void CCapabilityQueryModule::Terminate()
{
    std::shared_ptr<CBaseCameraProperties> record = properties;
    if (record) {
        record->abortEvent.Set();
        record->Abort();
    }
}

void CCapabilityQueryModule::StopQuery()
{
    CAutoLock guard(lock);
    if (threadStarted && thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id()) {
            // Destroyed from the sink call on the query thread: the thread
            // ends by itself right after, holding its own job reference.
            thread.detach();
        } else if (job->WaitFinished(stopWaitMs) || !job->Abandon()) {
            // Finished, or already reporting to the host: that ends soon.
            thread.join();
        } else {
            // No forced termination on this platform: the thread keeps the
            // job (and the record) alive and never reaches the host again.
            thread.detach();
            if (sink != nullptr) {
                try {
                    sink->OnQueryKilled();
                } catch (...) {
                }
            }
        }
    }
    job.reset();
    properties.reset();
    store = nullptr;
}

}  // namespace velkora
