#pragma once
// Fake host objects for the depacketizer: a driver context, a frame factory that records
// what it made, and a parser client that records deliveries.

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/IDriver.h"
#include "media/IMediaParserClient.h"

namespace mediatest {

using Bytes = std::vector<uint8_t>;

struct FrameRecord {
    Bytes data;
    uint32_t type = 0;
    uint32_t requestedSize = 0;
    std::string sourceName;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t sizeClass = 0;
    uint32_t dataSize = 0;
    SYSTEMTIME time{};
};

class FakeFrame : public velkora::ipcapture::IHostFrame {
public:
    FakeFrame(uint32_t type, uint32_t size, const char* name, bool withData) : storage_(withData ? size : 0) {
        record.type = type;
        record.requestedSize = size;
        record.sourceName = name ? name : "";
    }
    uint8_t* GetData() override { return storage_.empty() ? nullptr : storage_.data(); }
    void SetWidth(uint16_t w) override { record.width = w; }
    void SetHeight(uint16_t h) override { record.height = h; }
    void SetSizeClass(uint32_t c) override { record.sizeClass = c; }
    void SetDataSize(uint32_t s) override {
        record.dataSize = s;
        record.data.assign(storage_.begin(), storage_.begin() + std::min<size_t>(s, storage_.size()));
    }
    void SetFrameType(uint32_t t) override { record.type = t; }
    void GetTime(SYSTEMTIME* t) override { *t = record.time; }
    void SetTime(const SYSTEMTIME& t) override { record.time = t; }
    uint32_t GetCapacity() override { return static_cast<uint32_t>(storage_.size()); }

    FrameRecord record;

private:
    Bytes storage_;
};

class FakeFrameFactory : public velkora::ipcapture::IHostFrameFactory {
public:
    velkora::ipcapture::IHostFrame* CreateFrame(uint32_t type, uint32_t size, const char* name) override {
        if (refuse) return nullptr;
        ++created;
        return new FakeFrame(type, size, name, !withoutData);
    }
    void ReleaseFrame(velkora::ipcapture::IHostFrame* frame) override {
        ++released;
        delete frame;
    }
    bool refuse = false;
    bool withoutData = false;
    int created = 0;
    int released = 0;
};

class FakeDriver : public velkora::IDriver {
public:
    FakeDriver() {
        info.host = "10.1.2.3";
        info.port = 8080;
    }
    std::string GetName() override { return "10.1.2.3:8080"; }
    void DebugMessage(int32_t level, const char* format, ...) override {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        messages.push_back(std::to_string(level) + " " + text);
    }
    std::string GetModuleName() override { return "Harnoquistel"; }
    std::string GetHostDirectory() override { return "/"; }
    const velkora::DEVICE_INFO& GetDeviceInfo() override { return info; }
    std::pair<uint32_t, uint32_t> GetChannelValues() override { return {0, 0}; }
    velkora::ipcapture::IHostFrameFactory* GetHostContext() override { return factory; }
    int32_t GetVideoStandard() override { return 0; }
    uint32_t GetCodecType() override { return 3; }
    uint32_t GetChannelCount() override { return 1; }
    std::string GetParameterString(uint32_t) override { return {}; }
    int32_t GetParameterInt(uint32_t) override { return velkora::ParameterNotInteger; }
    uint16_t GetPTZPort() override { return 8080; }

    velkora::DEVICE_INFO info;
    velkora::ipcapture::IHostFrameFactory* factory = nullptr;
    std::vector<std::string> messages;
};

class FakeClient : public velkora::IMediaParserClient {
public:
    bool OnFrame(velkora::ipcapture::IHostFrame* frame) override {
        frames.push_back(static_cast<FakeFrame*>(frame)->record);
        return accept;
    }
    std::pair<uint16_t, uint16_t> GetChannelPair() override { return {0, 0}; }
    std::string GetFrameSourceName() override { return "Harnoquistel (Live)"; }
    void GetFrameTime(uint32_t rtpTimestamp, SYSTEMTIME& time) override {
        time = SYSTEMTIME{};
        time.wYear = 2026;
        time.wMilliseconds = static_cast<uint16_t>(rtpTimestamp % 1000);
    }
    bool accept = true;
    std::vector<FrameRecord> frames;
};

}  // namespace mediatest
