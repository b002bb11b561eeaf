#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkora {

// Media kinds of an SDP description; also the RTSP client's media selection.
enum MediaKind : int
{
    kMediaSession = 0,
    kMediaVideo = 1,
    kMediaAudio = 2,
    kMediaData = 3
};

// What the SDP says about one media kind.
struct MediaBlock {
    std::uint16_t port = 0;         // second token of "m="
    std::string protocol;           // third token of "m=", e.g. "RTP/AVP"
    std::string connectionAddress;  // IN IP4 address of "c=", without a /ttl suffix
    std::string control;            // "a=control:" value
    std::string rtpMap;             // encoding of "a=rtpmap", e.g. "H264/90000"
    int payloadType = -1;           // first format of "m=" when an RTP payload type; -1 unknown
};

struct MediaDescription {
    MediaBlock video;
    MediaBlock audio;
    MediaBlock data;
    std::vector<std::uint8_t> sps;  // decoded "sprop-parameter-sets" of the video block
    std::vector<std::uint8_t> pps;
    std::vector<std::uint8_t> config;  // decoded "config" when no parameter sets are given

    // Block of kind 1 to 3; null for any other kind.
    MediaBlock* Block(int kind);
    const MediaBlock* Block(int kind) const;
    void Clear() { *this = MediaDescription(); }
};

}  // namespace velkora
