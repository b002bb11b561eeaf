#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkora {

// Why the last ONVIF exchange failed: no answer (status 0 and the transport
// error), an HTTP status other than 200, or a SOAP fault.
struct SoapFault {
    std::string code;                   // Code/Value
    std::vector<std::string> subcodes;  // outermost first
    std::string reason;                 // Reason/Text
    uint32_t httpStatus = 0;            // 0 when no answer arrived
    uint32_t transportError = 0;        // the sender's platform error when Send failed
    // Seconds the device's clock differed from ours when it refused tokens made
    // on its own clock; 0 when the clocks agreed (or were never compared).
    int64_t refusedClockOffset = 0;
    // The password was kept back: the device offered only HTTP Basic, or it refused the
    // digest and plain-text passwords are off (HARNOQUISTEL_PLAINTEXT_PASSWORD=never).
    bool basicWithheld = false;
    bool plainTextWithheld = false;

    // The one place a fault becomes words; callers append it to their message.
    std::string GetErrorText(const std::string& leading) const;
    // The first subcode telling of refused credentials; empty when none.
    std::string FindAuthenticationFault() const;
    // For refused credentials, which cause is left: the device's clock, or the
    // user name or password; empty for any other failure.
    std::string GetAuthenticationText(const std::string& leading) const;
};

}  // namespace velkora
