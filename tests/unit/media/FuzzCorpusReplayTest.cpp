// Replays the fuzz corpora (seeds and every input a fuzzer once crashed on) through the
// same entry points as the fuzz targets, so that fixed faults stay fixed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "media/CH264RTPMediaParser.h"
#include "media/H264Sps.h"
#include "rtp/CRTCPHandler.h"
#include "unit/media/MediaTestSupport.h"

using namespace mediatest;

namespace {

std::vector<Bytes> Corpus(const char* target) {
    std::vector<Bytes> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(HQ_FUZZ_CORPUS) + "/" + target)) {
        std::ifstream in(entry.path(), std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_FALSE(inputs.empty()) << target;
    return inputs;
}

class QuietDebug : public velkora::IDebugMessage {
public:
    std::string GetName() override { return "replay:0"; }
    void DebugMessage(int32_t, const char*, ...) override {}
};

}  // namespace

TEST(FuzzCorpusReplay, ParsersSurviveEveryInput) {
    for (const Bytes& input : Corpus("fuzz_rtp_packet")) velkora::CRTPPacket().Parse(input.data(), input.size());
    for (const Bytes& input : Corpus("fuzz_sps")) {
        uint16_t width = 0, height = 0;
        velkora::ParseH264Sps(input.data(), input.size(), width, height);
    }
    QuietDebug debug;
    for (const Bytes& input : Corpus("fuzz_rtcp")) {
        velkora::CRTCPHandler handler(&debug);
        handler.OnDataReceived(nullptr, sockaddr_in{}, input.data(), input.size());
    }
}

TEST(FuzzCorpusReplay, DepacketizerSurvivesEveryInput) {
    for (const Bytes& input : Corpus("fuzz_h264_depacketizer")) {
        FakeDriver driver;
        host::FrameFactory factory;
        FakeClient client;
        driver.factory = &factory;
        velkora::CH264RTPMediaParser parser(&driver);
        parser.SetClient(&client);
        uint16_t sequence = 0;
        // The fuzz target's framing: 2-byte length, a flag byte, the payload.
        for (size_t offset = 0; offset + 3 <= input.size();) {
            const size_t n = std::min<size_t>(((input[offset] << 8) | input[offset + 1]) % 4096, input.size() - offset - 3);
            const uint8_t flags = input[offset + 2];
            const Bytes payload(input.begin() + offset + 3, input.begin() + offset + 3 + n);
            offset += 3 + n;
            if (flags & 0x40) {
                parser.SetParameterSets(Bytes(payload.begin(), payload.begin() + n / 2),
                                        Bytes(payload.begin() + n / 2, payload.end()), {});
                continue;
            }
            const Bytes datagram = RtpDatagram(sequence, flags, flags & 0x80, payload);
            velkora::CRTPPacket packet;
            if (packet.Parse(datagram.data(), datagram.size())) parser.ProcessPacket(packet);
            sequence = static_cast<uint16_t>(sequence + ((flags & 0x20) ? 2 : 1));
        }
        for (const host::ReceivedFrame& frame : client.sink.Frames())
            EXPECT_EQ(Bytes(frame.data.end() - 5, frame.data.end()), (Bytes{0, 0, 0, 1, 9}));
        EXPECT_EQ(factory.Outstanding(), 0);
    }
}
