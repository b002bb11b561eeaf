#include "foundation/KeyValueLookup.h"

#include <gtest/gtest.h>

using namespace velkora;

TEST(LookupKeyValue, CapabilityTextRules)
{
    const char* sep = "; \t\r\n";
    EXPECT_EQ(LookupKeyValue("Pan=1;Tilt=1;Zoom=0", "Tilt", "=", sep), "1");
    EXPECT_EQ(LookupKeyValue("AreaZoom=1; Zoom=0", "Zoom", "=", sep), "0");  // not inside a longer key
    EXPECT_EQ(LookupKeyValue("Pan=; Pan=1", "Pan", "=", sep), "1");          // empty values are passed over
    for (const char* text : {"pan=1", "Pan = 1", "XPan=1", "Pan"})
        EXPECT_EQ(LookupKeyValue(text, "Pan", "=", sep), "");
}

TEST(LookupDelimitedValue, ProtocolVariantKeepsBlanksAndEmptyValues)
{
    EXPECT_EQ(LookupDelimitedValue("Session: 1234;timeout=60", "Session:", " ", ";\r\n"), "1234");
    EXPECT_EQ(LookupDelimitedValue("Session:  1234", "Session:", " ", ";\r\n"), " 1234");
    EXPECT_EQ(LookupDelimitedValue("1234; timeout = 60", "timeout", "=", ";\r\n"), " 60");
    EXPECT_EQ(LookupDelimitedValue("x-config=12; config=0a0b", "config", "=", " ;\r\n"), "0a0b");
    EXPECT_EQ(LookupDelimitedValue(";;;", ";", "=", ";"), "");  // a key starting with a delimiter must not loop
}
