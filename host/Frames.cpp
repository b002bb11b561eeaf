#include "Frames.h"

#include <algorithm>
#include <new>

namespace host {

HeapFrame::HeapFrame(uint32_t frameType, uint32_t capacity, std::string sourceName)
    : data_(capacity > 0 ? new uint8_t[capacity] : nullptr), capacity_(capacity), sourceName_(std::move(sourceName)),
      frameType_(frameType)
{
}

void HeapFrame::GetTime(SYSTEMTIME* time)
{
    if (time)
        *time = time_;
}

velkora::ipcapture::IHostFrame* FrameFactory::CreateFrame(uint32_t frameType, uint32_t size, const char* sourceName)
{
    if (size > maxSize_)
        return nullptr;
    HeapFrame* frame = new (std::nothrow) HeapFrame(frameType, size, sourceName ? sourceName : "");
    if (frame) {
        outstanding_.fetch_add(1);
        created_.fetch_add(1);
    }
    return frame;
}

void FrameFactory::ReleaseFrame(velkora::ipcapture::IHostFrame* frame)
{
    if (!frame)
        return;
    outstanding_.fetch_sub(1);
    delete frame;
}

bool ChannelSink::DeliverFrame(velkora::ipcapture::IHostFrame* frame)
{
    if (!frame || !accepting_.load())
        return false;
    ReceivedFrame received;
    // Frames of other hosts are read through the interface only.
    if (auto* heap = dynamic_cast<HeapFrame*>(frame)) {
        const uint32_t size = std::min(heap->DataSize(), heap->GetCapacity());
        if (const uint8_t* data = heap->GetData())
            received.data.assign(data, data + size);
        received.sourceName = heap->SourceName();
        received.width = heap->Width();
        received.height = heap->Height();
        received.sizeClass = heap->SizeClass();
        received.frameType = heap->FrameType();
    }
    frame->GetTime(&received.time);
    std::function<void(const ReceivedFrame&)> onFrame;
    {
        std::lock_guard lock(mutex_);
        onFrame = onFrame_;
    }
    if (onFrame)
        onFrame(received);
    {
        std::lock_guard lock(mutex_);
        frames_.push_back(std::move(received));
    }
    changed_.notify_all();
    return true;
}

void ChannelSink::SignalLost()
{
    {
        std::lock_guard lock(mutex_);
        ++signalLost_;
    }
    changed_.notify_all();
}

void ChannelSink::SetOnFrame(std::function<void(const ReceivedFrame&)> onFrame)
{
    std::lock_guard lock(mutex_);
    onFrame_ = std::move(onFrame);
}

std::vector<ReceivedFrame> ChannelSink::Frames() const
{
    std::lock_guard lock(mutex_);
    return frames_;
}

size_t ChannelSink::FrameCount() const
{
    std::lock_guard lock(mutex_);
    return frames_.size();
}

int ChannelSink::SignalLostCount() const
{
    std::lock_guard lock(mutex_);
    return signalLost_;
}

bool ChannelSink::WaitForFrames(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return frames_.size() >= count; });
}

bool ChannelSink::WaitForSignalLost(int count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return signalLost_ >= count; });
}

void ChannelListener::OnFrameTime(uint32_t channel, uint64_t fileTime)
{
    std::lock_guard lock(mutex_);
    frameTimes_.push_back({channel, fileTime});
}

void ChannelListener::OnSignalLost(uint32_t channel)
{
    std::lock_guard lock(mutex_);
    signalLosses_.push_back(channel);
}

std::vector<FrameTimeRecord> ChannelListener::FrameTimes() const
{
    std::lock_guard lock(mutex_);
    return frameTimes_;
}

std::vector<uint32_t> ChannelListener::SignalLosses() const
{
    std::lock_guard lock(mutex_);
    return signalLosses_;
}

}  // namespace host
