#include "FuzzCorpusReplay.h"

extern "C" int ReplayAddress(const uint8_t*, size_t);
extern "C" int ReplayPtzCapabilities(const uint8_t*, size_t);

TEST(FuzzCorpusReplay, AddressAndPtzTexts)
{
    ReplayFuzzCorpora({{"fuzz_address", ReplayAddress}, {"fuzz_ptz_capabilities", ReplayPtzCapabilities}});
}
