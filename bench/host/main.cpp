// bench_host: N streams in one process through the public host interface,
// against simulators (16 streams per simulated video server): in this process,
// or, given the command-line tool, as a site in a process of its own, so that
// this process holds the library alone and the simulators' cost is told apart.
// Streams are opened one after another so each one's start-up can be split
// and its RTP port told apart; then every stream is watched for a window.
//
//   bench_host STREAMS SECONDS CLIPS_DIR [PACE [HARNOQUISTEL]]  -> one JSON object on stdout
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <velkora/ipcapture.h>

#include "AllocationCount.h"
#include "SocketTap.h"
#include "host/DebugOutput.h"
#include "host/DeviceSettings.h"
#include "host/Frames.h"
#include "host/StreamSettings.h"
#include "sim/SendTimes.h"
#include "sim/Simulator.h"

using namespace benchhost;
namespace ipc = velkora::ipcapture;

namespace {

constexpr unsigned kStreamsPerDevice = 16;

// Counts frames and, once its port is known, how long after the
// simulator's last packet of the frame it arrived.
class CountingSink : public ipc::IHostChannelSink
{
public:
    bool DeliverFrame(ipc::IHostFrame*) override
    {
        const HostScope host;
        const int64_t now = NowNs();
        if (first_.load() == 0)
            first_.store(now);
        frames_.fetch_add(1);
        const uint16_t port = port_.load();
        if (port == 0)
            return true;
        const PortTap tap = ReadPort(port);
        if (tap.lastMarkerInWindow) {
            std::lock_guard lock(mutex_);
            ++deliveredInWindow_;
            latencies_.push_back(now - tap.lastMarkerNs);
            if (latencies_.back() > 2'000'000)
                slow_.push_back(now);
            if (latencies_.back() > worst_)
                worst_ = latencies_.back(), worstAt_ = now;
        }
        return true;
    }
    void SignalLost() override { lost_.fetch_add(1); }

