// Every committed fuzz input is replayed through the parsers it was found with.
#include "rtsp/CRTSPResponseParser.h"
#include "rtsp/CSDPResponseParser.h"
#include "rtsp/RtspMethod.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using namespace velkora;

namespace {

template <typename Feed>
int ReplayCorpus(const std::string& target, Feed feed) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(FUZZ_CORPUS_DIR) + "/" + target)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        feed(input);
        ++count;
    }
    return count;
}

}  // namespace

TEST(FuzzCorpusReplay, RtspResponses) {
    EXPECT_GT(ReplayCorpus("fuzz_rtsp_response",
                           [](const std::string& input) {
                               CRTSPResponseParser parser;
                               for (int kind = kRtspDescribe; kind <= kRtspOptions; ++kind) parser.Parse(kind, input);
                           }),
              0);
}

TEST(FuzzCorpusReplay, SdpBodies) {
    EXPECT_GT(ReplayCorpus("fuzz_sdp", [](const std::string& input) { CSDPResponseParser().Parse(input); }), 0);
}
