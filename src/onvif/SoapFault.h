#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkora {

// Why the last ONVIF exchange failed: no answer (status 0 and the transport
// error), an HTTP status other than 200, or a SOAP fault.
struct SoapFault
{
    std::string code;                  // Code/Value
    std::vector<std::string> subcodes; // outermost first
    std::string reason;                // Reason/Text
    uint32_t httpStatus = 0;           // 0 when no answer arrived
    uint32_t transportError = 0;       // the sender's platform error when Send failed

    // The one place a fault becomes words; callers append it to their message.
    std::string GetErrorText(const std::string& leading) const;
    // The first subcode telling of refused credentials; empty when none.
    std::string FindAuthenticationFault() const;
};

} // namespace velkora
