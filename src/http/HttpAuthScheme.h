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
    HttpSchemeOther = 0x80000000u,  // a scheme word none of the above names
};

// The scheme a request's HttpAuthSelector offers; 0 for HttpAuthNone.
uint32_t SchemeOfSelector(uint32_t selector);
// The scheme named by the first word of a WWW-Authenticate value; 0 when unknown.
uint32_t SchemeFromName(std::string_view name);
// Every scheme one WWW-Authenticate value offers (several challenges may share a
// header, each after a comma); unknown words add HttpSchemeOther.
uint32_t SchemesOfChallenge(std::string_view value);
// The scheme to answer a 401 with, of those `offered`, limited to `usable`; 0 for none.
// Digest first; Basic only when it is the one scheme offered, so that a second
// scheme (genuine or injected) never turns a Digest exchange into a clear password.
uint32_t ChooseAnswerScheme(uint32_t offered, uint32_t usable);

}  // namespace Web
