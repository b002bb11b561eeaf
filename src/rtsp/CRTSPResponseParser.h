#pragma once

#include "rtsp/MediaDescription.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace velkora {

// Reads one RTSP response: status, the headers the client needs, the challenge of a
// 401, the interleaved channel of a SETUP answer and the SDP of a DESCRIBE answer.
// Numbers survive Reset (CSeq doubles as the client's request counter).
class CRTSPResponseParser
{
public:
    virtual ~CRTSPResponseParser() = default;

    // Empties the texts and the media description; numbers keep their values.
    void Reset();

    // `kind` is the method the response answers (RtspMethod). Statuses other than
    // 200 and 401 fail, as do malformed headers of the kinds read.
    bool Parse(int kind, std::string_view response);

    const MediaDescription& Media() const { return media_; }
    const std::string& Version() const { return version_; }
    std::uint32_t Status() const { return status_; }
    std::uint32_t CSeq() const { return cseq_; }
    std::uint32_t NextCSeq() { return ++cseq_; }
    const std::string& ContentBase() const { return contentBase_; }
    const std::string& ContentType() const { return contentType_; }
    std::uint32_t ContentLength() const { return contentLength_; }
    const std::string& Session() const { return session_; }
    // Seconds; 0 until a response carried a "timeout" parameter.
    std::uint32_t SessionTimeout() const { return sessionTimeout_; }
    int AuthScheme() const { return authScheme_; }
    const std::string& Realm() const { return realm_; }
    const std::string& Nonce() const { return nonce_; }
    std::uint8_t InterleavedChannel() const { return interleavedChannel_; }
    // The "server_port" pair of the last SETUP answer; 0 where it was not stated or
    // is no port number.
    std::uint16_t ServerRtpPort() const { return serverRtpPort_; }
    std::uint16_t ServerRtcpPort() const { return serverRtcpPort_; }
    // The "ssrc" of the last SETUP answer as a number; 0 when it named none.
    std::uint32_t ServerSsrc() const { return serverSsrc_; }

    static constexpr std::size_t kMaxVersionLength = 127;
    static constexpr std::size_t kMaxContentTypeLength = 255;

private:
    bool ParseHeader(std::string_view line);
    bool ParseContentBase(std::string_view line);
    bool ParseSession(std::string_view line);
    bool ParseChallenge(std::string_view line);
    void ParseServerPorts(std::string_view transport);

    MediaDescription media_;
    std::string version_;
    std::uint32_t status_ = 0;
    std::uint32_t cseq_ = 0;
    std::string contentBase_;
    std::string contentType_;
    std::uint32_t contentLength_ = 0;
    std::string session_;
    std::uint32_t sessionTimeout_ = 0;
    int authScheme_ = 0;
    int responseScheme_ = 0;  // strongest challenge of the response being parsed
    std::string realm_;
    std::string nonce_;
    std::uint8_t interleavedChannel_ = 0;
    std::uint16_t serverRtpPort_ = 0;
    std::uint16_t serverRtcpPort_ = 0;
    std::uint32_t serverSsrc_ = 0;
};

}  // namespace velkora
