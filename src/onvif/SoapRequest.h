#pragma once

#include <string>

namespace velkora {

// Service paths of a device (no scheme, no host), as taken from GetCapabilities.
struct ServiceAddresses {
    std::string devicePath;
    std::string mediaPath;
    std::string eventsPath;
    std::string ptzPath;
};

struct SoapRequest {
    explicit SoapRequest(std::string path) : servicePath(std::move(path)) {}

    std::string verb = "POST";
    std::string servicePath;
    std::string contentType = "application/soap+xml; charset=utf-8";
    std::string passwordDigest;  // Base64; empty for a plain-text password
    std::string nonce;           // Base64
    std::string created;
    std::string extraHeader;  // placed inside s:Header after the security header
    std::string body;         // the operation element
};

}  // namespace velkora
