#include "FuzzCorpusReplay.h"

extern "C" int ReplayRtpPacket(const uint8_t*, size_t);
extern "C" int ReplayRtcp(const uint8_t*, size_t);
extern "C" int ReplaySps(const uint8_t*, size_t);
extern "C" int ReplayH264Depacketizer(const uint8_t*, size_t);

TEST(FuzzCorpusReplay, EveryInputOfEveryTarget)
{
    ReplayFuzzCorpora({{"fuzz_rtp_packet", ReplayRtpPacket},
                       {"fuzz_rtcp", ReplayRtcp},
                       {"fuzz_sps", ReplaySps},
                       {"fuzz_h264_depacketizer", ReplayH264Depacketizer}});
}
