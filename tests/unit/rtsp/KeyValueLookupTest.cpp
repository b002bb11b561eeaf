#include "foundation/KeyValueLookup.h"

#include <gtest/gtest.h>

using namespace velkora;

TEST(LookupKeyValue, CapabilityTextRules) {
    const char* sep = "; \t\r\n";
    EXPECT_EQ(LookupKeyValue("Pan=1;Tilt=1;Zoom=0", "Tilt", "=", sep), "1");
    EXPECT_EQ(LookupKeyValue("Pan=1; Tilt=0; Preset=12", "Preset", "=", sep), "12");
    EXPECT_EQ(LookupKeyValue("pan=1", "Pan", "=", sep), "");
    EXPECT_EQ(LookupKeyValue("Pan = 1", "Pan", "=", sep), "");  // the blank ends the token
    // A longer key holding the wanted one does not match; a later exact one does.
    EXPECT_EQ(LookupKeyValue("AreaZoom=1; Zoom=0", "Zoom", "=", sep), "0");
    EXPECT_EQ(LookupKeyValue("XPan=1", "Pan", "=", sep), "");
    // An empty value is skipped in favour of a later occurrence.
    EXPECT_EQ(LookupKeyValue("Pan=; Pan=1", "Pan", "=", sep), "1");
    EXPECT_EQ(LookupKeyValue("Pan=1", "", "=", sep), "");
    EXPECT_EQ(LookupKeyValue("Pan=1", "Pan", "", sep), "");
    EXPECT_EQ(LookupKeyValue("Pan=1", "Pan", "=", ""), "");
    EXPECT_EQ(LookupKeyValue("Pan", "Pan", "=", sep), "");
}

TEST(LookupDelimitedValue, ProtocolVariantKeepsBlanksAndEmptyValues) {
    EXPECT_EQ(LookupDelimitedValue("Session: 1234;timeout=60", "Session:", " ", ";\r\n"), "1234");
    EXPECT_EQ(LookupDelimitedValue("Session:  1234", "Session:", " ", ";\r\n"), " 1234");
    EXPECT_EQ(LookupDelimitedValue("Session:1234", "Session:", " ", ";\r\n"), "");
    EXPECT_EQ(LookupDelimitedValue("1234; timeout = 60", "timeout", "=", ";\r\n"), " 60");
    EXPECT_EQ(LookupDelimitedValue(" realm=\"cam\", nonce=\"abc\"", "nonce", "=", ",\r\n"), "\"abc\"");
    EXPECT_EQ(LookupDelimitedValue("x-config=12; config=0a0b", "config", "=", " ;\r\n"), "0a0b");
    EXPECT_EQ(LookupDelimitedValue("content-length: 42\r\n", "content-length", ": ", "\r\n"), "42");
    EXPECT_EQ(LookupDelimitedValue("a=b", "", "=", ";"), "");
    // A key starting with a delimiter must not loop.
    EXPECT_EQ(LookupDelimitedValue(";;;", ";", "=", ";"), "");
}
