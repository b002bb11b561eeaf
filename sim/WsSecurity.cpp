#include "sim/WsSecurity.h"

#include "sim/SoapRequest.h"

#include "foundation/Sha1.h"
#include "foundation/Base64.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace sim {

namespace {

bool SameText(const std::string& a, const std::string& b)
{
    // Length leaks nothing useful here; compare every byte anyway.
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// "YYYY-MM-DDThh:mm:ss[.fff]Z" as seconds since the epoch; -1 when malformed.
std::time_t ParseCreated(const std::string& text)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute, &second, &used) !=
        6)
        return -1;
    std::string rest = text.substr(static_cast<std::size_t>(used));
    if (!rest.empty() && rest[0] == '.')
        rest.erase(0, rest.find_first_not_of("0123456789", 1));
    if (rest != "Z")
        return -1;
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    return timegm(&utc);
}

}  // namespace

TokenCheck VerifyUsernameToken(const xmlNode* security, const std::string& user, const std::string& password,
                               const Freshness& freshness)
{
    const TokenCheck check = VerifyUsernameToken(security, user, password);
    if (check != TokenCheck::Accepted)
        return check;
    const xmlNode* token = FindChild(security, "UsernameToken");
    const std::string type = Attribute(FindChild(token, "Password"), "Type").value_or("");
    if (!EndsWith(type, "#PasswordDigest"))
        return check;
    const std::time_t created = ParseCreated(PathText(token, "Created"));
    if (created < 0 || std::fabs(std::difftime(created, freshness.now)) > freshness.window)
        return TokenCheck::Refused;
    return check;
}

std::string PasswordDigest(const std::string& nonceBytes, const std::string& created, const std::string& password)
{
    const auto digest = velkora::CSha1::Of(nonceBytes + created + password);
    return velkora::Base64Encode(digest.data(), digest.size());
}

TokenCheck VerifyUsernameToken(const xmlNode* security, const std::string& user, const std::string& password)
{
    const xmlNode* token = FindChild(security, "UsernameToken");
    if (!token)
        return TokenCheck::Missing;
    const xmlNode* passwordNode = FindChild(token, "Password");
    if (!FindChild(token, "Username") || !passwordNode)
        return TokenCheck::Missing;
    if (!SameText(PathText(token, "Username"), user))
        return TokenCheck::Refused;

    const std::string sent = NodeText(passwordNode);
    const std::string type = Attribute(passwordNode, "Type").value_or("");
    if (EndsWith(type, "#PasswordDigest")) {
        std::vector<std::uint8_t> nonce;
        if (!velkora::Base64Decode(PathText(token, "Nonce"), nonce, 1024) || nonce.empty())
            return TokenCheck::Refused;
        const std::string created = PathText(token, "Created");
        const std::string expected = PasswordDigest(std::string(nonce.begin(), nonce.end()), created, password);
        return SameText(sent, expected) ? TokenCheck::Accepted : TokenCheck::Refused;
    }
    if (!type.empty() && !EndsWith(type, "#PasswordText"))
        return TokenCheck::Refused;
    return SameText(sent, password) ? TokenCheck::Accepted : TokenCheck::Refused;
}

}  // namespace sim
