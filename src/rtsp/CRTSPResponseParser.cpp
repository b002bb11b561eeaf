#include "rtsp/CRTSPResponseParser.h"

#include "foundation/KeyValueLookup.h"
#include "foundation/ProtocolText.h"
#include "rtsp/CSDPResponseParser.h"
#include "rtsp/RtspMethod.h"
#include "rtsp/TextScan.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace velkora {

namespace {

enum HeaderKind
{
    kHeaderUnknown = 0,
    kHeaderCSeq = 1,
    kHeaderDate = 2,
    kHeaderContentBase = 3,
    kHeaderContentType = 4,
    kHeaderContentLength = 5,
    kHeaderTransport = 6,
    kHeaderSession = 7,
    kHeaderRange = 8,
    kHeaderRtpInfo = 9,
    kHeaderServer = 11,
    kHeaderAcceptRanges = 12,
    kHeaderRtcpInterval = 13,
    kHeaderWwwAuthenticate = 14,
};

HeaderKind HeaderKindOf(std::string_view line)
{
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        return kHeaderUnknown;
    const std::string_view name = TrimBlanks(line.substr(0, colon));
    if (name.size() < 2)
        return kHeaderUnknown;
    static const struct {
        std::string_view name;
        HeaderKind kind;
    } kNames[] = {{"cseq", kHeaderCSeq},
                  {"date", kHeaderDate},
                  {"content-base", kHeaderContentBase},
                  {"content-type", kHeaderContentType},
                  {"content-length", kHeaderContentLength},
                  {"transport", kHeaderTransport},
                  {"session", kHeaderSession},
                  {"range", kHeaderRange},
                  {"rtp-info", kHeaderRtpInfo},
                  {"server", kHeaderServer},
                  {"accept-ranges", kHeaderAcceptRanges},
                  {"rtcp-interval", kHeaderRtcpInterval},
                  {"www-authenticate", kHeaderWwwAuthenticate}};
    const std::string lower = ToLower(name);
    for (const auto& entry : kNames) {
        if (lower == entry.name)
            return entry.kind;
    }
    return kHeaderUnknown;
}

// Reads "<literal> %u" from the lower-cased line.
bool ScanNumberHeader(std::string_view line, std::string_view literal, std::uint32_t& value)
{
    const std::string lower = ToLower(line);
    std::string_view rest(lower);
    return ScanLiteral(rest, literal) && ScanUnsigned(rest, value);
}

// Splits `text` into lines that end with "\r\n"; the terminator stays part of the
// line. A trailing fragment without one is not a line. Stops when `visit` says so.
template <typename Visit> std::size_t ForEachLine(std::string_view text, Visit visit)
{
    std::size_t at = 0;
    while (true) {
        const auto end = text.find("\r\n", at);
        if (end == std::string_view::npos)
            return text.size();
        const std::string_view line = text.substr(at, end + 2 - at);
        at = end + 2;
        if (!visit(line))
            return at;
    }
}

std::string_view WithoutTerminator(std::string_view line)
{
    return line.ends_with("\r\n") ? line.substr(0, line.size() - 2) : line;
}

std::string WithoutQuotes(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    return text;
}

// 1..65535 written in decimal digits only; anything else is 0.
std::uint16_t PortNumber(std::string_view text)
{
    if (text.empty() || text.size() > 5)
        return 0;
    const std::uint32_t value = StrictUnsigned(text);
    return value <= 65535 ? static_cast<std::uint16_t>(value) : 0;
}

}  // namespace

void CRTSPResponseParser::Reset()
{
    version_.clear();
    contentBase_.clear();
    contentType_.clear();
    session_.clear();
    realm_.clear();
    nonce_.clear();
    media_.Clear();
}

bool CRTSPResponseParser::Parse(int kind, std::string_view response)
{
    const auto statusEnd = response.find("\r\n");
    std::string_view statusLine = response.substr(0, statusEnd);
    const auto wordStart = std::find_if_not(statusLine.begin(), statusLine.end(), IsSpace);
    const auto wordEnd = std::find_if(wordStart, statusLine.end(), IsSpace);
    const std::size_t wordLength = static_cast<std::size_t>(wordEnd - wordStart);
    if (wordLength == 0 || wordLength > kMaxVersionLength)
        return false;
    version_.assign(wordStart, wordEnd);
    statusLine.remove_prefix(static_cast<std::size_t>(wordEnd - statusLine.begin()));
    if (!ScanUnsigned(statusLine, status_))
        return false;
    contentLength_ = 0;
    responseScheme_ = kAuthNone;
    if (status_ != 200 && status_ != 401)
        return false;
    if (statusEnd == std::string_view::npos)
        return true;  // no header lines at all

    const std::string_view headers = response.substr(statusEnd + 2);
    bool ok = true;
    bool sawEnd = false;
    const std::size_t headersLength = ForEachLine(headers, [&](std::string_view line) {
        if (line == "\r\n") {
            sawEnd = true;
            return false;
        }
        ok = ParseHeader(line);
        return ok;
    });
    if (!ok)
        return false;
    const std::string_view body = sawEnd ? headers.substr(headersLength) : std::string_view();
    if (contentLength_ != 0 && body.empty())
        return false;

    if (kind == kRtspDescribe) {
        // A body shorter than announced (the peer stopped sending) is read as far as it goes.
        CSDPResponseParser sdp;
        if (!sdp.Parse(body.substr(0, contentLength_)))
            return false;
        media_ = sdp.Description();
        return true;
    }
    if (kind == kRtspSetup) {
        serverRtpPort_ = serverRtcpPort_ = 0;
        serverSsrc_ = 0;
        ForEachLine(headers.substr(0, headersLength), [&](std::string_view line) {
            if (HeaderKindOf(line) == kHeaderTransport) {
                const std::string channel = LookupDelimitedValue(line, "interleaved", "=", ";-");
                interleavedChannel_ = static_cast<std::uint8_t>(StrictUnsigned(channel));
                ParseServerPorts(ToLower(line));
            }
            return true;
        });
    }
    return true;
}

