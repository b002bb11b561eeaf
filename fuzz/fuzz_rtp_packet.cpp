// RTP datagram parse: any bytes, no read outside them, consistent lengths.
#include <cstdlib>

#include "rtp/CRTPPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    velkora::CRTPPacket packet;
    if (packet.Parse(data, size)) {
        const size_t used = 12 + packet.GetCsrcList().size() +
                            (packet.GetExtensionData().size() + ((data[0] & 0x10) ? 4 : 0)) + packet.GetPayloadLength();
        if (used > size || packet.GetCsrcList().size() != packet.GetCsrcCount() * 4u ||
            packet.GetExtensionData().size() != packet.GetExtensionLength() * 4u)
            std::abort();
    }
    return 0;
}
