#include "rtsp/RtspAuthorization.h"

#include "foundation/Base64.h"
#include "foundation/Md5.h"
#include "rtsp/RtspMethod.h"

namespace velkora {

namespace {

// The encoded credentials must fit a 100-byte buffer sized by the MIME rule.
constexpr std::size_t kBasicBufferSize = 100;

std::string Join(std::string_view a, std::string_view b, std::string_view c)
{
    std::string out;
    out.reserve(a.size() + b.size() + c.size() + 2);
    out.append(a).append(":").append(b).append(":").append(c);
    return out;
}

}  // namespace

std::string MakeAuthorization(int scheme, std::string_view user, std::string_view password, std::string_view realm,
                              std::string_view nonce, std::string_view method, std::string_view uri)
{
    if (scheme == kAuthBasic) {
        std::string credentials;
        credentials.append(user).append(":").append(password);
        if (Base64MimeEncodedSize(credentials.size()) > kBasicBufferSize)
            return {};
        return "Authorization: Basic " + Base64Encode(credentials) + "\r\n";
    }
    if (scheme == kAuthDigest) {
        if (realm.empty() || nonce.empty() || user.empty() || password.empty() || uri.empty())
            return {};
        const std::string ha1 = Md5Hex(Join(user, realm, password));
        std::string a2;
        a2.append(method).append(":").append(uri);
        const std::string ha2 = Md5Hex(a2);
        const std::string response = Md5Hex(Join(ha1, nonce, ha2));
        std::string header = "Authorization: Digest username=\"";
        header.append(user).append("\", realm=\"").append(realm).append("\", nonce=\"").append(nonce);
        header.append("\", uri=\"").append(uri).append("\", response=\"").append(response).append("\"\r\n");
        return header;
    }
    return {};
}

}  // namespace velkora
