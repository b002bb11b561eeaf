#include "rtsp/CSDPResponseParser.h"

#include "foundation/KeyValueLookup.h"
#include "foundation/Base64.h"
#include "rtsp/TextScan.h"

namespace velkora {

namespace {

int MediaKindOf(std::string_view token)
{
    const std::string kind = ToLower(token);
    if (kind == "video")
        return kMediaVideo;
    if (kind == "audio")
        return kMediaAudio;
    if (kind == "metadata" || kind == "data" || kind == "application")
        return kMediaData;
    return kMediaSession;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;  // devices are trusted this far: a stray character reads as 0
}

bool DecodeHex(std::string_view text, std::vector<std::uint8_t>& out, std::size_t maxSize)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        if (out.size() >= maxSize) {
            out.clear();
            return false;
        }
        int byte = HexDigit(text[i]);
        if (i + 1 < text.size())
            byte = byte * 16 + HexDigit(text[i + 1]);
        out.push_back(static_cast<std::uint8_t>(byte));
    }
    return true;
}

}  // namespace

bool CSDPResponseParser::Parse(std::string_view sdp)
{
    description_.Clear();
    int kind = kMediaSession;
    std::size_t at = 0;
    while (at < sdp.size()) {
        const auto start = sdp.find_first_not_of("\r\n", at);
        if (start == std::string_view::npos)
            break;
        auto end = sdp.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = sdp.size();
        at = end;
        const std::string_view line = sdp.substr(start, end - start);
        const std::string lower = ToLower(line.substr(0, 9));
        const std::string_view head(lower);
        bool ok = true;
        if (head.starts_with("m=")) {
            ok = ParseMediaLine(line, kind);
        } else if (head.starts_with("c=in")) {
            ok = ParseConnectionLine(line, kind);
        } else if (head.starts_with("a=control")) {
            ok = ParseControlLine(line, kind);
        } else if (head.starts_with("a=fmtp")) {
            if (kind == kMediaSession)
                return false;  // format parameters need a media block
            if (kind == kMediaVideo)
                ok = ParseVideoFormatLine(line);
        } else if (head.starts_with("a=rtpmap")) {
            ok = ParseRtpMapLine(line, kind);
        }
        if (!ok)
            return false;
    }
    return true;
}

bool CSDPResponseParser::ParseMediaLine(std::string_view line, int& kind)
{
    const std::string value = LookupDelimitedValue(line, "m", "=", "\r\n");
    const auto tokens = SplitAtBlanks(value);
    if (tokens.empty())
        return false;
    kind = MediaKindOf(tokens[0]);
    if (tokens.size() >= 3) {
        if (MediaBlock* block = description_.Block(kind)) {
            block->port = static_cast<std::uint16_t>(StrictUnsigned(tokens[1]));
            block->protocol = std::string(tokens[2]);
            // RTP payload types are 0..127; the first format is the one the stream carries.
            if (tokens.size() >= 4 && !tokens[3].empty() && tokens[3].size() <= 3 &&
                tokens[3].find_first_not_of("0123456789") == std::string_view::npos && StrictUnsigned(tokens[3]) < 128)
                block->payloadType = static_cast<int>(StrictUnsigned(tokens[3]));
        }
    }
    return true;
}

bool CSDPResponseParser::ParseConnectionLine(std::string_view line, int kind)
{
    const std::string value = LookupDelimitedValue(line, "c", "=", "\r\n");
    const auto tokens = SplitAtBlanks(value);
    if (tokens.size() < 3)
        return false;
    if (tokens[0] == "IN" && tokens[1] == "IP4") {
        const std::string_view address = tokens[2].substr(0, tokens[2].find('/'));
        if (MediaBlock* block = description_.Block(kind))
            block->connectionAddress = std::string(address);
        return !address.empty();
    }
    return tokens[1] == "IP6";
}

bool CSDPResponseParser::ParseControlLine(std::string_view line, int kind)
{
    constexpr std::string_view kPrefix = "a=control:";
    const auto at = line.find(kPrefix);
    if (at == std::string_view::npos)
        return false;
    const std::string_view control = line.substr(at + kPrefix.size());
    if (MediaBlock* block = description_.Block(kind))
        block->control = std::string(control);
    return !control.empty();
}

bool CSDPResponseParser::ParseRtpMapLine(std::string_view line, int kind)
{
    const std::string value = LookupDelimitedValue(line, "a=rtpmap", ":", "\r\n");
    const auto tokens = SplitAtBlanks(value);
    if (tokens.size() < 2)
        return false;
    if (MediaBlock* block = description_.Block(kind))
        block->rtpMap = std::string(tokens[1]);
    return true;
}

bool CSDPResponseParser::ParseVideoFormatLine(std::string_view line)
{
    constexpr std::string_view kDelimiters = " ;\r\n";
    const std::string sets = LookupDelimitedValue(line, "sprop-parameter-sets", "=", kDelimiters);
    if (!sets.empty()) {
        const auto comma = sets.find(',');
        if (comma == std::string::npos)
            return false;
        const std::string_view all(sets);
        const std::string_view sps = all.substr(0, comma);
        std::string_view pps = all.substr(comma + 1);
        pps = pps.substr(0, pps.find(','));
        // An oversized set is left empty rather than truncated.
        Base64Decode(sps, description_.sps, kMaxParameterSetSize);
        Base64Decode(pps, description_.pps, kMaxParameterSetSize);
        return !description_.sps.empty() && !description_.pps.empty();
    }
    const std::string config = LookupDelimitedValue(line, "config", "=", kDelimiters);
    if (config.empty())
        return false;
    if (config.find('=') != std::string::npos) {
        Base64Decode(config, description_.config, kMaxConfigSize);
    } else {
        DecodeHex(config, description_.config, kMaxConfigSize);
    }
    return !description_.config.empty();
}

}  // namespace velkora
