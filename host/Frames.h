#pragma once
// Frames of the reference host: heap buffers made by the factory, and a
// channel sink that keeps a copy of every frame it takes.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <velkora/hostframes.h>

namespace host {

class HeapFrame : public velkora::ipcapture::IHostFrame
{
public:
    HeapFrame(uint32_t frameType, uint32_t capacity, std::string sourceName);

    uint8_t* GetData() override { return data_.get(); }
    void SetWidth(uint16_t width) override { width_ = width; }
    void SetHeight(uint16_t height) override { height_ = height; }
    void SetSizeClass(uint32_t sizeClass) override { sizeClass_ = sizeClass; }
    void SetDataSize(uint32_t size) override { dataSize_ = size; }
    void SetFrameType(uint32_t type) override { frameType_ = type; }
    void GetTime(SYSTEMTIME* time) override;
    void SetTime(const SYSTEMTIME& time) override { time_ = time; }
    uint32_t GetCapacity() override { return capacity_; }

    const std::string& SourceName() const { return sourceName_; }
    uint16_t Width() const { return width_; }
    uint16_t Height() const { return height_; }
    uint32_t SizeClass() const { return sizeClass_; }
    uint32_t DataSize() const { return dataSize_; }
    uint32_t FrameType() const { return frameType_; }
    const SYSTEMTIME& Time() const { return time_; }

private:
    // Not cleared: the library fills what it delivers, and a frame of an I-picture
    // is large enough for clearing to show in the host's cost per frame.
    std::unique_ptr<uint8_t[]> data_;
    uint32_t capacity_;
    std::string sourceName_;
    uint16_t width_ = 0;
    uint16_t height_ = 0;
    uint32_t sizeClass_ = 0;
    uint32_t dataSize_ = 0;
    uint32_t frameType_ = 0;
    SYSTEMTIME time_{};
};

class FrameFactory : public velkora::ipcapture::IHostFrameFactory
{
public:
    // Frames larger than maxSize are refused (null), as a host with a
    // bounded frame pool would.
    explicit FrameFactory(uint32_t maxSize = 64u << 20) : maxSize_(maxSize) {}

    velkora::ipcapture::IHostFrame* CreateFrame(uint32_t frameType, uint32_t size, const char* sourceName) override;
    void ReleaseFrame(velkora::ipcapture::IHostFrame* frame) override;

    // Frames created and not yet released.
    int Outstanding() const { return outstanding_.load(); }
    int Created() const { return created_.load(); }

private:
    const uint32_t maxSize_;
    std::atomic<int> outstanding_{0};
    std::atomic<int> created_{0};
};

// What the sink keeps of a delivered frame.
struct ReceivedFrame {
    std::vector<uint8_t> data;
    std::string sourceName;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t sizeClass = 0;
    uint32_t frameType = 0;
    SYSTEMTIME time{};
};

class ChannelSink : public velkora::ipcapture::IHostChannelSink
{
public:
    bool DeliverFrame(velkora::ipcapture::IHostFrame* frame) override;
    void SignalLost() override;

    // Whether DeliverFrame takes frames (true) or refuses them.
    void SetAccepting(bool accepting) { accepting_.store(accepting); }
    // Called for every delivered frame before it is kept; may throw, to
    // exercise the library's guards.
    void SetOnFrame(std::function<void(const ReceivedFrame&)> onFrame);

    std::vector<ReceivedFrame> Frames() const;
    size_t FrameCount() const;
    int SignalLostCount() const;
    bool WaitForFrames(size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForSignalLost(int count, std::chrono::milliseconds timeout) const;

private:
    std::atomic<bool> accepting_{true};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::function<void(const ReceivedFrame&)> onFrame_;
    std::vector<ReceivedFrame> frames_;
    int signalLost_ = 0;
};

struct FrameTimeRecord {
    uint32_t channel;
    uint64_t fileTime;
};

class ChannelListener : public velkora::ipcapture::IChannelListener
{
public:
    void OnFrameTime(uint32_t channel, uint64_t fileTime) override;
    void OnSignalLost(uint32_t channel) override;

    std::vector<FrameTimeRecord> FrameTimes() const;
    std::vector<uint32_t> SignalLosses() const;

private:
    mutable std::mutex mutex_;
    std::vector<FrameTimeRecord> frameTimes_;
    std::vector<uint32_t> signalLosses_;
};

}  // namespace host
