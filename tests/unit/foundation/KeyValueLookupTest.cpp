#include "foundation/KeyValueLookup.h"

#include <gtest/gtest.h>

using namespace velkora;

// LookupKeyValue's rules are those of the PTZ capability text (PtzCapabilitiesTest).
TEST(LookupDelimitedValue, ProtocolVariantKeepsBlanksAndEmptyValues)
{
    EXPECT_EQ(LookupDelimitedValue("Session: 1234;timeout=60", "Session:", " ", ";\r\n"), "1234");
    EXPECT_EQ(LookupDelimitedValue("Session:  1234", "Session:", " ", ";\r\n"), " 1234");
    EXPECT_EQ(LookupDelimitedValue("1234; timeout = 60", "timeout", "=", ";\r\n"), " 60");
    EXPECT_EQ(LookupDelimitedValue("x-config=12; config=0a0b", "config", "=", " ;\r\n"), "0a0b");
    EXPECT_EQ(LookupDelimitedValue(";;;", ";", "=", ";"), "");  // a key starting with a delimiter must not loop
}
