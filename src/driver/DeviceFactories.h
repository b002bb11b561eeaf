#pragma once
// Construction of the device family's PTZ handler and stream channels. Kept
// apart from the driver so that the driver links without them; each factory
// answers null until its class exists: src/driver/CMakeLists.txt defines
// HQ_HAVE_PTZ_HANDLER / HQ_HAVE_H264_CHANNEL once ptz/CVerintPTZHandler.h and
// channels/CH264ChannelRTSP.h are in the tree.

#include <cstdint>

#include <velkora/hostframes.h>
#include <velkora/ptz.h>

#include "channels/ICameraChannel.h"
#include "driver/IDriver.h"

namespace velkora {

// The handler is constructed as CVerintPTZHandler(IDriver*, uint32_t channelCount).
IIPPTZDriverEx* CreateDevicePTZHandler(IDriver& driver, uint32_t channelCount);
// The channel is constructed as CH264ChannelRTSP(uint32_t channel, IDriver*, IHostChannelSink*).
ICameraChannel* CreateDeviceChannel(uint32_t channel, IDriver& driver, ipcapture::IHostChannelSink* sink);

// Whether the factories above can answer anything but null.
bool DevicePTZHandlerAvailable();
bool DeviceChannelAvailable();

} // namespace velkora
