#include <new>

#include "driver/DeviceFactories.h"

#if HQ_HAVE_H264_CHANNEL
#include "channels/CH264ChannelRTSP.h"
#endif

namespace velkora {

bool DeviceChannelAvailable()
{
    return HQ_HAVE_H264_CHANNEL != 0;
}

ICameraChannel* CreateDeviceChannel([[maybe_unused]] uint32_t channel, [[maybe_unused]] IDriver& driver,
                                    [[maybe_unused]] ipcapture::IHostChannelSink* sink)
{
#if HQ_HAVE_H264_CHANNEL
    return new (std::nothrow) CH264ChannelRTSP(channel, &driver, sink);
#else
    return nullptr;
#endif
}

} // namespace velkora