    int64_t FirstFrameNs() const { return first_.load(); }
    uint64_t Frames() const { return frames_.load(); }
    void SetPort(uint16_t port) { port_.store(port); }
    uint16_t Port() const { return port_.load(); }
    uint64_t DeliveredInWindow()
    {
        std::lock_guard lock(mutex_);
        return deliveredInWindow_;
    }
    std::vector<int64_t> Latencies()
    {
        std::lock_guard lock(mutex_);
        return latencies_;
    }
    // The worst delivery (latency, when), and whether a frame took over 2 ms within `near` of `at`.
    std::pair<int64_t, int64_t> Worst()
    {
        std::lock_guard lock(mutex_);
        return {worst_, worstAt_};
    }
    bool SlowNear(int64_t at, int64_t near)
    {
        std::lock_guard lock(mutex_);
        return std::any_of(slow_.begin(), slow_.end(), [&](int64_t t) { return std::llabs(t - at) <= near; });
    }

private:
    std::atomic<int64_t> first_{0};
    std::atomic<uint64_t> frames_{0};
    std::atomic<uint16_t> port_{0};
    std::atomic<int> lost_{0};
    std::mutex mutex_;
    uint64_t deliveredInWindow_ = 0;
    std::vector<int64_t> latencies_;
    std::vector<int64_t> slow_;  // deliveries over 2 ms late: when
    int64_t worst_ = 0, worstAt_ = 0;
};

// The reference host's frames, their allocations counted as the host's.
class HostFrameFactory : public host::FrameFactory
{
public:
    ipc::IHostFrame* CreateFrame(uint32_t frameType, uint32_t size, const char* sourceName) override
    {
        const HostScope host;
        return host::FrameFactory::CreateFrame(frameType, size, sourceName);
    }
    void ReleaseFrame(ipc::IHostFrame* frame) override
    {
        const HostScope host;
        host::FrameFactory::ReleaseFrame(frame);
    }
};

struct Device {
    std::unique_ptr<sim::Simulator> camera;
    host::DebugOutput debug;
    HostFrameFactory frames;
    std::unique_ptr<host::DeviceSettings> settings;
    ipc::IIPCaptureDriver* driver = nullptr;
    ipc::IIPVideoCaptureEx2* capture = nullptr;
};

// The simulators as a site in a child process; its frames' send times on a shared board.
struct SiteProcess {
    pid_t pid = -1;
    std::vector<sim::SimulatorPorts> cameras;
};

bool StartSite(SiteProcess& site, const std::string& tool, unsigned cameras, unsigned channels,
               const std::string& clips, double pace)
{
    const std::string board = "/dev/shm/bench_host-" + std::to_string(getpid());
    const sim::SendTimesEntry* entries = sim::MapSendTimes(board);
    int out[2];
    if (!entries || pipe(out) != 0)
        return false;
    const std::vector<std::string> args = {tool,           "sim", "--cameras",      std::to_string(cameras),
                                           "--base-port",  "0",   "--channels",     std::to_string(channels),
                                           "--clips",      clips, "--pace",         std::to_string(pace),
                                           "--send-times", board, "--no-discovery", "--json"};
    site.pid = fork();
    if (site.pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(out[0]);
    unlink(board.c_str());  // both sides hold it mapped
    UseSendTimes(entries);
    // {"cameras":[{...,"http":N,...,"ptz":N,"rtsp":N,...},...],"ready":true}: keys in order.
    for (size_t at = line.find("\"http\":"); at != std::string::npos; at = line.find("\"http\":", at + 1)) {
        sim::SimulatorPorts ports;
        ports.http = static_cast<uint16_t>(std::atoi(line.c_str() + at + 7));
        const size_t ptz = line.find("\"ptz\":", at), rtsp = line.find("\"rtsp\":", at);
        if (ptz == std::string::npos || rtsp == std::string::npos)
            break;
        ports.ptz = static_cast<uint16_t>(std::atoi(line.c_str() + ptz + 6));
        ports.rtsp = static_cast<uint16_t>(std::atoi(line.c_str() + rtsp + 7));
        site.cameras.push_back(ports);
    }
    if (site.cameras.size() != cameras) {
        std::fprintf(stderr, "bench_host: the simulator site did not start: %s\n", line.c_str());
        return false;
    }
    return true;
}

// CPU seconds and threads of the site's process, from its stat (in clock ticks).
std::pair<double, int> ProcessCpu(pid_t pid)
{
    std::string stat;
    std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
    const size_t close = stat.rfind(')');
    unsigned long utime = 0, stime = 0;
    long threads = 0;
    if (close != std::string::npos)
        std::sscanf(stat.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu %*d %*d %*d %*d %ld",
                    &utime, &stime, &threads);
    return {static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK)), static_cast<int>(threads)};
}

// With `ports`, the camera runs elsewhere; without, in this process.
bool OpenDevice(Device& device, unsigned channels, const std::string& clips, double pace,
                const sim::SimulatorPorts* elsewhere)
{
    sim::SimulatorPorts ports;
    if (elsewhere) {
        ports = *elsewhere;
    } else {
        sim::SimulatorOptions options;
        options.httpPort = options.rtspPort = options.ptzPort = 0;
        options.channels = channels;
        options.clipsDir = clips;
        options.pace = pace;
        device.camera = std::make_unique<sim::Simulator>(options);
        std::string error;
        if (!device.camera->Start(&error)) {
            std::fprintf(stderr, "bench_host: %s\n", error.c_str());
            return false;
        }
        ports = device.camera->Ports();
    }
    host::DeviceRecord record{
        "127.0.0.1:" + std::to_string(ports.http), ports.ptz, "admin", "admin", "SIM-1", channels, 3, 0, 0, {}};
    record.parameters = sim::DeviceParameters(ports.rtsp, sim::FixedProfilesConfiguration(channels));
    device.settings = std::make_unique<host::DeviceSettings>(record);
    device.driver = CreateIPCapture();
    if (device.driver && device.driver->Open(&device.debug, &device.frames, device.settings.get()))
        device.capture = static_cast<ipc::IIPCaptureDriverEx5*>(device.driver)->GetVideoCaptureEx5();
    return device.capture != nullptr;
}

struct ThreadCpu {
    double library = 0, other = 0;
    double libraryWaiting = 0;  // runnable but waiting for a core (schedstat's run delay)
    int libraryThreads = 0, threads = 0;
    uint64_t libraryAllocations = 0;  // outside host code (frame factory, sink)
};

