#pragma once
// A reference host driving the library against the simulated camera on free loopback ports.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
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
#include "support/Peers.h"
#include "support/SimCamera.h"

namespace channeltest {

using namespace std::chrono_literals;

using sim::FixedProfilesConfiguration;
inline sim::SimulatorOptions SimOptions(unsigned channels = 1)
{
    return FreePortOptions(channels);
}
std::vector<sim::Fault> Faults(const std::vector<std::string>& specs);

// The reference host's device on a camera's ports (the simulator's, or any peer's).
struct Device {
    Device(const sim::SimulatorPorts& ports, std::string configuration, unsigned channels = 1,
           std::string password = "admin", const std::string& host = "127.0.0.1");
    Device(sim::Simulator& camera, std::string configuration, unsigned channels = 1, std::string password = "admin",
           const std::string& host = "127.0.0.1")
        : Device(camera.Ports(), std::move(configuration), channels, std::move(password), host)
    {
    }
    ~Device() { DeleteIPCapture(driver); }
    bool OpenStream(uint32_t channel, uint32_t kind, host::ChannelSink& sink, host::StreamRecord request = {});
    bool CloseStream(uint32_t channel, uint32_t kind) { return capture->CloseStream(channel, kind); }

    host::DebugOutput debug;
    host::FrameFactory frames;
    std::unique_ptr<host::DeviceSettings> settings;
    velkora::ipcapture::IIPCaptureDriver* driver = nullptr;
    velkora::ipcapture::IIPVideoCaptureEx2* capture = nullptr;
};

// Polls `done` until it holds, or `timeout` passes: for counts that nothing signals.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
size_t CountRequests(const sim::Simulator& camera, const std::string& prefix);
bool WaitForRequests(const sim::Simulator& camera, const std::string& prefix, size_t count,
                     std::chrono::milliseconds timeout);
// Threads of the library alive in this process (capture, RTSP, UDP, packet queue, RTCP).
int LibraryThreadCount();

std::shared_ptr<const sim::Clip> LoadClip(unsigned width, unsigned height);
// Index of the clip access unit whose slices a delivered frame carries; -1 when none.
int FindInClip(const sim::Clip& clip, const std::vector<uint8_t>& frame);
// The frames as one Annex B file (trailers stripped); its name.
std::string WriteAnnexB(const std::string& name, const std::vector<host::ReceivedFrame>& frames);
// Every frame is an access unit of the looping 1280x720 clip, byte for byte, that follows its
// predecessor or starts decoding over at a key frame; returns the clip frames skipped between.
size_t ExpectWholeAccessUnits(const std::vector<host::ReceivedFrame>& frames);
// As above, and none skipped.
void ExpectFramesFollowTheClip(const std::vector<host::ReceivedFrame>& frames);
// ffprobe reads every frame of the recording, and prints no error.
void ExpectFramesDecode(const std::vector<host::ReceivedFrame>& frames);

// One stream (kind 0 of channel 0) of a simulated camera; every library thread is gone after the test.
class CameraStream : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(camera.Start()); }
    void TearDown() override
    {
        if (device && !closed) {
            EXPECT_TRUE(device->CloseStream(0, 0));
        }
        EXPECT_EQ(LibraryThreadCount(), 0);
    }
    // `transport` is read when the driver opens; null leaves the default.
    bool Open(const char* transport = nullptr, std::string password = "admin")
    {
        if (transport)
            setenv("HARNOQUISTEL_RTSP_TRANSPORT", transport, 1);
        device = std::make_unique<Device>(camera, FixedProfilesConfiguration(1), 1, std::move(password));
        unsetenv("HARNOQUISTEL_RTSP_TRANSPORT");
        closed = false;
        return device->OpenStream(0, 0, sink);
    }
    void Close()
    {
        EXPECT_TRUE(device->CloseStream(0, 0));
        closed = true;
    }

    sim::Simulator camera{SimOptions()};
    host::ChannelSink sink;
    std::unique_ptr<Device> device;
    bool closed = false;
};

}  // namespace channeltest
