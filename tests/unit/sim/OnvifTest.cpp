#include "sim/DeviceModel.h"
#include "sim/OnvifService.h"
#include "sim/SoapRequest.h"
#include "sim/WsSecurity.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

const std::vector<std::pair<unsigned, unsigned>> kSizes{{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};

std::string Envelope(const std::string& security, const std::string& body)
{
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Header>" + security +
           "</s:Header><s:Body>" + body + "</s:Body></s:Envelope>";
}

TEST(WsSecurity, VerifiesDigestTextAndRefusesTheRest)
{
    // The ONVIF Core document's worked example; its nonce is LKqI6G/AikKCQrN0zqZFlg== decoded.
    const std::string nonce("\x2c\xaa\x88\xe8\x6f\xc0\x8a\x42\x82\x42\xb3\x74\xce\xa6\x45\x96", 16);
    EXPECT_EQ(PasswordDigest(nonce, "2010-09-16T07:50:45Z", "userpassword"), "tuOSpGlFlIXsozq4HFNeeGeFLEI=");

    const std::string digest =
        " Type=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest\"";
    auto check = [](const std::string& password, const std::string& type, bool withToken = true) {
        const std::string token =
            "<wsse:Security xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\">"
            "<wsse:UsernameToken><wsse:Username>admin</wsse:Username><wsse:Password" +
            type + ">" + password +
            "</wsse:Password><wsse:Nonce>LKqI6G/AikKCQrN0zqZFlg==</wsse:Nonce>"
            "<wsse:Created>2010-09-16T07:50:45Z</wsse:Created></wsse:UsernameToken></wsse:Security>";
        auto r =
            SoapRequest::Parse(Envelope(withToken ? token : "", "<GetProfiles xmlns=\"urn:x\"/>"), nullptr, nullptr);
        return VerifyUsernameToken(r->Security(), "admin", "userpassword");
    };
    // Wrong digests, PasswordText and missing tokens are exercised over HTTP by the integration tests.
    EXPECT_EQ(check("tuOSpGlFlIXsozq4HFNeeGeFLEI=", digest), TokenCheck::Accepted);
    EXPECT_EQ(check("tuOSpGlFlIXsozq4HFNeeGeFLEJ=", digest), TokenCheck::Refused);
    EXPECT_EQ(check("userpassword", " Type=\"urn:other#Kerberos\""), TokenCheck::Refused);
    EXPECT_EQ(check("", "", false), TokenCheck::Missing);
}

TEST(SoapRequestParser, RefusesDocumentTypesAndOtherSoapVersions)
{
    std::string error;
    bool mismatch = false;
    const std::string xxe = "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
                            Envelope("", "<GetProfiles xmlns=\"urn:x\">&x;</GetProfiles>");
    EXPECT_FALSE(SoapRequest::Parse(xxe, &error, &mismatch));
    EXPECT_FALSE(
        SoapRequest::Parse("<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\"><Body><A/></Body></Envelope>",
                           &error, &mismatch));
    EXPECT_TRUE(mismatch);
    EXPECT_FALSE(
        SoapRequest::Parse("<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"/>", &error, &mismatch));
    EXPECT_FALSE(SoapRequest::Parse("not xml", &error, &mismatch));
}

TEST(DeviceModel, ProfilesAndBindingsPersist)
{
    DeviceModel m(2, 2, kSizes);
    OnvifError e;
    const auto token = m.CreateProfile("Velkora_VideoSourceConfig_2_Live", "", e);
    ASSERT_TRUE(token);
    EXPECT_FALSE(m.StreamEncoder(*token, e)) << "incomplete until both configurations are bound";
    EXPECT_EQ(e.subsubcode, "ter:IncompleteConfiguration");
    ASSERT_TRUE(m.AddSource(*token, "VideoSourceConfig_2", e));
    ASSERT_TRUE(m.AddEncoder(*token, "VideoEncoderConfig_2_2", e));
    EXPECT_EQ(m.StreamEncoder(*token, e)->token, "VideoEncoderConfig_2_2");
    EXPECT_EQ(m.UseCountOfEncoder("VideoEncoderConfig_2_2"), 2u);
    EXPECT_EQ(m.CompatibleEncoders(*token, e)->size(), 2u) << "only the encoders of its source";
    ASSERT_TRUE(m.RemoveEncoder(*token, e));
    EXPECT_TRUE(m.Profile(*token)->encoderConfiguration.empty());
    EXPECT_FALSE(m.DeleteProfile("Profile_1_1", e));
    EXPECT_EQ(e.subsubcode, "ter:DeletionOfFixedProfile");
    EXPECT_FALSE(m.AddEncoder("Profile_1_1", "NoSuchEncoder", e));
    EXPECT_EQ(e.subsubcode, "ter:NoConfig");
    EXPECT_FALSE(m.CreateProfile(std::string(65, 'n'), "", e));
}

TEST(DeviceModel, EncoderSettingsAreCheckedAgainstTheOptions)
{
    DeviceModel m(1, 2, kSizes);
    OnvifError e;
    auto main = *m.EncoderConfiguration("VideoEncoderConfig_1_1");
    main.width = 1920;
    main.height = 1080;
    main.frameRateLimit = 12;
    main.quality = 7.5f;
    ASSERT_TRUE(m.SetEncoder(main, e)) << e.reason;
    EXPECT_EQ(m.EncoderConfiguration(main.token)->width, 1920u);
    EXPECT_DOUBLE_EQ(m.EncoderConfiguration(main.token)->StreamFrameRate(), 12.0);
    using Change = void (*)(VideoEncoderConfiguration&);
    for (const Change change :
         std::initializer_list<Change>{[](VideoEncoderConfiguration& c) {
                                           c.width = 1024;
                                           c.height = 768;
                                       },
                                       [](VideoEncoderConfiguration& c) { c.encoding = "JPEG"; },
                                       [](VideoEncoderConfiguration& c) { c.quality = 11; },
                                       [](VideoEncoderConfiguration& c) { c.frameRateLimit = 0; },
                                       [](VideoEncoderConfiguration& c) { c.encodingInterval = 2; },
                                       [](VideoEncoderConfiguration& c) { c.bitrateLimit = 9000; },
                                       [](VideoEncoderConfiguration& c) { c.h264Profile = "Extended"; }}) {
        auto wanted = main;
        change(wanted);
        EXPECT_FALSE(m.SetEncoder(wanted, e)) << wanted.width << " " << wanted.encoding << " " << wanted.h264Profile;
        EXPECT_EQ(e.subsubcode, "ter:ConfigModify");
    }
    // The sub stream is a fixed 25 fps sensor thinned by its encoding interval.
    auto sub = *m.EncoderConfiguration("VideoEncoderConfig_1_2");
    sub.encodingInterval = 2;
    ASSERT_TRUE(m.SetEncoder(sub, e));
    EXPECT_DOUBLE_EQ(m.EncoderConfiguration(sub.token)->StreamFrameRate(), 12.5);
    sub.frameRateLimit = 30;
    EXPECT_FALSE(m.SetEncoder(sub, e));
}

}  // namespace
}  // namespace sim
