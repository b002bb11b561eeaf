#pragma once

#include <cstddef>
#include <cstdint>

namespace velkora {

// Takes the RTP or the RTCP packets that arrive inside the RTSP connection; called on the
// RTSP session's thread, `data` valid for the call only.
class IInterleavedPacketSink
{
public:
    virtual ~IInterleavedPacketSink() = default;
    // False: the packet was dropped for want of room (the caller reports such drops).
    virtual bool OnInterleavedPacket(const uint8_t* data, size_t length) = 0;
    // The packets of one read of the connection have all been offered: a sink that gathers
    // them hands them on now. Returns how many of them it then had to drop for want of room.
    virtual size_t OnInterleavedBatchEnd() { return 0; }
};

}  // namespace velkora