bool IsLibraryThread(const std::string& name)
{
    for (const char* prefix : {"Capture ch", "RTSP Client", "UDP client", "RTP Packet", "RTCP Handler"})
        if (name.rfind(prefix, 0) == 0)
            return true;
    return false;
}

// CPU seconds and allocations of this process's threads, the library's (by name) apart.
ThreadCpu ReadThreadCpu()
{
    ThreadCpu cpu;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    DIR* tasks = opendir("/proc/self/task");
    while (dirent* entry = tasks ? readdir(tasks) : nullptr) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string dir = std::string("/proc/self/task/") + entry->d_name;
        std::string name, stat;
        std::getline(std::ifstream(dir + "/comm"), name);
        std::getline(std::ifstream(dir + "/stat"), stat);
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        // The scheduler's own account in nanoseconds where the kernel keeps one; utime and
        // stime (fields 14 and 15 after the name) come in clock ticks of 10 ms, too coarse
        // for a thread that runs a few hundred microseconds per frame.
        double seconds = 0;
        unsigned long long runNs = 0, waitNs = 0;
        std::ifstream schedstat(dir + "/schedstat");
        if (schedstat >> runNs >> waitNs) {
            seconds = static_cast<double>(runNs) / 1e9;
            if (IsLibraryThread(name))
                cpu.libraryWaiting += static_cast<double>(waitNs) / 1e9;
        } else {
            unsigned long utime = 0, stime = 0;
            std::sscanf(stat.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                        &stime);
            seconds = static_cast<double>(utime + stime) / tick;
        }
        const bool library = IsLibraryThread(name);
        (library ? cpu.library : cpu.other) += seconds;
        if (library)
            cpu.libraryAllocations += AllocationsOfThread(static_cast<pid_t>(std::atol(entry->d_name)));
        cpu.libraryThreads += library;
        ++cpu.threads;
    }
    if (tasks)
        closedir(tasks);
    return cpu;
}

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

double Percentile(std::vector<int64_t> values, double p)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
    return static_cast<double>(values[at]) / 1e6;
}

