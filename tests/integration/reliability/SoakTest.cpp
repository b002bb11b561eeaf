// Long runs outside CI (scripts/soak): many streams under loss and BYEs, then open/close
// cycles of streams and of the driver. Prints the process's file descriptors, threads
// and resident memory before and after, frames delivered and stream restarts, and
// fails when descriptors or threads do not return to their starting level.
#include <dirent.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "SimHost.h"

using namespace channeltest;

namespace {

// Counts frames without keeping them, so a long run measures the library, not the test.
class CountingSink : public velkora::ipcapture::IHostChannelSink
{
public:
    bool DeliverFrame(velkora::ipcapture::IHostFrame* frame) override
    {
        if (frame)
            frames.fetch_add(1);
        return frame != nullptr;
    }
    void SignalLost() override { signalLost.fetch_add(1); }

    std::atomic<uint64_t> frames{0}, signalLost{0};
};

struct Usage {
    int fds = 0, threads = 0;
    long rssKb = 0;
};

int CountEntries(const char* path)
{
    int count = 0;
    if (DIR* dir = opendir(path)) {
        while (dirent* entry = readdir(dir))
            count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count;
}

// Measured and printed.
Usage Measure(const char* when)
{
    Usage usage{CountEntries("/proc/self/fd") - 1, CountEntries("/proc/self/task"), 0};
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            usage.rssKb = std::atol(line.c_str() + 6);
    std::printf("soak %-22s fds %4d  threads %4d  rss %7ld KiB\n", when, usage.fds, usage.threads, usage.rssKb);
    std::fflush(stdout);
    return usage;
}

long Setting(const char* name, long fallback)
{
    const char* value = std::getenv(name);
    return value ? std::atol(value) : fallback;
}

}  // namespace

TEST(Soak, DISABLED_StreamsUnderLossAndByesThenOpenCloseCycles)
{
    const long seconds = Setting("HQ_SOAK_SECONDS", 60);
    const long cycles = Setting("HQ_SOAK_CYCLES", 1000);
    const long byeAfter = Setting("HQ_SOAK_BYE_SECONDS", 120);
    constexpr unsigned kChannels = 8;  // two streams each: 16

    const Usage start = Measure("start");
    {
        sim::SimulatorOptions options = SimOptions(kChannels);
        options.faults = Faults({"loss=0.01", "bye-after=" + std::to_string(byeAfter)});
        sim::Simulator camera(options);
        ASSERT_TRUE(camera.Start());
        Measure("simulator up");
        {
            Device device(camera, FixedProfilesConfiguration(kChannels), kChannels);
            ASSERT_NE(device.capture, nullptr);
            std::vector<std::unique_ptr<CountingSink>> sinks;
            for (uint32_t channel = 0; channel < kChannels; ++channel)
                for (uint32_t kind = 0; kind < 2; ++kind) {
                    sinks.push_back(std::make_unique<CountingSink>());
                    host::StreamSettings settings(host::StreamRecord{});
                    ASSERT_TRUE(device.capture->OpenStream(channel, kind, sinks.back().get(), &settings));
                }
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
            while (std::chrono::steady_clock::now() < end) {
                std::this_thread::sleep_for(
                    std::min<std::chrono::steady_clock::duration>(30s, end - std::chrono::steady_clock::now()));
                unsigned long long frames = 0, lost = 0;
                for (auto& sink : sinks)
                    frames += sink->frames, lost += sink->signalLost;
                const sim::RtspStats stats = camera.GetRtspStats();
                const std::vector<unsigned long long> counts = {frames,           stats.sessionsCreated - sinks.size(),
                                                                stats.byesSent,   stats.rtpPackets,
                                                                stats.rtpDropped, lost};
                std::printf("soak streaming: frames %llu  restarts %llu  byes %llu  rtp %llu (dropped %llu)  signal "
                            "lost %llu\n",
                            counts[0], counts[1], counts[2], counts[3], counts[4], counts[5]);
                Measure("streaming");
            }
            for (uint32_t channel = 0; channel < kChannels; ++channel)
                for (uint32_t kind = 0; kind < 2; ++kind)
                    EXPECT_TRUE(device.CloseStream(channel, kind));
            for (auto& sink : sinks)
                EXPECT_GT(sink->frames.load(), 0u) << "a stream delivered nothing";
        }
        EXPECT_EQ(LibraryThreadCount(), 0);
        Measure("streams closed");

        camera.SetFaults({});
        CountingSink sink;
        Device device(camera, FixedProfilesConfiguration(kChannels), kChannels);
        for (long i = 0; i < cycles; ++i) {
            host::StreamSettings settings(host::StreamRecord{});
            ASSERT_TRUE(device.capture->OpenStream(0, 0, &sink, &settings));
            // Every tenth stream runs to its first frame; the rest close mid-setup.
            if (i % 10 == 0) {
                const uint64_t before = sink.frames;
                const auto deadline = std::chrono::steady_clock::now() + 20s;
                while (sink.frames == before && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(10ms);
                EXPECT_GT(sink.frames.load(), before) << "cycle " << i;
            }
            ASSERT_TRUE(device.CloseStream(0, 0));
        }
        Measure("stream cycles done");
        for (long i = 0; i < cycles; ++i) {
            Device cycled(camera, FixedProfilesConfiguration(kChannels), kChannels);
            ASSERT_NE(cycled.capture, nullptr);
            CountingSink cycledSink;
            host::StreamSettings settings(host::StreamRecord{});
            ASSERT_TRUE(cycled.capture->OpenStream(static_cast<uint32_t>(i % kChannels), 0, &cycledSink, &settings));
        }
        EXPECT_EQ(LibraryThreadCount(), 0);
        Measure("driver cycles done");
        std::printf("soak cycles: %ld stream and %ld driver open/close cycles, %llu frames\n", cycles, cycles,
                    static_cast<unsigned long long>(sink.frames.load()));
    }
    const Usage finish = Measure("end");
    // What the allocator still holds in its per-thread arenas is not a leak; show it apart.
    malloc_trim(0);
    Measure("end, arenas trimmed");
    EXPECT_LE(finish.fds, start.fds);
    EXPECT_LE(finish.threads, start.threads);
}
