// The six C entry points of the capability query.

#include <new>

#include <velkora/exports.h>

#include "capability/CVerintCapabilityQueryModule.h"

using velkora::CVerintCapabilityQueryModule;
using velkora::ipcapture::IHostCapabilityStore;
using velkora::ipcapture::IHostQuerySink;
using velkora::ipcapture::IIPCapabilityQuery;

namespace {

// The module of the Init/Start/Terminate/Uninit entry points. The host calls
// those from one thread at a time, so it needs no lock.
IIPCapabilityQuery* globalModule = nullptr;

IIPCapabilityQuery* NewModule(IHostQuerySink* sink, bool videoStandard)
{
    try {
        return new (std::nothrow) CVerintCapabilityQueryModule(sink, videoStandard);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

extern "C" {

IIPCapabilityQuery* CreateCapabilityQueryModule(IHostQuerySink* sink, bool videoStandard)
{
    return NewModule(sink, videoStandard);
}

void DeleteCapabilityQueryModule(IIPCapabilityQuery* module)
{
    delete module;
}

uint32_t InitCapabilityQuery(IHostQuerySink* sink, bool videoStandard)
{
    if (globalModule != nullptr)
        return 0;
    globalModule = NewModule(sink, videoStandard);
    return globalModule != nullptr ? 1 : 0;
}

uint32_t StartCapabilityQuery(const char* address, uint32_t port, const char* user, const char* password,
                              IHostCapabilityStore* store)
{
    if (address == nullptr || user == nullptr || password == nullptr || globalModule == nullptr)
        return 0;
    return globalModule->Start(address, uint16_t(port), user, password, store);
}

uint32_t TerminateCapabilityQuery()
{
    if (globalModule != nullptr)
        globalModule->Terminate();
    return 1;
}

uint32_t UninitCapabilityQuery()
{
    IIPCapabilityQuery* module = globalModule;
    globalModule = nullptr;
    delete module;
    return 1;
}

}  // extern "C"
