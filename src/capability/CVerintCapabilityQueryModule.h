#pragma once

#include "capability/CCapabilityQueryModule.h"

namespace velkora {

// The capability query of this device family.
class CVerintCapabilityQueryModule : public CCapabilityQueryModule
{
public:
    using CCapabilityQueryModule::CCapabilityQueryModule;
    ~CVerintCapabilityQueryModule() override = default;

    // "host" or "host:port"; a malformed text becomes the host as a whole,
    // which the query thread then rejects as an invalid address.
    void SetAddress(const char* address, uint16_t port) override;
    CBaseCameraProperties* CreateProperties() override;
};

}  // namespace velkora
