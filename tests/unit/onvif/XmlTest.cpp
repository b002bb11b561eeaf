#include "onvif/CXmlNamespaces.h"
#include "onvif/CXmlParser.h"

#include <gtest/gtest.h>

#include <iterator>

#include "FuzzCorpusReplay.h"

using velkora::CXmlNamespaces;
using velkora::CXmlParser;

TEST(XmlNamespaces, OverridesTrackedExportedAndReadFromText)
{
    CXmlNamespaces table;
    table.SetDefaults();
    EXPECT_EQ("", table.GetCustom());
    table.Add("tt", "http://www.onvif.org/ver10/schema");  // same URI: still built in
    EXPECT_EQ("", table.GetCustom());

    table.ParseCustom("tds=urn:dev  tt=urn:schema bogus new=urn:new");
    EXPECT_EQ("tt=urn:schema tds=urn:dev", table.GetCustom());  // fixed order; "new" never exported
    EXPECT_EQ(" xmlns:new=\"urn:new\" xmlns=\"urn:dev\"",
              table.GetDeclaration("new") + table.GetDefaultDeclaration("tds"));

    table = CXmlNamespaces();
    table.ParseDeclarations("<e xmlns:a=\"urn:a\" xmlns:b = \"urn:b\" xmlns=\"urn:default\" xmlns:c='urn:c'>"
                            "<x xmlns:d=\"urn:d\r\n\"/>");
    // Blanks around "=" give an empty URI; single quotes read like double ones.
    EXPECT_EQ("urn:a||urn:c|urn:d",
              table.GetUri("a") + "|" + table.GetUri("b") + "|" + table.GetUri("c") + "|" + table.GetUri("d"));
    EXPECT_EQ(3u, table.Entries().size());
}

TEST(XmlParser, QueriesUseOurPrefixesWhateverTheDocumentUses)
{
    const std::string answer =
        "<?xml version=\"1.0\"?>\n"
        "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\">\n"
        "  <!-- comment -->\n"
        "  <env:Body><R xmlns=\"http://www.onvif.org/ver10/media/wsdl\" xmlns:x=\"http://www.onvif.org/ver10/schema\">\n"
        "    <Item token=\"A\"><x:Name>first &amp; best</x:Name></Item>\n"
        "    <Item token=\"B\"><x:Name/></Item>\n"
        "    <Item><x:Name><x:Inner>v</x:Inner></x:Name></Item>\n"
        "    <Item token=\"C\"><x:Name><![CDATA[<raw>]]></x:Name></Item>\n"
        "  </R></env:Body></env:Envelope>";
    CXmlParser parser;
    ASSERT_TRUE(parser.Load(answer));
    const std::string items = "SOAP-ENV:Envelope/SOAP-ENV:Body/trt:R/trt:Item";
    EXPECT_TRUE(parser.NodeExists(items) && !parser.NodeExists("SOAP-ENV:Envelope/tt:Body"));
    EXPECT_EQ("first & best", parser.GetNodeText(items + "/tt:Name"));
    EXPECT_EQ("", parser.GetNodeText(items + "[3]/tt:Name"));  // first child is an element
    // Nodes without a child are skipped; an element child reads as empty.
    EXPECT_EQ((std::vector<std::string>{"first & best", "", "<raw>"}), parser.GetNodeTexts(items + "/tt:Name"));
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), parser.GetAttributes("token", items));
    EXPECT_EQ("A", parser.GetAttribute("token", items) + parser.GetAttribute("missing", items));
    EXPECT_EQ("", parser.GetNodeText("this is ( not xpath"));
    // The document's own prefix is known too.
    EXPECT_EQ("first & best", parser.GetNodeText("env:Envelope/env:Body/trt:R/trt:Item/x:Name"));

    EXPECT_FALSE(parser.Load(answer));  // loads once
    parser.Unload();
    EXPECT_FALSE(parser.NodeExists(items));
}

TEST(XmlParser, QuotesInValuesCannotBreakAnXPath)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.Load("<r><i t='a\"b'>1</i><i t=\"c'd\">2</i><i t=\"e&quot;f'g\">3</i></r>"));
    for (const auto& [token, text] : {std::pair<std::string, std::string>{"a\"b", "1"}, {"c'd", "2"}, {"e\"f'g", "3"}})
        EXPECT_EQ(text, parser.GetNodeText("r/i[@t=" + velkora::XPathLiteral(token) + "]")) << token;
}

TEST(XmlParser, RefusesDtdsEntitiesAndMalformedText)
{
    for (const char* text : {"", "<a><b></a>", "not xml"})
        EXPECT_FALSE(CXmlParser().Load(text)) << text;

    const std::string xxe = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>";
    CXmlParser b;  // any DTD is refused: the entity bomb and external DTDs are the reliability tests'
    EXPECT_FALSE(b.Load(xxe));
    EXPECT_EQ("", b.GetNodeText("r"));

    // Undecodable text is refused without libxml2 printing to the host's stderr.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CXmlParser().Load("<?xml version=\"1.0\" encoding=\"EUC-JP\"?><a>\x8f\x8f\x8f\x8f</a>"));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

extern "C" int ReplayOnvifAnswer(const uint8_t*, size_t);

TEST(FuzzCorpusReplay, OnvifAnswers)
{
    ReplayFuzzCorpora({{"fuzz_onvif_answer", ReplayOnvifAnswer}});
}
