#include "DriverFixture.h"

using namespace velkora;

TEST(Exports, CreateAndDeleteEntriesAreInterchangeable)
{
    ipcapture::IIPCaptureDriver* first = CreateIPCapture();
    ipcapture::IIPCaptureDriver* second = CreateIPCaptureEx();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    DeleteIPCaptureEx(first);
    DeleteIPCapture(second);
    DeleteIPCapture(nullptr);
    DeleteIPCaptureEx(nullptr);
}

TEST_F(DriverFixture, FreshDriverHasDefaultsAndNoObjects)
{
    const DEVICE_INFO& info = Context().GetDeviceInfo();
    EXPECT_EQ(info.port, 80);
    EXPECT_EQ(info.requestTimeout, 5000u);
    EXPECT_EQ(info.streamTimeout, 15000u);
    EXPECT_TRUE(info.host.empty() && info.user.empty() && info.password.empty() && info.model.empty());
    EXPECT_EQ(Context().GetPTZPort(), 8080);
    EXPECT_EQ(driver->GetVideoCapture(), nullptr);
    EXPECT_EQ(Context().GetModuleName(), "Harnoquistel");
}

TEST_F(DriverFixture, OpenReadsTheHostAndLogsTheOpenedLine)
{
    record.user = "admin";
    record.password = "secret";
    record.codecType = 3;
    record.valueA = 7;
    record.valueB = 9;
    ASSERT_TRUE(Open());

    const DEVICE_INFO& info = Context().GetDeviceInfo();
    EXPECT_EQ(info.host, "10.0.0.5");
    EXPECT_EQ(info.port, 80);
    EXPECT_EQ(info.user, "admin");
    EXPECT_EQ(info.password, "secret");
    EXPECT_EQ(info.requestTimeout, 7500u);
    EXPECT_EQ(info.streamTimeout, 10000u);
    EXPECT_EQ(Context().GetName(), "10.0.0.5:80");
    EXPECT_EQ(Context().GetChannelValues(), std::make_pair(7u, 9u));
    EXPECT_EQ(Context().GetHostContext(), &frames);

    auto* ex5 = static_cast<ipcapture::IIPCaptureDriverEx5*>(driver);
    ASSERT_NE(driver->GetVideoCapture(), nullptr);
    EXPECT_EQ(ex5->GetVideoCaptureEx5(), driver->GetVideoCapture());
    EXPECT_EQ(ex5->GetPTZDriverEx3(), ex5->GetPTZDriver());

    // Without a readable host version the driver assumes 5.12: level 100 arrives as 3.
    const auto lines = output.Find("DRIVER IS OPENED");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "DRIVER IS OPENED (name: Harnoquistel, device model: ABC-1, FW: 1.0, address: 10.0.0.5:80)");
    EXPECT_EQ(lines[0].level, 3);

    // Opening an open device starts over: one opened line per open, and the
    // PTZ handler is made for the new configuration.
    record.address = "10.0.0.6";
    ASSERT_TRUE(Open());
    EXPECT_EQ(output.Find("DRIVER IS OPENED").size(), 2u);
    EXPECT_EQ(output.Find("address: 10.0.0.6:80)").size(), 1u);

    driver->Close();
    EXPECT_EQ(driver->GetVideoCapture(), nullptr);
    EXPECT_EQ(ex5->GetPTZDriver(), nullptr);
    EXPECT_TRUE(Open()); // a closed driver opens again
}

TEST_F(DriverFixture, AddressTextRules)
{
    record.address = "10.0.0.5:8000";
    ASSERT_TRUE(Open());
    EXPECT_EQ(Context().GetDeviceInfo().port, 8000);
    // 65616 would wrap to port 80 in 16 bits.
    for (const char* bad : {":80", "cam:", "cam:80a", "cam:0", "", "10.0.0.5:65616"}) {
        record.address = bad;
        output.Clear();
        EXPECT_FALSE(Open()) << bad;
        EXPECT_EQ(driver->GetVideoCapture(), nullptr) << bad;
        EXPECT_TRUE(output.Messages().empty()) << bad; // failures are silent
    }
}

