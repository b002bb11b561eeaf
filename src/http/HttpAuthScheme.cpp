#include "http/HttpAuthScheme.h"

#include "http/HttpRequest.h"

#include <strings.h>

namespace Web {

namespace {

bool SameWord(std::string_view name, std::string_view word)
{
    return name.size() == word.size() && strncasecmp(name.data(), word.data(), word.size()) == 0;
}

}  // namespace

uint32_t SchemeOfSelector(uint32_t selector)
{
    switch (selector) {
    case HttpAuthNtlm: return HttpSchemeNtlm;
    case HttpAuthPassport: return HttpSchemePassport;
    case HttpAuthDigest: return HttpSchemeDigest;
    case HttpAuthNegotiate: return HttpSchemeNegotiate;
    // No credentials offered: whatever scheme a challenge names is a new one.
    case HttpAuthNone: return 0;
    default: return HttpSchemeBasic;
    }
}

uint32_t SchemeFromName(std::string_view name)
{
    if (SameWord(name, "Basic"))
        return HttpSchemeBasic;
    if (SameWord(name, "NTLM"))
        return HttpSchemeNtlm;
    // Passport answers with versioned names ("Passport1.4").
    if (name.size() >= 8 && strncasecmp(name.data(), "Passport", 8) == 0)
        return HttpSchemePassport;
    if (SameWord(name, "Digest"))
        return HttpSchemeDigest;
    if (SameWord(name, "Negotiate"))
        return HttpSchemeNegotiate;
    return 0;
}

}  // namespace Web
