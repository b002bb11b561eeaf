#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Web {

// Which HTTP credentials a request offers: one scheme, or none at all.
enum HttpAuthSelector : uint32_t
{
    HttpAuthBasic = 0,
    HttpAuthNtlm = 1,
    HttpAuthPassport = 2,
    HttpAuthDigest = 3,
    HttpAuthNegotiate = 4,
    HttpAuthNone = 5,  // no HTTP credentials until the device demands a scheme
};

struct HttpRequest {
    enum Flags : uint32_t
    {
        FlagNoQueryEscape = 1,     // bit 0
        FlagIgnoreCertErrors = 2,  // bit 1, HTTPS only
        FlagNoRedirects = 4,       // bit 2
        FlagSendOnly = 8,          // bit 3: return once sent; the caller reads the answer
        StandardFlags = 7,
    };

    HttpRequest() = default;
    HttpRequest(std::string verbText, std::string pathText) : verb(std::move(verbText)), path(std::move(pathText)) {}

    std::string verb;     // "POST", "GET"
    std::string path;     // with query, e.g. "/onvif/device_service"
    uint32_t secure = 0;  // overwritten by the sender's own state on every Send
    uint32_t authSelector = HttpAuthBasic;
    std::vector<uint8_t> body;
    uint32_t totalLength = 0;          // announced length: the larger of this and the body size
    std::vector<std::string> headers;  // complete "Name:value" lines
    uint32_t flags = StandardFlags;
};

}  // namespace Web