void CRTSPResponseParser::ParseServerPorts(std::string_view transport)
{
    const std::string pair = LookupDelimitedValue(transport, "server_port", "=", ";\r\n");
    const std::size_t dash = pair.find('-');
    serverRtpPort_ = PortNumber(std::string_view(pair).substr(0, dash));
    serverRtcpPort_ = dash == std::string::npos ? 0 : PortNumber(std::string_view(pair).substr(dash + 1));
    // Eight hex digits at most; anything else names no SSRC.
    const std::string ssrc = LookupDelimitedValue(transport, "ssrc", "=", ";\r\n");
    if (!ssrc.empty() && ssrc.size() <= 8 && ssrc.find_first_not_of("0123456789abcdef") == std::string::npos)
        serverSsrc_ = static_cast<std::uint32_t>(std::stoul(ssrc, nullptr, 16));
}

bool CRTSPResponseParser::ParseHeader(std::string_view line)
{
    switch (HeaderKindOf(line)) {
    case kHeaderCSeq: return ScanNumberHeader(line, "cseq: ", cseq_);
    case kHeaderContentLength: return ScanNumberHeader(line, "content-length: ", contentLength_);
    case kHeaderContentType: {
        const std::string lower = ToLower(line);
        std::string_view rest(lower);
        if (!ScanLiteral(rest, "content-type: "))
            return false;
        const auto end = std::find_if(rest.begin(), rest.end(), IsSpace);
        if (end == rest.begin())
            return false;
        // Bounded like the field it fills; longer types are cut, not overrun.
        const std::size_t length = std::min<std::size_t>(end - rest.begin(), kMaxContentTypeLength);
        contentType_.assign(rest.substr(0, length));
        return true;
    }
    case kHeaderContentBase: return ParseContentBase(line);
    case kHeaderSession: return ParseSession(line);
    case kHeaderWwwAuthenticate: return ParseChallenge(line);
    default: return true;  // known but unused, or unknown: ignored
    }
}

bool CRTSPResponseParser::ParseContentBase(std::string_view line)
{
    line = WithoutTerminator(line);
    const std::string lower = ToLower(line);
    const auto name = lower.find("content-base:");
    if (name == std::string::npos) {
        contentBase_.clear();
        return false;
    }
    const auto url = lower.find("rtsp://", name);
    if (url != std::string::npos)
        contentBase_ = std::string(TrimBlanks(line.substr(url)));
    return true;
}

bool CRTSPResponseParser::ParseSession(std::string_view line)
{
    session_ = LookupDelimitedValue(line, "Session:", " ", ";\r\n");
    if (line.find(';') != std::string_view::npos) {
        const std::string timeout = LookupDelimitedValue(line, "timeout", "=", ";\r\n");
        if (timeout.empty()) {
            session_.clear();
        } else {
            std::string_view digits(timeout);
            std::uint32_t seconds = 0;
            ScanUnsigned(digits, seconds);
            sessionTimeout_ = seconds == 0 ? 30 : seconds;
        }
    }
    return !session_.empty();
}

bool CRTSPResponseParser::ParseChallenge(std::string_view line)
{
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        return false;
    const std::string_view value = WithoutTerminator(line.substr(colon + 1));
    const std::vector<ChallengeWord> words = ChallengeWords(value);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view scheme = value.substr(words[i].start, words[i].end - words[i].start);
        int challenged;
        if (SameWordIgnoringCase(scheme, "Digest")) {
            challenged = kAuthDigest;
        } else if (SameWordIgnoringCase(scheme, "Basic")) {
            challenged = kAuthBasic;
        } else {
            continue;  // unknown schemes change nothing
        }
        // Of the challenges of one response the strongest decides (the last of equals),
        // so that an added Basic never takes the password from a Digest exchange.
        if (challenged < responseScheme_)
            continue;
        responseScheme_ = challenged;
        authScheme_ = challenged;
        const std::size_t paramsEnd = i + 1 < words.size() ? words[i + 1].start : value.size();
        const std::string params(value.substr(words[i].end, paramsEnd - words[i].end));
        realm_ = WithoutQuotes(std::string(TrimBlanks(LookupDelimitedValue(params, "realm", "=", ",\r\n"))));
        nonce_ = WithoutQuotes(std::string(TrimBlanks(LookupDelimitedValue(params, "nonce", "=", ",\r\n"))));
        if (challenged == kAuthDigest && (realm_.empty() || nonce_.empty()))
            return false;
    }
    return true;
}

}  // namespace velkora
