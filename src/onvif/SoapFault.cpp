#include "onvif/SoapFault.h"

namespace velkora {

std::string SoapFault::GetErrorText(const std::string& leading) const
{
    std::string codes;
    for (const std::string& subcode : subcodes) {
        if (!codes.empty())
            codes += " > ";
        codes += subcode;
    }
    if (!reason.empty()) {
        std::string text = leading + "Reason: " + reason;
        if (!codes.empty())
            text += " (code: " + codes + ")";
        return text;
    }
    if (!codes.empty())
        return leading + "Error code: " + codes;
    if (httpStatus == 0) {
        std::string text = leading + "Device is not accessible";
        if (transportError != 0)
            text += " (" + std::to_string(transportError) + ")";
        return text;
    }
    if (httpStatus >= 200 && httpStatus <= 299)
        return {};
    return leading + "HTTP status code: " + std::to_string(httpStatus);
}

std::string SoapFault::FindAuthenticationFault() const
{
    for (const std::string& subcode : subcodes)
        if (subcode == "ter:NotAuthorized" || subcode == "wsse:FailedAuthentication" ||
            subcode.find("NotAuthorize") != std::string::npos || subcode.find("FailedAuthenticat") != std::string::npos)
            return subcode;
    return {};
}

std::string SoapFault::GetAuthenticationText(const std::string& leading) const
{
    if (basicWithheld)
        return leading + "The device offers only HTTP Basic authentication, which would send the password in clear; "
                         "it was not sent";
    if (httpStatus != 401 && FindAuthenticationFault().empty())
        return {};
    if (plainTextWithheld)
        return leading + "The device refused the password digest; the plain-text password is not sent "
                         "(HARNOQUISTEL_PLAINTEXT_PASSWORD=never)";
    if (refusedClockOffset != 0)
        return leading + "The device's clock differs from ours by " + std::to_string(refusedClockOffset) +
               " seconds and it refused requests adjusted to its clock";
    return leading + "Wrong user name or password";
}

}  // namespace velkora
