#pragma once

#include <string>
#include <vector>

namespace sim {

enum class RtspAuthMode
{
    Any,
    Basic,
    Digest
};

// Checks RTSP Authorization headers against one user: Basic, and Digest in the
// RFC 2069 form (also with the RFC 2617 qop="auth" fields, which some clients add).
class RtspAuthenticator
{
public:
    RtspAuthenticator(std::string user, std::string password, RtspAuthMode mode);

    bool Check(const std::string& method, const std::string& authorization) const;
    // WWW-Authenticate values for a 401, Basic first so that clients taking the
    // last challenge use Digest.
    std::vector<std::string> Challenges() const;
    const std::string& Nonce() const { return nonce_; }

    static constexpr const char* kRealm = "harnoquistel";

private:
    std::string user_, password_;
    RtspAuthMode mode_;
    std::string nonce_;
};

}  // namespace sim
