// Depacketize and assemble frames of a realistic 1080p stream (libx264 at about 6 Mbit/s,
// 25 fps, an IDR every second, FU-A at a 1400-byte MTU), with a host that copies each frame.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/IDriver.h"
#include "media/CH264RTPMediaParser.h"
#include "media/IMediaParserClient.h"

namespace {

using Bytes = std::vector<uint8_t>;
using velkora::ipcapture::IHostFrame;

class Frame : public IHostFrame
{
public:
    explicit Frame(uint32_t size) : data_(size) {}
    uint8_t* GetData() override { return data_.data(); }
    void SetWidth(uint16_t) override {}
    void SetHeight(uint16_t) override {}
    void SetSizeClass(uint32_t) override {}
    void SetDataSize(uint32_t) override {}
    void SetFrameType(uint32_t) override {}
    void GetTime(SYSTEMTIME* time) override { *time = SYSTEMTIME{}; }
    void SetTime(const SYSTEMTIME&) override {}
    uint32_t GetCapacity() override { return static_cast<uint32_t>(data_.size()); }

private:
    Bytes data_;
};

class Host : public velkora::IDriver, public velkora::ipcapture::IHostFrameFactory, public velkora::IMediaParserClient
{
public:
    std::string GetName() override { return "bench:0"; }
    void DebugMessage(int32_t, const char*, ...) override {}
    std::string GetModuleName() override { return "Harnoquistel"; }
    std::string GetHostDirectory() override { return "/"; }
    const velkora::DEVICE_INFO& GetDeviceInfo() override { return info_; }
    std::pair<uint32_t, uint32_t> GetChannelValues() override { return {0, 0}; }
    velkora::ipcapture::IHostFrameFactory* GetHostContext() override { return this; }
    int32_t GetVideoStandard() override { return 0; }
    uint32_t GetCodecType() override { return 3; }
    uint32_t GetChannelCount() override { return 1; }
    std::string GetParameterString(uint32_t) override { return {}; }
    int32_t GetParameterInt(uint32_t) override { return 0; }
    uint16_t GetPTZPort() override { return 0; }
    IHostFrame* CreateFrame(uint32_t, uint32_t size, const char*) override { return new Frame(size); }
    void ReleaseFrame(IHostFrame* frame) override { delete frame; }
    bool OnFrame(IHostFrame*) override
    {
        ++frames;
        return true;
    }
    std::pair<uint16_t, uint16_t> GetChannelPair() override { return {0, 0}; }
    const std::string& GetFrameSourceName() override { return sourceName_; }
    const std::string sourceName_ = "Harnoquistel";
    void GetFrameTime(uint32_t, SYSTEMTIME& time) override { time = SYSTEMTIME{}; }
    int64_t frames = 0;

private:
    velkora::DEVICE_INFO info_;
};

// g++ 12 at -O3 reports the growth of a vector built from an initializer list
// as an out-of-bounds copy; the vector owns the bytes it copies.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wstringop-overread"
#endif
// Datagrams of the stream: access units split at delimiters, NAL units over the MTU in FU-A.
std::vector<Bytes> PacketizedStream()
{
    const std::string path = "/tmp/hq_bench_1080p_" + std::to_string(getpid()) + ".h264";
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v 50 "
        "-c:v libx264 -preset ultrafast -b:v 6M -bf 0 -x264-params keyint=25:repeat-headers=1:aud=1 -f h264 " +
        path;
    if (std::system(command.c_str()) != 0)
        return {};
    std::ifstream in(path, std::ios::binary);
    const Bytes s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());

    std::vector<Bytes> nals;
    for (size_t i = 0, start = SIZE_MAX; i + 2 <= s.size(); ++i) {
        const bool code = i + 2 < s.size() && s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1;
        if (!code && i + 2 < s.size())
            continue;
        size_t end = code ? i : s.size();
        while (start != SIZE_MAX && end > start && s[end - 1] == 0)
            --end;
        if (start != SIZE_MAX)
            nals.emplace_back(s.begin() + start, s.begin() + end);
        start = i + 3;
        if (!code)
            break;
    }
    std::vector<Bytes> datagrams;
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    auto add = [&](const Bytes& payload) {
        Bytes d{0x80,
                96,
                static_cast<uint8_t>(sequence >> 8),
                static_cast<uint8_t>(sequence),
                static_cast<uint8_t>(timestamp >> 24),
                static_cast<uint8_t>(timestamp >> 16),
                static_cast<uint8_t>(timestamp >> 8),
                static_cast<uint8_t>(timestamp),
                1,
                2,
                3,
                4};
        d.insert(d.end(), payload.begin(), payload.end());
        datagrams.push_back(std::move(d));
        ++sequence;
    };
    for (const Bytes& nal : nals) {
        if ((nal[0] & 0x1f) == 9) {  // a new access unit: mark the end of the previous one
            if (!datagrams.empty())
                datagrams.back()[1] |= 0x80;
            timestamp += 3600;
        }
        if (nal.size() <= 1400) {
            add(nal);
            continue;
        }
        for (size_t offset = 1; offset < nal.size(); offset += 1398) {
            const size_t n = std::min<size_t>(1398, nal.size() - offset);
            Bytes fu{static_cast<uint8_t>((nal[0] & 0xe0) | 28),
                     static_cast<uint8_t>((nal[0] & 0x1f) | (offset == 1 ? 0x80 : 0) |
                                          (offset + n == nal.size() ? 0x40 : 0))};
            fu.insert(fu.end(), nal.begin() + offset, nal.begin() + offset + n);
            add(fu);
        }
    }
    if (!datagrams.empty())
        datagrams.back()[1] |= 0x80;
    return datagrams;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

void BM_Depacketize1080p(benchmark::State& state)
{
    static std::vector<Bytes> datagrams = PacketizedStream();
    if (datagrams.empty()) {
        state.SkipWithError("ffmpeg with libx264 is needed to make the stream");
        return;
    }
    Host host;
    velkora::CH264RTPMediaParser parser(&host);
    parser.SetClient(&host);
    velkora::CRTPPacket packet;
    uint16_t sequence = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        for (Bytes& d : datagrams) {  // renumbered so that every pass is gap-free
            d[2] = static_cast<uint8_t>(sequence >> 8);
            d[3] = static_cast<uint8_t>(sequence++);
            packet.Parse(d.data(), d.size());
            parser.ProcessPacket(packet);
            bytes += static_cast<int64_t>(d.size());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(datagrams.size()));
    state.SetBytesProcessed(bytes);
    state.counters["packets"] = static_cast<double>(datagrams.size());
    state.counters["ns_per_packet"] = benchmark::Counter(static_cast<double>(state.iterations() * datagrams.size()),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(host.frames), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_Depacketize1080p)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
