// Runs the fuzz targets themselves (built in under other names) over their corpora: the
// seeds and every input a fuzzer once crashed on stay fixed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" int ReplayRtpPacket(const uint8_t*, size_t);
extern "C" int ReplayRtcp(const uint8_t*, size_t);
extern "C" int ReplaySps(const uint8_t*, size_t);
extern "C" int ReplayH264Depacketizer(const uint8_t*, size_t);

TEST(FuzzCorpusReplay, EveryInputOfEveryTarget) {
    const std::pair<const char*, int (*)(const uint8_t*, size_t)> targets[] = {
        {"fuzz_rtp_packet", ReplayRtpPacket},
        {"fuzz_rtcp", ReplayRtcp},
        {"fuzz_sps", ReplaySps},
        {"fuzz_h264_depacketizer", ReplayH264Depacketizer},
    };
    for (const auto& [name, target] : targets) {
        int inputs = 0;
        for (const auto& entry : std::filesystem::directory_iterator(std::string(HQ_FUZZ_CORPUS) + "/" + name)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            SCOPED_TRACE(entry.path().string());
            EXPECT_EQ(target(input.data(), input.size()), 0);  // the targets abort on a broken invariant
            ++inputs;
        }
        EXPECT_GT(inputs, 0) << name;
    }
}
