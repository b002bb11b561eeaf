#pragma once
// Stream settings of the reference host for OpenChannel/OpenStream.

#include <cstdint>

#include <velkora/hostsettings.h>

namespace host {

struct StreamRecord {
    uint16_t frameRate = 0x7000 | 25;  // 25 frames per second
    uint16_t quality = 50;
    uint16_t width = 1280;
    uint16_t height = 720;
    uint32_t codec = 3;
    uint32_t streamOption = 0;
    uint32_t secondaryWanted = 0;
};

class Resolution : public velkora::ipcapture::IHostResolution
{
public:
    Resolution(uint16_t width, uint16_t height) : width_(width), height_(height) {}
    uint16_t GetWidth() override { return width_; }
    uint16_t GetHeight() override { return height_; }

private:
    uint16_t width_;
    uint16_t height_;
};

class StreamSettings : public velkora::ipcapture::IHostStreamSettings,
                       private velkora::ipcapture::IHostVideoFormat,
                       private velkora::ipcapture::IHostRateSettings
{
public:
    explicit StreamSettings(StreamRecord record = {}) : record_(record), resolution_(record.width, record.height) {}

    velkora::ipcapture::IHostVideoFormat* GetVideoFormat() override { return this; }
    velkora::ipcapture::IHostRateSettings* GetRateSettings() override { return this; }
    uint32_t GetStreamOption() override { return record_.streamOption; }

private:
    velkora::ipcapture::IHostResolution* GetResolution() override { return &resolution_; }
    uint32_t GetCodec() override { return record_.codec; }
    uint16_t GetFrameRate() override { return record_.frameRate; }
    uint16_t GetQuality() override { return record_.quality; }
    uint32_t GetSecondaryWanted() override { return record_.secondaryWanted; }

    StreamRecord record_;
    Resolution resolution_;
};

}  // namespace host
