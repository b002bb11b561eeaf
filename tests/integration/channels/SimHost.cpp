#include "SimHost.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace channeltest {

std::string FixedProfilesConfiguration(unsigned channels)
{
    std::string text;
    for (unsigned i = 0; i < channels; ++i) {
        const std::string c = std::to_string(i), n = std::to_string(i + 1);
        text += "source" + c + "=VideoSourceConfig_" + n + ";profile" + c + "=Profile_" + n + "_1;encoder" + c +
                "=VideoEncoderConfig_" + n + "_1;profile" + c + "Live=Profile_" + n + "_2;encoder" + c +
                "Live=VideoEncoderConfig_" + n + "_2;";
    }
    return text;
}

sim::SimulatorOptions SimOptions(unsigned channels)
{
    sim::SimulatorOptions options;
    options.httpPort = 0;
    options.rtspPort = 0;
    options.ptzPort = 0;
    options.channels = channels;
    return options;
}

std::vector<sim::Fault> Faults(const std::vector<std::string>& specs)
{
    std::vector<sim::Fault> faults;
    for (const std::string& spec : specs) {
        std::string error;
        auto fault = sim::ParseFault(spec, &error);
        EXPECT_TRUE(fault.has_value()) << spec << ": " << error;
        if (fault)
            faults.push_back(*fault);
    }
    return faults;
}

Device::Device(sim::Simulator& camera, std::string configuration, unsigned channels, std::string password)
{
    sim::SimulatorPorts ports = camera.Ports();
    host::DeviceRecord record;
    record.address = "127.0.0.1:" + std::to_string(ports.http);
    record.port = ports.ptz;
    record.user = "admin";
    record.password = std::move(password);
    record.model = "SIM-1";
    record.channelCount = channels;
    record.parameters = {"0",
                         "1.0",
                         "",
                         "/onvif/device_service",
                         "/onvif/media_service",
                         "/onvif/ptz_service",
                         "",
                         "Digest",
                         std::move(configuration),
                         std::to_string(ports.rtsp)};
    settings = std::make_unique<host::DeviceSettings>(record);
    driver = CreateIPCapture();
    if (!driver || !driver->Open(&debug, &frames, settings.get()))
        return;
    capture = static_cast<velkora::ipcapture::IIPCaptureDriverEx5*>(driver)->GetVideoCaptureEx5();
}

Device::~Device()
{
    DeleteIPCapture(driver);
}

bool Device::OpenStream(uint32_t channel, uint32_t kind, host::ChannelSink& sink, host::StreamRecord request)
{
    host::StreamSettings streamSettings(request);
    return capture && capture->OpenStream(channel, kind, &sink, &streamSettings);
}

size_t CountRequests(const sim::Simulator& camera, const std::string& prefix)
{
    std::vector<std::string> lines = camera.RequestLog();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.compare(0, prefix.size(), prefix) == 0;
    }));
}

bool WaitForRequests(const sim::Simulator& camera, const std::string& prefix, size_t count,
                     std::chrono::milliseconds timeout)
{
    // The simulator signals single requests, not counts: poll its log.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (CountRequests(camera, prefix) < count) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

int LibraryThreadCount()
{
    static const char* const kNames[] = {"Capture ch", "RTSP Client", "UDP client", "RTP Packet", "RTCP Handler"};
    int count = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return -1;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        for (const char* prefix : kNames)
            if (name.rfind(prefix, 0) == 0)
                ++count;
    }
    closedir(tasks);
    return count;
}

std::vector<sim::Bytes> SplitDelivered(const std::vector<uint8_t>& frame)
{
    static const uint8_t kTrailer[] = {0, 0, 0, 1, 9};
    sim::Bytes body(frame.begin(), frame.end());
    if (body.size() >= sizeof kTrailer && std::equal(std::end(kTrailer) - 5, std::end(kTrailer), body.end() - 5))
        body.resize(body.size() - 5);
    return sim::SplitAnnexB(body);
}

bool SameSlices(const std::vector<sim::Bytes>& delivered, const sim::AccessUnit& au)
{
    auto isSlice = [](const sim::Bytes& nal) {
        int type = nal.empty() ? 0 : nal[0] & 0x1f;
        return type >= 1 && type <= 5;
    };
    std::vector<sim::Bytes> a, b;
    std::copy_if(delivered.begin(), delivered.end(), std::back_inserter(a), isSlice);
    std::copy_if(au.nalUnits.begin(), au.nalUnits.end(), std::back_inserter(b), isSlice);
    return !a.empty() && a == b;
}

int FindInClip(const sim::Clip& clip, const std::vector<uint8_t>& frame)
{
    std::vector<sim::Bytes> delivered = SplitDelivered(frame);
    for (size_t i = 0; i < clip.frames.size(); ++i)
        if (SameSlices(delivered, clip.frames[i]))
            return static_cast<int>(i);
    return -1;
}

bool WriteAnnexB(const std::string& path, const std::vector<host::ReceivedFrame>& frames)
{
    std::ofstream out(path, std::ios::binary);
    for (const host::ReceivedFrame& frame : frames) {
        size_t size = frame.data.size() >= 5 ? frame.data.size() - 5 : 0;
        out.write(reinterpret_cast<const char*>(frame.data.data()), static_cast<std::streamsize>(size));
    }
    return static_cast<bool>(out);
}

std::vector<std::string> DecodedFrameMd5(const std::string& path)
{
    std::vector<std::string> md5s;
    std::string command = "ffmpeg -nostdin -v error -i '" + path + "' -f framemd5 - 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return md5s;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (text.empty() || text[0] == '#')
            continue;
        size_t comma = text.rfind(',');
        if (comma == std::string::npos)
            continue;
        std::string md5 = text.substr(comma + 1);
        md5.erase(std::remove_if(md5.begin(), md5.end(), ::isspace), md5.end());
        md5s.push_back(md5);
    }
    pclose(pipe);
    return md5s;
}

std::string TempPath(const std::string& name)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/hq_channels_" + std::to_string(getpid()) + "_" + name;
}

std::shared_ptr<const sim::Clip> LoadClip(unsigned width, unsigned height)
{
    sim::ClipLibrary library;
    std::string error;
    if (!library.Load(sim::BundledClipsDirectory(), &error))
        return nullptr;
    return library.Find(width, height);
}

}  // namespace channeltest
