#pragma once
// A reference host driving the library against the simulated camera on free loopback
// ports, and the checks the channel tests share.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <velkora/ipcapture.h>

#include "host/DebugOutput.h"
#include "host/DeviceSettings.h"
#include "host/Frames.h"
#include "host/StreamSettings.h"
#include "sim/Clip.h"
#include "sim/Simulator.h"

namespace channeltest {

using namespace std::chrono_literals;

// The channel configuration text of the simulator's fixed profiles: stream kind 0 of
// channel i uses encoder i_1, kind 1 uses encoder i_2, kind 2 none.
std::string FixedProfilesConfiguration(unsigned channels);

struct Device {
    explicit Device(sim::Simulator& camera, std::string configuration, unsigned channels = 1,
                    std::string password = "admin");
    ~Device();

    velkora::ipcapture::IIPVideoCaptureEx2* Capture() { return capture; }
    bool OpenStream(uint32_t channel, uint32_t kind, host::ChannelSink& sink, host::StreamRecord request = {});
    bool CloseStream(uint32_t channel, uint32_t kind) { return capture->CloseStream(channel, kind); }

    host::DebugOutput debug;
    host::FrameFactory frames;
    std::unique_ptr<host::DeviceSettings> settings;
    velkora::ipcapture::IIPCaptureDriver* driver = nullptr;
    velkora::ipcapture::IIPVideoCaptureEx2* capture = nullptr;
};

sim::SimulatorOptions SimOptions(unsigned channels = 1);
std::vector<sim::Fault> Faults(const std::vector<std::string>& specs);

// Requests of the simulator's log that start with `prefix`.
size_t CountRequests(const sim::Simulator& camera, const std::string& prefix);
// Waits (bounded) until at least `count` such requests were logged.
bool WaitForRequests(const sim::Simulator& camera, const std::string& prefix, size_t count,
                     std::chrono::milliseconds timeout);

// Threads of the library still alive in this process (capture, RTSP, UDP, queue, RTCP).
int LibraryThreadCount();

// NAL units of an Annex B access unit as the library delivers it, without the trailer.
std::vector<sim::Bytes> SplitDelivered(const std::vector<uint8_t>& frame);
// True when `frame` carries exactly the slices of clip access unit `au` (parameter sets,
// SEI and delimiters aside).
bool SameSlices(const std::vector<sim::Bytes>& delivered, const sim::AccessUnit& au);
// Index of the clip access unit a delivered frame carries, -1 when none matches.
int FindInClip(const sim::Clip& clip, const std::vector<uint8_t>& frame);

// Writes the frames (trailer stripped) as one Annex B file.
bool WriteAnnexB(const std::string& path, const std::vector<host::ReceivedFrame>& frames);
// Per-frame MD5s of the decoded pictures (ffmpeg -f framemd5).
std::vector<std::string> DecodedFrameMd5(const std::string& path);
std::string TempPath(const std::string& name);
std::shared_ptr<const sim::Clip> LoadClip(unsigned width, unsigned height);

}  // namespace channeltest
