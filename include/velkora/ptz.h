#pragma once
// PTZ interfaces of the host. Every argument is 32 bits wide; speeds are
// signed. Results: 1 done, -2 not offered, -3 invalid argument,
// -18 failure, -19 capability missing.

#include <cstdint>

#include <velkora/records.h>

// Per-control flags the host may set; the library never reads them.
// Declared outside the library namespace, as the host expects it.
class IIPParams
{
public:
    virtual ~IIPParams() = default;              // slot 0
    virtual uint32_t GetChannel() = 0;           // slot 1
    virtual bool GetFirstFlag() = 0;             // slot 2
    virtual bool SetFirstFlag(bool value) = 0;   // slot 3
    virtual bool GetSecondFlag() = 0;            // slot 4
    virtual bool SetSecondFlag(bool value) = 0;  // slot 5
};

namespace velkora {

enum PtzResult : int32_t
{
    PtzDone = 1,
    PtzNotOffered = -2,
    PtzInvalidArgument = -3,
    PtzFailure = -18,
    PtzCapabilityMissing = -19,
};

class IIPPTZApi
{
public:
    virtual ~IIPPTZApi() = default;                                                // slot 0
    virtual int32_t IsPTZSupported() = 0;                                          // slot 1
    virtual int32_t StartMove(uint32_t direction, int32_t speed) = 0;              // slot 2
    virtual int32_t Stop() = 0;                                                    // slot 3
    virtual int32_t Center(uint32_t a, uint32_t b, uint32_t c) = 0;                // slot 4
    virtual int32_t StartZoomA(int32_t speed) = 0;                                 // slot 5
    virtual int32_t StartZoomB(int32_t speed) = 0;                                 // slot 6
    virtual int32_t Unzoom(uint32_t a) = 0;                                        // slot 7
    virtual int32_t AreaZoom(uint32_t a, uint32_t b, uint32_t c, uint32_t d) = 0;  // slot 8
    virtual int32_t StartFocusA(int32_t speed) = 0;                                // slot 9
    virtual int32_t StartFocusB(int32_t speed) = 0;                                // slot 10
    virtual int32_t StartIrisA(int32_t speed) = 0;                                 // slot 11
    virtual int32_t StartIrisB(int32_t speed) = 0;                                 // slot 12
    virtual int32_t GetCapabilities(PTZ_CAPABILITIES* capabilities) = 0;           // slot 13
    virtual int32_t Reserved14() = 0;                                              // slot 14
    virtual int32_t Reserved15(uint32_t a, uint32_t b, uint32_t c) = 0;            // slot 15
    virtual int32_t Reserved16(uint32_t a, uint32_t b) = 0;                        // slot 16
    virtual int32_t Reserved17(uint32_t a) = 0;                                    // slot 17
    virtual int32_t Reserved18(uint32_t a) = 0;                                    // slot 18
    virtual int32_t Reserved19(uint32_t a, uint32_t b) = 0;                        // slot 19
};

class IIPPTZApiEx : public IIPPTZApi
{
public:
    virtual int32_t IsSuccess(int32_t result) = 0;  // slot 20
};

// Owned by the capture driver; the host never destroys it.
class IIPPTZDriver
{
public:
    virtual ~IIPPTZDriver() = default;                   // slot 0
    virtual IIPPTZApi* GetPTZApi(uint32_t channel) = 0;  // slot 1
};

class IIPPTZDriverEx : public IIPPTZDriver
{
public:
    IIPPTZApi* GetPTZApi(uint32_t channel) override { return GetPTZApiEx(channel); }
    virtual IIPPTZApiEx* GetPTZApiEx(uint32_t channel) = 0;  // slot 2
};

}  // namespace velkora
