#pragma once
// Host-side configuration objects the library reads. Only the slots the
// library calls are fixed; the others are placeholders that keep the table
// order and are never called.

#include <cstdint>

namespace velkora::ipcapture {

class IHostChannelSettings
{
public:
    virtual ~IHostChannelSettings() = default;  // slot 0
    virtual void Reserved1() {}                 // slot 1
    virtual const char* GetModel() = 0;         // slot 2
    virtual uint32_t GetChannelCount() = 0;     // slot 3
    virtual void Reserved4() {}                 // slot 4
    virtual uint32_t GetValueA() = 0;           // slot 5
    virtual uint32_t GetValueB() = 0;           // slot 6
};

class IHostConnectionSettings
{
public:
    virtual ~IHostConnectionSettings() = default;  // slot 0
    virtual const char* GetAddress() = 0;          // slot 1: "host" or "host:port"
    virtual uint16_t GetPort() = 0;                // slot 2
    virtual void Reserved3() {}                    // slot 3
    virtual uint32_t GetCodecType() = 0;           // slot 4
    virtual const char* GetUser() = 0;             // slot 5
    virtual const char* GetPassword() = 0;         // slot 6
};

class IHostDeviceSettings
{
public:
    virtual ~IHostDeviceSettings() = default;                      // slot 0
    virtual IHostChannelSettings* GetChannelSettings() = 0;        // slot 1
    virtual IHostConnectionSettings* GetConnectionSettings() = 0;  // slot 2
    virtual void Reserved3() {}                                    // slot 3
    // 1-based; null after the last parameter.
    virtual const char* GetParameter(uint32_t index) = 0;  // slot 4
};

class IHostResolution
{
public:
    virtual ~IHostResolution() = default;  // slot 0
    virtual uint16_t GetWidth() = 0;       // slot 1
    virtual uint16_t GetHeight() = 0;      // slot 2
};

class IHostVideoFormat
{
public:
    virtual ~IHostVideoFormat() = default;         // slot 0
    virtual void Reserved1() {}                    // slot 1
    virtual void Reserved2() {}                    // slot 2
    virtual IHostResolution* GetResolution() = 0;  // slot 3
    virtual uint32_t GetCodec() = 0;               // slot 4
};

class IHostRateSettings
{
public:
    virtual ~IHostRateSettings() = default;  // slot 0
    virtual uint16_t GetFrameRate() = 0;     // slot 1
    virtual void Reserved2() {}              // slot 2
    virtual uint16_t GetQuality() = 0;       // slot 3
    // Non-zero when the host wants the secondary object of a channel.
    virtual uint32_t GetSecondaryWanted() = 0;  // slot 4
};

class IHostStreamSettings
{
public:
    virtual ~IHostStreamSettings() = default;          // slot 0
    virtual IHostVideoFormat* GetVideoFormat() = 0;    // slot 1
    virtual IHostRateSettings* GetRateSettings() = 0;  // slot 2
    virtual void Reserved3() {}                        // slot 3
    virtual void Reserved4() {}                        // slot 4
    // Handed to the channel's SetStreamOption unchanged.
    virtual uint32_t GetStreamOption() = 0;  // slot 5
};

}  // namespace velkora::ipcapture
