#include "rtsp/CInterleavedDemuxer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FuzzCorpusReplay.h"

using namespace velkora;

extern "C" int ReplayInterleaved(const uint8_t*, size_t);

namespace {

struct Units : CInterleavedDemuxer::Sink {
    void OnInterleavedFrame(uint8_t channel, const uint8_t* data, size_t size) override
    {
        // Appended piece by piece: g++ 12 at -O3 reads "literal" + std::string as an
        // overlapping copy (-Wrestrict).
        std::string unit(1, '$');
        unit += std::to_string(channel);
        unit += ' ';
        unit.append(reinterpret_cast<const char*>(data), size);
        seen.push_back(std::move(unit));
    }
    void OnRtspMessage(std::string_view message) override { seen.emplace_back(message); }
    std::vector<std::string> seen;
};

std::string Frame(uint8_t channel, const std::string& payload)
{
    std::string f = {'$', static_cast<char>(channel), static_cast<char>(payload.size() >> 8),
                     static_cast<char>(payload.size() & 0xff)};
    return f + payload;
}

const std::string kOk = "RTSP/1.0 200 OK\r\nCSeq: 4\r\nSession: 1\r\n\r\n";

bool FeedText(CInterleavedDemuxer& d, const std::string& s)
{
    return d.Feed(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

}  // namespace

TEST(InterleavedDemuxer, FramesAndAnswersComeApartWhateverThePieces)
{
    const std::string body = "v=0\r\n\r\n$\x01\x00\x02xx";  // a body may hold anything
    const std::string describe =
        "RTSP/1.0 200 OK\r\ncontent-length :  " + std::to_string(body.size()) + "\r\n\r\n" + body;
    const std::string stream = Frame(0, "rtp-1") + kOk + Frame(1, "rtcp") + describe + Frame(0, "rtp-2") +
                               "SET_PARAMETER rtsp://cam/ RTSP/1.0\r\nCSeq: 9\r\n\r\n";
    const std::vector<std::string> expected = {
        "$0 rtp-1", kOk, "$1 rtcp", describe, "$0 rtp-2", "SET_PARAMETER rtsp://cam/ RTSP/1.0\r\nCSeq: 9\r\n\r\n"};
    for (size_t piece : {size_t{1}, size_t{3}, stream.size()}) {
        Units units;
        CInterleavedDemuxer demuxer(units);
        for (size_t i = 0; i < stream.size(); i += piece)
            ASSERT_TRUE(FeedText(demuxer, stream.substr(i, piece)));
        EXPECT_EQ(units.seen, expected) << "pieces of " << piece;
        EXPECT_EQ(demuxer.Pending(), 0u);
        EXPECT_EQ(demuxer.SkippedBytes(), 0u);
    }
}

TEST(InterleavedDemuxer, CutAnswersStrayBytesAndEmptyFramesAreSkipped)
{
    Units units;
    CInterleavedDemuxer demuxer(units);
    const std::string cut = "RTSP/1.0 200 OK\r\nCSeq: 3\r\n";
    ASSERT_TRUE(FeedText(demuxer, cut + Frame(0, "a") + std::string("\r\n\0\x7f", 4) + Frame(0, "") + kOk + "garbage " +
                                      Frame(2, "b")));
    EXPECT_EQ(units.seen, (std::vector<std::string>{"$0 a", kOk, "$2 b"}));
    EXPECT_EQ(demuxer.SkippedBytes(), cut.size() + 4 + 8);
}

TEST(InterleavedDemuxer, LargestFrameAndAFrameStillArriving)
{
    Units units;
    CInterleavedDemuxer demuxer(units);
    const std::string largest(65535, 'x');
    ASSERT_TRUE(FeedText(demuxer, Frame(0, largest) + Frame(0, largest).substr(0, 1000)));
    ASSERT_EQ(units.seen.size(), 1u);
    EXPECT_EQ(units.seen[0].size(), 3 + largest.size());
    EXPECT_EQ(demuxer.Pending(), 1000u);  // the rest may still come; nothing is guessed
    demuxer.Reset();
    EXPECT_EQ(demuxer.Pending(), 0u);
    ASSERT_TRUE(FeedText(demuxer, Frame(1, "after reset")));
    EXPECT_EQ(units.seen.back(), "$1 after reset");
}

TEST(InterleavedDemuxer, MessagesBeyondTheBoundsLoseTheStream)
{
    for (const std::string& bad : {"RTSP/1.0 200 OK\r\nX: " + std::string(CInterleavedDemuxer::kMaxHeaderSize, 'a'),
                                   std::string("RTSP/1.0 200 OK\r\nContent-Length: 262145\r\n\r\n"),
                                   std::string("RTSP/1.0 200 OK\r\nContent-Length: 12x\r\n\r\n")}) {
        Units units;
        CInterleavedDemuxer demuxer(units);
        EXPECT_FALSE(FeedText(demuxer, bad + "\r\n\r\n" + Frame(0, "late")));
        EXPECT_TRUE(demuxer.Lost());
        EXPECT_FALSE(FeedText(demuxer, Frame(0, "later")));
        EXPECT_TRUE(units.seen.empty());
        EXPECT_LE(demuxer.Pending(), CInterleavedDemuxer::kMaxMessageSize);
    }
}

TEST(InterleavedDemuxer, ReplaysTheFuzzCorpus)
{
    ReplayFuzzCorpora({{"fuzz_interleaved", ReplayInterleaved}});
}