TEST_F(DriverFixture, PtzPortIsTheHostPortUnlessItIsTheDevicePort)
{
    record.port = 80;
    ASSERT_TRUE(Open());
    EXPECT_EQ(Context().GetPTZPort(), 8080);

    record.port = 81;
    ASSERT_TRUE(Open());
    EXPECT_EQ(Context().GetPTZPort(), 81);

    record.address = "cam:8000";
    record.port = 8000;
    ASSERT_TRUE(Open());
    EXPECT_EQ(Context().GetPTZPort(), 8080);
}

TEST_F(DriverFixture, OpenedLineOmitsMissingFirmwareAndNeedsAModel)
{
    record.parameters = {"1", "(none)"};
    ASSERT_TRUE(Open());
    ASSERT_EQ(output.Find("DRIVER IS OPENED").size(), 1u);
    EXPECT_EQ(output.Find("DRIVER IS OPENED")[0].text,
              "DRIVER IS OPENED (name: Harnoquistel, device model: ABC-1, address: 10.0.0.5:80)");

    output.Clear();
    record.model = "";
    ASSERT_TRUE(Open());
    EXPECT_TRUE(output.Find("DRIVER IS OPENED").empty());

    record.model = "100%s-cam"; // the model is text, never a format
    ASSERT_TRUE(Open());
    EXPECT_EQ(output.Find("device model: 100%s-cam,").size(), 1u);
}

TEST_F(DriverFixture, ParameterLookup)
{
    record.parameters = {"+25", "(none)", "", "-7", "12a", "-", "2147483648", "-2147483647"};
    ASSERT_TRUE(Open());
    IDriver& context = Context();
    EXPECT_EQ(context.GetVideoStandard(), 25);
    EXPECT_EQ(context.GetParameterString(2), "");
    EXPECT_EQ(context.GetParameterString(5), "12a");
    EXPECT_EQ(context.GetParameterString(42), "");
    EXPECT_EQ(context.GetParameterInt(4), -7);
    EXPECT_EQ(context.GetParameterInt(8), -2147483647);
    for (uint32_t index : {2u, 3u, 5u, 6u, 7u, 42u})
        EXPECT_EQ(context.GetParameterInt(index), ParameterNotInteger) << index;

    // Parameters of an earlier open do not survive a new one.
    record.parameters = {"1"};
    ASSERT_TRUE(Open());
    EXPECT_EQ(context.GetParameterInt(4), ParameterNotInteger);
}

TEST_F(DriverFixture, VideoStandardMustBeAnInteger)
{
    for (const std::vector<std::string>& parameters :
         {std::vector<std::string>{}, std::vector<std::string>{"PAL"}, std::vector<std::string>{"(none)"}}) {
        record.parameters = parameters;
        EXPECT_FALSE(Open());
        EXPECT_EQ(driver->GetVideoCapture(), nullptr);
    }
}

TEST_F(DriverFixture, DebugMessagesDropLevelFourAndEmptyTexts)
{
    Context().DebugMessage(1, "%s", "before open"); // no output yet: dropped, no crash
    ASSERT_TRUE(Open());
    output.Clear();
    Context().DebugMessage(4, "trace %d", 1);
    Context().DebugMessage(1, "%s", "");
    Context().DebugMessage(2, "warning %d of %s", 7, "x");
    const auto messages = output.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].level, 2);
    EXPECT_EQ(messages[0].text, "warning 7 of x");
}

TEST_F(DriverFixture, CreateVideoChannelCodecRules)
{
    record.codecType = 3;
    ASSERT_TRUE(Open());
    auto* creator = dynamic_cast<IVideoChannelCreator*>(driver);
    ASSERT_NE(creator, nullptr);
    host::ChannelSink sink;
    EXPECT_EQ(creator->CreateVideoChannel(0, nullptr, 3), nullptr);
    EXPECT_EQ(creator->CreateVideoChannel(0, &sink, 5), nullptr);
    EXPECT_EQ(creator->CreateSecondaryChannel(0, &sink), nullptr);
    EXPECT_EQ(creator->CreateEdgeMonitor(), nullptr);
    for (uint32_t codec : {0u, 16u, 3u}) {
        std::unique_ptr<ICameraChannel> channel(creator->CreateVideoChannel(0, &sink, codec));
        EXPECT_EQ(channel != nullptr, DeviceChannelAvailable()) << codec;
    }

    record.codecType = 5;
    ASSERT_TRUE(Open());
    EXPECT_EQ(creator->CreateVideoChannel(0, &sink, 0), nullptr);
}
