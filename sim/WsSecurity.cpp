#include "sim/WsSecurity.h"

#include "sim/SoapRequest.h"

#include "foundation/Sha1.h"
#include "foundation/Base64.h"

#include <vector>

namespace sim {

namespace {

bool SameText(const std::string& a, const std::string& b)
{
    // Length leaks nothing useful here; compare every byte anyway.
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string PasswordDigest(const std::string& nonceBytes, const std::string& created, const std::string& password)
{
    const auto digest = velkora::CSha1::Of(nonceBytes + created + password);
    return velkora::Base64Encode(digest.data(), digest.size());
}

TokenCheck VerifyUsernameToken(const xmlNode* security, const std::string& user, const std::string& password)
{
    const xmlNode* token = FindChild(security, "UsernameToken");
    if (!token) return TokenCheck::Missing;
    const xmlNode* passwordNode = FindChild(token, "Password");
    if (!FindChild(token, "Username") || !passwordNode) return TokenCheck::Missing;
    if (!SameText(PathText(token, "Username"), user)) return TokenCheck::Refused;

    const std::string sent = NodeText(passwordNode);
    const std::string type = Attribute(passwordNode, "Type").value_or("");
    if (EndsWith(type, "#PasswordDigest")) {
        std::vector<std::uint8_t> nonce;
        if (!velkora::Base64Decode(PathText(token, "Nonce"), nonce, 1024) || nonce.empty())
            return TokenCheck::Refused;
        const std::string created = PathText(token, "Created");
        const std::string expected =
            PasswordDigest(std::string(nonce.begin(), nonce.end()), created, password);
        return SameText(sent, expected) ? TokenCheck::Accepted : TokenCheck::Refused;
    }
    if (!type.empty() && !EndsWith(type, "#PasswordText")) return TokenCheck::Refused;
    return SameText(sent, password) ? TokenCheck::Accepted : TokenCheck::Refused;
}

}  // namespace sim
