#pragma once

#include <cstdint>
#include <string_view>

namespace Web {

// Scheme bits, as offered in a 401 challenge and remembered by the sender.
enum HttpAuthScheme : uint32_t
{
    HttpSchemeBasic = 1,
    HttpSchemeNtlm = 2,
    HttpSchemePassport = 4,
    HttpSchemeDigest = 8,
    HttpSchemeNegotiate = 16,
};

// The scheme a request's HttpAuthSelector offers; 0 for HttpAuthNone.
uint32_t SchemeOfSelector(uint32_t selector);
// The scheme named by the first word of a WWW-Authenticate value; 0 when unknown.
uint32_t SchemeFromName(std::string_view name);

}  // namespace Web
