#pragma once

#include <libxml/tree.h>

#include <ctime>
#include <string>

namespace sim {

enum class TokenCheck
{
    Accepted,
    Missing,
    Refused
};

// Verifies the WS-Security UsernameToken of a request header: PasswordDigest
// (Base64 of SHA-1 over the decoded nonce, the Created text and the password)
// or PasswordText (the password itself, also when no Type is given).
TokenCheck VerifyUsernameToken(const xmlNode* security, const std::string& user, const std::string& password);

// A device that checks Created: its clock and how far off a Created may be.
struct Freshness {
    std::time_t now = 0;
    double window = 0;
};
// As above; a PasswordDigest whose Created is missing, malformed or outside the
// window around `freshness.now` is refused as well.
TokenCheck VerifyUsernameToken(const xmlNode* security, const std::string& user, const std::string& password,
                               const Freshness& freshness);

// The PasswordDigest a client would send; shared with the tests.
std::string PasswordDigest(const std::string& nonceBytes, const std::string& created, const std::string& password);

}  // namespace sim
