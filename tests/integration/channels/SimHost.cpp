#include "SimHost.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

namespace channeltest {

std::vector<sim::Fault> Faults(const std::vector<std::string>& specs)
{
    std::vector<sim::Fault> faults;
    for (const std::string& spec : specs)
        if (auto fault = sim::ParseFault(spec))
            faults.push_back(*fault);
    EXPECT_EQ(faults.size(), specs.size());
    return faults;
}

Device::Device(const sim::SimulatorPorts& ports, std::string configuration, unsigned channels, std::string password,
               const std::string& host)
{
    host::DeviceRecord record;
    record.address = host + ":" + std::to_string(ports.http);
    record.port = ports.ptz;
    record.user = "admin";
    record.password = std::move(password);
    record.model = "SIM-1";
    record.channelCount = channels;
    record.parameters = sim::DeviceParameters(ports.rtsp, std::move(configuration));
    settings = std::make_unique<host::DeviceSettings>(record);
    driver = CreateIPCapture();
    if (driver && driver->Open(&debug, &frames, settings.get()))
        capture = static_cast<velkora::ipcapture::IIPCaptureDriverEx5*>(driver)->GetVideoCaptureEx5();
}

bool Device::OpenStream(uint32_t channel, uint32_t kind, host::ChannelSink& sink, host::StreamRecord request)
{
    host::StreamSettings streamSettings(request);
    return capture && capture->OpenStream(channel, kind, &sink, &streamSettings);
}

size_t CountRequests(const sim::Simulator& camera, const std::string& prefix)
{
    std::vector<std::string> lines = camera.RequestLog();
    return static_cast<size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !done();) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

bool WaitForRequests(const sim::Simulator& camera, const std::string& prefix, size_t count,
                     std::chrono::milliseconds timeout)
{
    return WaitUntil([&] { return CountRequests(camera, prefix) >= count; }, timeout);
}

int LibraryThreadCount()
{
    auto count = [] {
        int n = 0;
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            std::ifstream comm(task.path() / "comm");
            std::string name;
            std::getline(comm, name);
            for (const char* prefix : {"Capture ch", "RTSP Client", "UDP client", "RTP Packet", "RTCP Handler"})
                n += name.rfind(prefix, 0) == 0;
        }
        return n;
    };
    // A joined thread can still be listed for a moment while the kernel finishes its exit
    // (seen under TSan on a loaded machine); a thread left running stays.
    int n = count();
    for (int i = 0; n != 0 && i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        n = count();
    }
    return n;
}

std::shared_ptr<const sim::Clip> LoadClip(unsigned width, unsigned height)
{
    sim::ClipLibrary library;
    return library.Load(sim::BundledClipsDirectory(), nullptr) ? library.Find(width, height) : nullptr;
}

int FindInClip(const sim::Clip& clip, const std::vector<uint8_t>& frame)
{
    // Parameter sets, SEI and delimiters aside, a frame must carry exactly the clip's slices.
    auto slices = [](const std::vector<sim::Bytes>& nals) {
        std::vector<sim::Bytes> out;
        std::copy_if(nals.begin(), nals.end(), std::back_inserter(out),
                     [](const sim::Bytes& n) { return !n.empty() && (n[0] & 0x1f) >= 1 && (n[0] & 0x1f) <= 5; });
        return out;
    };
    std::vector<sim::Bytes> delivered = slices(sim::SplitAnnexB(sim::Bytes(frame.begin(), frame.end() - 5)));
    for (size_t i = 0; i < clip.frames.size(); ++i)
        if (!delivered.empty() && delivered == slices(clip.frames[i].nalUnits))
            return static_cast<int>(i);
    return -1;
}

std::string WriteAnnexB(const std::string& name, const std::vector<host::ReceivedFrame>& frames)
{
    const std::string path = "/tmp/hq_channels_" + std::to_string(getpid()) + "_" + name;
    std::ofstream out(path, std::ios::binary);
    for (const host::ReceivedFrame& frame : frames)  // without the 00 00 00 01 09 trailer
        out.write(reinterpret_cast<const char*>(frame.data.data()),
                  static_cast<std::streamsize>(frame.data.size() - 5));
    return path;
}

size_t ExpectWholeAccessUnits(const std::vector<host::ReceivedFrame>& frames)
{
    auto clip = LoadClip(1280, 720);
    EXPECT_TRUE(clip);
    size_t missing = 0, count = clip ? clip->frames.size() : 1;
    for (size_t i = 0, previous = SIZE_MAX; clip && i < frames.size(); ++i) {
        const int index = FindInClip(*clip, frames[i].data);
        EXPECT_GE(index, 0) << "frame " << i << " is not an access unit of the clip";
        if (index < 0)
            return missing;
        const size_t at = static_cast<size_t>(index), skipped = (at + count - previous - 1) % count;
        EXPECT_TRUE((previous != SIZE_MAX && skipped == 0) || clip->frames[at].idr) << "frame " << i;
        missing += previous == SIZE_MAX ? 0 : skipped;
        previous = at;
    }
    return missing;
}

void ExpectFramesFollowTheClip(const std::vector<host::ReceivedFrame>& frames)
{
    EXPECT_FALSE(frames.empty());
    EXPECT_EQ(ExpectWholeAccessUnits(frames), 0u);
}

void ExpectFramesDecode(const std::vector<host::ReceivedFrame>& frames)
{
    const std::string recorded = WriteAnnexB("decoded.h264", frames);
    const std::string probe = RunCommand(
        "ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 '" + recorded + "' 2>&1");
    std::remove(recorded.c_str());
    EXPECT_EQ(probe, std::to_string(frames.size()) + "\n");
}

}  // namespace channeltest
