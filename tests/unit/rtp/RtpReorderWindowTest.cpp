#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "rtp/RtpReorderWindow.h"

using velkora::CRTPPacket;
using velkora::RtpReorderWindow;

namespace {

struct Arrival {
    uint16_t sequence;
    uint64_t ms = 0;
};

struct Case {
    const char* name;
    std::vector<Arrival> arrivals;
    std::vector<uint16_t> delivered;
    uint64_t lost, dropped, reordered;
    size_t depth = 8;
};

std::vector<uint16_t> Deliveries(RtpReorderWindow& window, const std::vector<Arrival>& arrivals)
{
    std::vector<uint16_t> out;
    auto deliver = [&](const CRTPPacket& p) {
        out.push_back(p.GetSequenceNumber());
        const uint8_t payload = static_cast<uint8_t>(p.GetSequenceNumber());
        ASSERT_EQ(p.GetPayloadLength(), 1u);  // the held copy keeps its payload
        EXPECT_EQ(*p.GetPayload(), payload);
    };
    for (const Arrival& a : arrivals) {
        CRTPPacket packet;
        packet.SetSequenceNumber(a.sequence);
        const uint8_t payload = static_cast<uint8_t>(a.sequence);
        packet.SetPayload(&payload, 1);
        window.Push(packet, a.ms, deliver);
    }
    return out;
}

}  // namespace

TEST(RtpReorderWindow, PutsPacketsBackInOrderAndGivesUpRealHoles)
{
    const std::vector<Case> cases = {
        {"in order", {{10}, {11}, {12}}, {10, 11, 12}, 0, 0, 0},
        {"wraps at 65535", {{65534}, {65535}, {0}, {1}}, {65534, 65535, 0, 1}, 0, 0, 0},
        {"one late by two places", {{1}, {3}, {4}, {2}, {5}}, {1, 2, 3, 4, 5}, 0, 0, 1},
        {"late across the wrap", {{65535}, {1}, {0}, {2}}, {65535, 0, 1, 2}, 0, 0, 1},
        {"duplicates dropped", {{1}, {2}, {2}, {1}, {3}, {5}, {5}, {4}}, {1, 2, 3, 4, 5}, 0, 3, 1},
        {"hole given up when the window fills",
         {{1}, {3}, {4}, {5}, {6}, {7}, {8}, {9}, {10}},
         {1, 3, 4, 5, 6, 7, 8, 9, 10},
         1,
         0,
         0},
        {"too late after the hole was given up",
         {{1}, {3}, {4}, {5}, {6}, {7}, {8}, {9}, {2}, {10}},
         {1, 3, 4, 5, 6, 7, 8, 9, 10},
         1,
         1,
         0},
        {"hole given up after the hold time", {{1, 0}, {3, 10}, {4, 20}, {5, 60}}, {1, 3, 4, 5}, 1, 0, 0},
        {"late packet in time", {{1, 0}, {3, 10}, {2, 55}, {4, 56}}, {1, 2, 3, 4}, 0, 0, 1},
        // Far outside the window: a new position once the next packet continues from it.
        {"jump ahead beyond the window", {{1}, {3}, {100}, {101}}, {1, 3, 100, 101}, 97, 0, 0},
        {"sender restarted far back", {{5000}, {5002}, {7}, {8}}, {5000, 5002, 7, 8}, 1, 0, 0},
        {"strays ahead and behind", {{1}, {2}, {202}, {3}, {5003}, {4}, {40000}, {5}}, {1, 2, 3, 4, 5}, 0, 3, 0},
        {"a stray, then a real jump", {{1}, {500}, {2}, {900}, {901}, {902}}, {1, 2, 900, 901, 902}, 897, 1, 0},
        {"two strays in a row", {{1}, {300}, {700}, {2}}, {1, 2}, 0, 2, 0},
        {"two holes, filled in reverse", {{1}, {4}, {3}, {2}, {5}}, {1, 2, 3, 4, 5}, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RtpReorderWindow window(c.depth, 50);
        EXPECT_EQ(Deliveries(window, c.arrivals), c.delivered);
        EXPECT_EQ(window.Lost(), c.lost);
        EXPECT_EQ(window.Dropped(), c.dropped);
        EXPECT_EQ(window.Reordered(), c.reordered);
        EXPECT_EQ(window.Held(), 0u);
    }
}

TEST(RtpReorderWindow, ExpireAndResetReleaseWhatIsHeld)
{
    RtpReorderWindow window(8, 50);
    std::vector<uint16_t> out;
    auto deliver = [&](const CRTPPacket& p) { out.push_back(p.GetSequenceNumber()); };
    CRTPPacket packet;
    for (uint16_t s : {1, 3, 4}) {
        packet.SetSequenceNumber(s);
        window.Push(packet, 100, deliver);
    }
    EXPECT_EQ(out, (std::vector<uint16_t>{1}));
    window.Expire(149, deliver);
    EXPECT_EQ(window.Held(), 2u);
    window.Expire(150, deliver);  // the stream went quiet: the held packets still go out
    EXPECT_EQ(out, (std::vector<uint16_t>{1, 3, 4}));

    packet.SetSequenceNumber(6);
    window.Push(packet, 200, deliver);
    window.Reset();  // a new session numbers from anywhere
    EXPECT_EQ(window.Held(), 0u);
    packet.SetSequenceNumber(40000);
    window.Push(packet, 300, deliver);
    EXPECT_EQ(out.back(), 40000);
}
