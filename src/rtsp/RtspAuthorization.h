#pragma once

#include <string>
#include <string_view>

namespace velkora {

// The "Authorization" header line (with its "\r\n") for one request, or an empty text
// when none is to be sent: scheme kAuthNone or unknown, Basic credentials longer than
// 72 bytes as "user:password", or Digest (RFC 2069: MD5, no qop) without realm, nonce,
// user, password or URI. Values are not checked for line breaks here; the RTSP client
// refuses such values before it builds a request.
std::string MakeAuthorization(int scheme, std::string_view user, std::string_view password, std::string_view realm,
                              std::string_view nonce, std::string_view method, std::string_view uri);

}  // namespace velkora
