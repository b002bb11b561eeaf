#include "sim/RtspAuth.h"

#include "foundation/Base64.h"
#include "foundation/Md5.h"

#include <map>
#include <random>

namespace sim {

namespace {

// key=value or key="value" pairs separated by commas.
std::map<std::string, std::string> ParseDigestFields(const std::string& text)
{
    std::map<std::string, std::string> fields;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ',' || text[i] == '\t'))
            ++i;
        const auto eq = text.find('=', i);
        if (eq == std::string::npos)
            break;
        std::string key = text.substr(i, eq - i);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        i = eq + 1;
        std::string value;
        if (i < text.size() && text[i] == '"') {
            const auto close = text.find('"', i + 1);
            if (close == std::string::npos)
                break;
            value = text.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            const auto comma = text.find(',', i);
            value = text.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
            while (!value.empty() && value.back() == ' ')
                value.pop_back();
            i = comma == std::string::npos ? text.size() : comma;
        }
        fields[key] = value;
    }
    return fields;
}

}  // namespace

RtspAuthenticator::RtspAuthenticator(std::string user, std::string password, RtspAuthMode mode)
    : user_(std::move(user)), password_(std::move(password)), mode_(mode)
{
    std::random_device rd;
    nonce_ = velkora::Md5Hex(std::to_string(rd()) + ":" + std::to_string(rd()));
}

bool RtspAuthenticator::Check(const std::string& method, const std::string& authorization) const
{
    if (authorization.compare(0, 6, "Basic ") == 0) {
        return mode_ != RtspAuthMode::Digest &&
               authorization.substr(6) == velkora::Base64Encode(user_ + ":" + password_);
    }
    if (authorization.compare(0, 7, "Digest ") != 0 || mode_ == RtspAuthMode::Basic)
        return false;
    auto f = ParseDigestFields(authorization.substr(7));
    if (f["username"] != user_ || f["realm"] != kRealm || f["nonce"] != nonce_ || f["uri"].empty())
        return false;
    const std::string ha1 = velkora::Md5Hex(user_ + ":" + kRealm + ":" + password_);
    const std::string ha2 = velkora::Md5Hex(method + ":" + f["uri"]);
    std::string expected;
    if (f.count("qop")) {
        if (f["qop"] != "auth")
            return false;
        expected = velkora::Md5Hex(ha1 + ":" + nonce_ + ":" + f["nc"] + ":" + f["cnonce"] + ":auth:" + ha2);
    } else {
        expected = velkora::Md5Hex(ha1 + ":" + nonce_ + ":" + ha2);
    }
    return f["response"] == expected;
}

std::vector<std::string> RtspAuthenticator::Challenges() const
{
    std::vector<std::string> out;
    if (mode_ != RtspAuthMode::Digest)
        out.push_back(std::string("Basic realm=\"") + kRealm + "\"");
    if (mode_ != RtspAuthMode::Basic)
        out.push_back(std::string("Digest realm=\"") + kRealm + "\", nonce=\"" + nonce_ + "\"");
    return out;
}

}  // namespace sim
