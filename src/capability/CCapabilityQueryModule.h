#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <velkora/capabilityquery.h>

#include "capability/CBaseCameraProperties.h"
#include "foundation/DEVICE_INFO.h"
#include "foundation/CRecursiveLock.h"

namespace velkora {

// What the query thread works on. It is shared between the module and the
// thread, so that a thread abandoned at destruction still has valid memory.
class CCapabilityQueryJob
{
public:
    CCapabilityQueryJob(ipcapture::IHostQuerySink* sink, ipcapture::IHostCapabilityStore* store,
                        std::shared_ptr<CBaseCameraProperties> properties, std::string host);

    // The query thread's body: query, save, and exactly one sink report.
    void Run();
    // Reports an internal failure unless a report was already made.
    void ReportLastResort();

    // Waits until Run has returned; true when it has.
    bool WaitFinished(uint32_t milliseconds);
    // Marks the job abandoned unless it already talks to the host; true when
    // abandoned, after which the thread never touches the sink or the store.
    bool Abandon();
    void MarkFinished();

private:
    // Gate before touching the host's store or sink: false once abandoned.
    bool BeginReport();
    void ReportFailure(uint32_t kind, const std::string& text);

    ipcapture::IHostQuerySink* const sink;
    ipcapture::IHostCapabilityStore* const store;
    const std::shared_ptr<CBaseCameraProperties> properties;
    const std::string host;

    std::mutex stateLock;
    std::condition_variable stateChanged;
    bool reporting = false;
    bool abandoned = false;
    bool finished = false;
};

// One capability query of one device, run on a thread of its own.
class CCapabilityQueryModule : public ipcapture::IIPCapabilityQuery
{
public:
    CCapabilityQueryModule(ipcapture::IHostQuerySink* sink, bool videoStandard);
    ~CCapabilityQueryModule() override;

    uint32_t Start(const char* address, uint16_t port, const char* user, const char* password,
                   ipcapture::IHostCapabilityStore* store) override;
    void Terminate() override;

    virtual void SetAddress(const char* address, uint16_t port) = 0;
    virtual CBaseCameraProperties* CreateProperties() = 0;

    uint32_t videoStandard;
    DEVICE_INFO deviceInfo;
    ipcapture::IHostQuerySink* sink;
    ipcapture::IHostCapabilityStore* store = nullptr;
    std::shared_ptr<CBaseCameraProperties> properties;
    CRecursiveLock lock;
    uint16_t ptzPort = 8080;

protected:
    // How long destruction waits for a running query before abandoning it.
    uint32_t stopWaitMs;

private:
    void StopQuery();

    std::thread thread;
    std::shared_ptr<CCapabilityQueryJob> job;
    bool threadStarted = false;
};

}  // namespace velkora
