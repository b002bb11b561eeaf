#pragma once

#include "http/CBaseHttpSender.h"
#include "http/CurlTransport.h"

#include <cstdint>
#include <vector>

namespace Web {

// The sender's policy over the libcurl transport: which of HTTP and HTTPS to
// use (the one that last worked, the other tried once after a transport
// failure) and which credentials to offer (the strongest scheme of the device's
// first 401 challenge that this sender can perform, remembered for its life).
class CHttpSender : public CBaseHttpSender
{
public:
    explicit CHttpSender(const velkora::DEVICE_INFO& device);
    ~CHttpSender() override = default;

    bool Send(const HttpRequest& request) override;
    void Cancel() override;
    uint32_t QueryDataAvailable() override;
    uint32_t ReadResponse(std::vector<uint8_t>& body) override;
    uint32_t ReadChunk(std::vector<uint8_t>& buffer, uint32_t maxBytes, bool clearFirst) override;
    void Release() override;

    bool IsSecure() const { return secure != 0; }
    uint32_t GetServerAuthScheme() const { return serverAuthScheme; }
    // The last answer was a 401 whose challenge the password was withheld from: only
    // schemes weaker than this request may use (HTTP Basic) were offered.
    bool PasswordWithheld() const { return passwordWithheld; }

private:
    // 1: an answer arrived; 0: a transport failure worth the other protocol; -1: failed.
    int Perform(HttpRequest& request);
    uint32_t ChooseAuthScheme(const HttpRequest& request) const;
    // The schemes a 401 may be answered with for this request.
    uint32_t UsableSchemes(const HttpRequest& request) const;

    CurlTransport transport;
    uint32_t serverAuthScheme = 0;
    uint32_t secure = 0;
    bool passwordWithheld = false;
};

}  // namespace Web
