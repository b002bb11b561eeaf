#pragma once

#include <libxml/tree.h>

#include <string>

namespace sim {

enum class TokenCheck { Accepted, Missing, Refused };

// Verifies the WS-Security UsernameToken of a request header: PasswordDigest
// (Base64 of SHA-1 over the decoded nonce, the Created text and the password)
// or PasswordText (the password itself, also when no Type is given).
TokenCheck VerifyUsernameToken(const xmlNode* security, const std::string& user, const std::string& password);

// The PasswordDigest a client would send; shared with the tests.
std::string PasswordDigest(const std::string& nonceBytes, const std::string& created, const std::string& password);

}  // namespace sim