// Delivery latencies counted by upper bound in ms (the last bucket: beyond the last bound),
// as a JSON array of [bound, count]: the shape of the tail, which a p99 alone hides.
std::string Histogram(const std::vector<int64_t>& values)
{
    static constexpr double kBoundsMs[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 50};
    size_t counts[std::size(kBoundsMs) + 1] = {};
    for (const int64_t v : values)
        ++counts[std::upper_bound(std::begin(kBoundsMs), std::end(kBoundsMs), static_cast<double>(v) / 1e6) -
                 std::begin(kBoundsMs)];
    std::string json = "[";
    for (size_t i = 0; i <= std::size(kBoundsMs); ++i)
        json += (i ? ",[" : "[") + (i < std::size(kBoundsMs) ? std::to_string(kBoundsMs[i]) : "null") + "," +
                std::to_string(counts[i]) + "]";
    return json + "]";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_host STREAMS SECONDS CLIPS_DIR [PACE [HARNOQUISTEL]]\n");
        return 2;
    }
    const unsigned streams = static_cast<unsigned>(std::atoi(argv[1]));
    const double seconds = std::atof(argv[2]);
    const std::string clips = argv[3];
    const double pace = argc > 4 ? std::atof(argv[4]) : 1;
    // Four descriptors or more per stream (RTP, RTCP, RTSP, more while starting): take what the hard limit allows.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    const unsigned deviceCount = (streams + kStreamsPerDevice - 1) / kStreamsPerDevice;
    const unsigned channels = (std::min(kStreamsPerDevice, streams) + 1) / 2;
    SiteProcess site;
    if (argc > 5 && !StartSite(site, argv[5], deviceCount, channels, clips, pace))
        return 1;
    std::vector<std::unique_ptr<Device>> devices;
    for (unsigned d = 0; d < deviceCount; ++d) {
        const unsigned here = std::min(kStreamsPerDevice, streams - d * kStreamsPerDevice);
        devices.push_back(std::make_unique<Device>());
        if (!OpenDevice(*devices.back(), site.pid > 0 ? channels : (here + 1) / 2, clips, pace,
                        site.pid > 0 ? &site.cameras[d] : nullptr))
            return 1;
    }
    const long rssBefore = ResidentKb();

    // Start-up phases, each stream opened alone.
    std::vector<std::unique_ptr<CountingSink>> sinks;
    std::vector<double> onvif, ports, rtsp, firstFrame, total;
    host::StreamRecord request;  // 25 fps; the simulator offers only the clip's size
    for (unsigned s = 0; s < streams; ++s) {
        Device& device = *devices[s / kStreamsPerDevice];
        const unsigned local = s % kStreamsPerDevice;
        sinks.push_back(std::make_unique<CountingSink>());
        CountingSink& sink = *sinks.back();
        const std::vector<uint16_t> known = RtpPorts();
        TakeEvents();
        host::StreamSettings settings(request);
        const int64_t opened = NowNs();
        if (!device.capture->OpenStream(local / 2, local % 2, &sink, &settings)) {
            std::fprintf(stderr, "bench_host: OpenStream %u refused\n", s);
            return 1;
        }
        while (sink.FirstFrameNs() == 0 && NowNs() - opened < 20'000'000'000)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (sink.FirstFrameNs() == 0) {
            std::fprintf(stderr, "bench_host: stream %u delivered nothing in 20 s\n", s);
            return 1;
        }
        for (uint16_t port : RtpPorts())
            if (std::find(known.begin(), known.end(), port) == known.end())
                sink.SetPort(port);
        int64_t firstBind = 0, firstRtsp = 0, firstRtp = 0;
        for (const TapRecord& e : TakeEvents()) {
            if (e.event == TapEvent::UdpBind && firstBind == 0)
                firstBind = e.ns;
            if (e.event == TapEvent::RtspRequest && firstRtsp == 0)
                firstRtsp = e.ns;
            if (e.event == TapEvent::FirstRtp && firstRtp == 0)
                firstRtp = e.ns;
        }
        if (firstRtp == 0 && sink.Port() != 0)
            firstRtp = ReadPort(sink.Port()).firstNs;
        if (firstBind && firstRtsp && firstRtp) {
            onvif.push_back(static_cast<double>(firstBind - opened) / 1e6);
            ports.push_back(static_cast<double>(firstRtsp - firstBind) / 1e6);
            rtsp.push_back(static_cast<double>(firstRtp - firstRtsp) / 1e6);
            firstFrame.push_back(static_cast<double>(sink.FirstFrameNs() - firstRtp) / 1e6);
        }
        total.push_back(static_cast<double>(sink.FirstFrameNs() - opened) / 1e6);
    }
    auto median = [](std::vector<double> v) {
        if (v.empty())
            return -1.0;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };

    // The window: every stream running, sends and deliveries counted alike.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    uint64_t framesBefore = 0;
    for (auto& sink : sinks)
        framesBefore += sink->Frames();
    const ThreadCpu cpuBefore = ReadThreadCpu();
    const auto simBefore = site.pid > 0 ? ProcessCpu(site.pid) : std::pair<double, int>{};
    rusage usageBefore{}, usageAfter{};
    getrusage(RUSAGE_SELF, &usageBefore);
    const uint64_t hostAllocationsBefore = HostAllocations();
    const int64_t windowStart = NowNs();
    SetWindow(true);
    SetAllocationTracing(true);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    SetAllocationTracing(false);
    SetWindow(false);
    const int64_t windowEnd = NowNs();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the window's last frames arrive
    getrusage(RUSAGE_SELF, &usageAfter);
    const ThreadCpu cpuAfter = ReadThreadCpu();
    const auto simAfter = site.pid > 0 ? ProcessCpu(site.pid) : std::pair<double, int>{};
    const uint64_t hostAllocationsAfter = HostAllocations();
    const long rssAfter = ResidentKb();

    uint64_t sent = 0, delivered = 0, unmatched = 0;
    std::vector<int64_t> latencies;
    for (auto& sink : sinks) {
        if (sink->Port() == 0) {
            ++unmatched;
            continue;
        }
        sent += ReadPort(sink->Port()).framesSentInWindow;
        delivered += sink->DeliveredInWindow();
        const auto l = sink->Latencies();
        latencies.insert(latencies.end(), l.begin(), l.end());
    }
    // The worst frame, and how many streams had a frame over 2 ms late within 20 ms of it:
    // one stream's trouble, or a stall all of them saw.
    unsigned worstStream = 0, slowStreams = 0;
    std::pair<int64_t, int64_t> worst{0, 0};
    for (unsigned s = 0; s < streams; ++s)
        if (sinks[s]->Worst().first > worst.first)
            worst = sinks[s]->Worst(), worstStream = s;
    for (auto& sink : sinks)
        slowStreams += sink->SlowNear(worst.second, 20'000'000);
    auto cpuSeconds = [](const rusage& u) {
        return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double window = static_cast<double>(windowEnd - windowStart) / 1e9;
    // Frames delivered over the window and the 300 ms after it, on every stream.
    uint64_t framesNow = 0;
    for (auto& sink : sinks)
        framesNow += sink->Frames();
    const uint64_t framesCounted = framesNow - framesBefore;
    const uint64_t libraryAllocations = cpuAfter.libraryAllocations - cpuBefore.libraryAllocations;
    const uint64_t hostAllocations = hostAllocationsAfter - hostAllocationsBefore;
    auto perFrame = [&](uint64_t count) {
        return framesCounted ? static_cast<double>(count) / static_cast<double>(framesCounted) : -1.0;
    };

    for (unsigned s = 0; s < streams; ++s)
        devices[s / kStreamsPerDevice]->capture->CloseStream((s % kStreamsPerDevice) / 2, s % 2);
    for (auto& device : devices) {
        device->driver->Close();
        DeleteIPCapture(device->driver);
        if (device->camera)
            device->camera->Stop();
    }
    if (site.pid > 0) {
        kill(site.pid, SIGTERM);
        waitpid(site.pid, nullptr, 0);
    }

    std::printf(
        "{\"streams\":%u,\"window_s\":%.2f,\"sent\":%llu,\"delivered\":%llu,\"lost\":%lld,\"unmatched\":%llu,"
        "\"latency_ms\":{\"median\":%.3f,\"p99\":%.3f,\"max\":%.3f,\"samples\":%zu,\"histogram\":%s},"
        "\"worst\":{\"stream\":%u,\"at_s\":%.2f,\"streams_over_2ms_within_20ms\":%u},"
        "\"startup_ms\":{\"onvif\":%.1f,\"ports\":%.1f,\"rtsp\":%.1f,\"first_frame\":%.1f,\"total\":%.1f},"
        "\"cpu_process_s\":%.3f,\"cpu_library_s\":%.3f,\"library_waiting_for_cpu_s\":%.3f,\"cpu_other_s\":%.3f,"
        "\"rss_kb_per_stream\":%.0f,\"library_threads\":%d,\"threads\":%d,"
        "\"simulator\":{\"separate\":%s,\"cpu_s\":%.3f,\"threads\":%d},"
        "\"allocations\":{\"library\":%llu,\"host\":%llu,\"library_per_frame\":%.3f,\"host_per_frame\":%.3f}}\n",
        streams, window, static_cast<unsigned long long>(sent), static_cast<unsigned long long>(delivered),
        static_cast<long long>(sent) - static_cast<long long>(delivered), static_cast<unsigned long long>(unmatched),
        Percentile(latencies, 0.5), Percentile(latencies, 0.99), Percentile(latencies, 1.0), latencies.size(),
        Histogram(latencies).c_str(), worstStream + 1,
        worst.second ? static_cast<double>(worst.second - windowStart) / 1e9 : -1.0, slowStreams, median(onvif),
        median(ports), median(rtsp), median(firstFrame), median(total),
        cpuSeconds(usageAfter) - cpuSeconds(usageBefore), cpuAfter.library - cpuBefore.library,
        cpuAfter.libraryWaiting - cpuBefore.libraryWaiting, cpuAfter.other - cpuBefore.other,
        static_cast<double>(rssAfter - rssBefore) / streams, cpuAfter.libraryThreads, cpuAfter.threads,
        site.pid > 0 ? "true" : "false", simAfter.first - simBefore.first, simAfter.second,
        static_cast<unsigned long long>(libraryAllocations), static_cast<unsigned long long>(hostAllocations),
        perFrame(libraryAllocations), perFrame(hostAllocations));
    return 0;
}
