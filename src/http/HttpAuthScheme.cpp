#include "http/HttpAuthScheme.h"

#include "http/HttpRequest.h"

#include "foundation/ProtocolText.h"

#include <algorithm>
#include <strings.h>

namespace Web {

namespace {

bool SameWord(std::string_view name, std::string_view word)
{
    return velkora::SameWordIgnoringCase(name, word);
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

uint32_t SchemesOfChallenge(std::string_view value)
{
    uint32_t schemes = 0;
    for (const velkora::ChallengeWord& word : velkora::ChallengeWords(value)) {
        const uint32_t scheme = SchemeFromName(value.substr(word.start, word.end - word.start));
        schemes |= scheme != 0 ? scheme : HttpSchemeOther;
    }
    return schemes;
}

uint32_t ChooseAnswerScheme(uint32_t offered, uint32_t usable)
{
    uint32_t candidates = offered & usable;
    if ((offered & ~HttpSchemeBasic) != 0)
        candidates &= ~HttpSchemeBasic;
    for (uint32_t scheme : {HttpSchemeDigest, HttpSchemeNegotiate, HttpSchemeNtlm, HttpSchemeBasic})
        if ((candidates & scheme) != 0)
            return scheme;
    return 0;
}

}  // namespace Web
