// The harnoquistel command run as a subprocess against the simulated camera:
// exit statuses, JSON outputs, and the files it leaves.
#include "CliFixture.h"

#include <sys/stat.h>

#include <thread>

#include "support/LoopbackHttpServer.h"

namespace {

using namespace clitest;

TEST_F(CliCommand, UsageErrorsAndHelp)
{
    for (const char* sub : {"query", "record", "snapshot", "ptz", "demo", "sim", "discover"}) {
        const Outcome help = Run({sub, "--help"});
        EXPECT_EQ(help.status, 0) << sub;
        EXPECT_NE(help.out.find("--"), std::string::npos) << sub;
    }
    EXPECT_EQ(Run({}).status, 2);
    EXPECT_EQ(Run({"query"}).status, 2);
    EXPECT_EQ(Run({"query", Address(), "--password", "x", "--password-file", PasswordFile()}).status, 2);
    EXPECT_EQ(Run({"record", Address(), "--size", "1280by720"}).status, 2);
    EXPECT_EQ(Run({"record", Address(), "--stream", "backup"}).status, 2);
    EXPECT_EQ(Run({"ptz", Address(), "sideways"}).status, 2);
    EXPECT_EQ(Run({"ptz", Address(), "left", "--speed", "17"}).status, 2);
}

TEST_F(CliCommand, QueryPrintsJsonAndSavesTheDeviceFile)
{
    const fs::path device = dir / "device.json";
    const Outcome outcome = Query({"--json", "--save", device.string()});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const json result = ParseJson(outcome.out);
    EXPECT_FALSE(result["name"].get<std::string>().empty());
    for (int number = 1; number <= 10; ++number)
        EXPECT_TRUE(result["parameters"][std::to_string(number)].is_string()) << number;
    EXPECT_EQ(result["parameters"]["10"], "554");
    EXPECT_EQ(result["parameters"]["8"], "Digest");
    EXPECT_EQ(result["values"]["8"], 1);  // H.264
    EXPECT_EQ(result["values"]["1"], 1);  // PTZ
    ASSERT_FALSE(result["resolutions"].empty());
    const json& first = result["resolutions"][0];
    EXPECT_EQ(first["text"],
              std::to_string(first["width"].get<int>()) + "x" + std::to_string(first["height"].get<int>()));
    EXPECT_GT(first["frame_value"].get<int>(), 0);
    EXPECT_FALSE(result["framerates"]["values"].empty());
    EXPECT_TRUE(result["framerates"]["default"].is_number());

    const json saved = ParseJson(ReadFile(device));
    EXPECT_EQ(saved["address"], Address());
    EXPECT_EQ(saved["port"], camera->Ports().ptz);
    EXPECT_EQ(saved["parameters"].size(), 10u);
    struct stat info {};
    ASSERT_EQ(stat(device.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);  // it holds the password

    const Outcome text = Run({"query", Address(), "--ptz-port", PtzPort()}, {"HARNOQUISTEL_PASSWORD=secret"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("RTSP port"), std::string::npos);
    EXPECT_NE(text.out.find(result["name"].get<std::string>()), std::string::npos);
}

// Behind HTTP Digest (which only the ONVIF port asks for), a wrong password is a login failure.
TEST_F(CliCommand, QueryFailuresExitOneWithKindAndReason)
{
    camera->SetFaults({*sim::ParseFault("onvif-digest")});
    const Outcome wrong = Run({"query", Address(), "--ptz-port", PtzPort(), "--json"}, {"HARNOQUISTEL_PASSWORD=wrong"});
    EXPECT_EQ(wrong.status, 1);
    const json failure = ParseJson(wrong.out);
    EXPECT_EQ(failure["kind"], 1);
    EXPECT_NE(failure["error"].get<std::string>().find("login failed"), std::string::npos);
    EXPECT_NE(wrong.err.find("login failed"), std::string::npos);

    const Outcome badAddress = Run({"query", "cam@127.0.0.1", "--json"}, {"HARNOQUISTEL_PASSWORD=x"});
    EXPECT_EQ(badAddress.status, 1);
    EXPECT_EQ(ParseJson(badAddress.out)["kind"], 0);
}

TEST_F(CliCommand, PtzMovesAndStopsTheHead)
{
    const fs::path device = dir / "device.json";
    ASSERT_EQ(Query({"--save", device.string()}).status, 0);
    const Outcome right = Run({"ptz", Address(), "--device", device.string(), "right", "--speed", "8", "--for", "0.2"});
    ASSERT_EQ(right.status, 0) << right.err;
    std::vector<std::string> requests = CgiRequests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[requests.size() - 2], "/cgi-bin/run?ptz.cgi%20pan%2050");
    EXPECT_EQ(requests.back(), "/cgi-bin/run?ptz.cgi%20pan%200");

    const Outcome stop = Run({"ptz", Address(), "--device", device.string(), "stop"});
    ASSERT_EQ(stop.status, 0) << stop.err;
    requests = CgiRequests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests.back(), "/cgi-bin/run?ptz.cgi%20zoom%200");
    const sim::PtzHead head = camera->GetPtzHead(1);
    EXPECT_EQ(std::make_tuple(head.pan, head.tilt, head.zoom), std::make_tuple(0, 0, 0));

    const Outcome refused = Run({"ptz", Address(), "--device", device.string(), "left"}, {"HARNOQUISTEL_PASSWORD=no"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("refused"), std::string::npos) << refused.err;
}

// Only container files and pictures load the codec libraries; the dynamic loader
// names every library it maps (LD_DEBUG=files).
TEST_F(CliCommand, OnlyContainerFilesLoadTheCodecLibraries)
{
    const std::string device = (dir / "device.json").string();
    ASSERT_EQ(Query({"--save", device}).status, 0);
    const struct {
        std::vector<std::string> args;
        bool codecs;
    } cases[] = {
        {{"query", Address(), "--ptz-port", PtzPort(), "--password-file", PasswordFile()}, false},
        {{"ptz", Address(), "--device", device, "stop"}, false},
        {{"record", Address(), "--device", device, "--duration", "1", "--out", (dir / "raw.h264").string()}, false},
        {{"record", Address(), "--device", device, "--duration", "1", "--out", (dir / "clip.mkv").string()}, true},
    };
    for (const auto& [args, codecs] : cases) {
        const Outcome outcome = Run(args, {"LD_DEBUG=files"});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        for (const char* library : {"file=libavformat", "file=libavcodec", "file=libswscale", "file=libavutil"})
            EXPECT_EQ(outcome.err.find(library) != std::string::npos, codecs) << args.back() << " " << library;
    }
}

// Without --device the query runs first and gives the channel count, so the
// second source of a video server can be recorded.
TEST_F(CliCommand, RecordQueriesFirstAndOpensTheChosenChannel)
{
    sim::SimulatorOptions options = Options();
    options.channels = 2;
    ASSERT_TRUE(StartCamera(options));
    const Outcome outcome =
        Run({"record", Address(), "--ptz-port", PtzPort(), "--password-file", PasswordFile(), "--channel", "2",
             "--duration", "3", "--size", "320x240", "--out", (dir / "two.h264").string(), "--json"});
    ASSERT_EQ(outcome.status, 0) << outcome.out << outcome.err;
    EXPECT_GT(ParseJson(outcome.out)["frames"].get<int>(), 0);
    EXPECT_EQ(ParseJson(outcome.out)["width"], 320);
    std::string plays;
    for (const std::string& line : camera->RequestLog())
        if (line.rfind("rtsp PLAY", 0) == 0)
            plays += line + "\n";
    EXPECT_NE(plays.find("Profile_2_"), std::string::npos) << plays;

    const Outcome third = Run({"record", Address(), "--ptz-port", PtzPort(), "--password-file", PasswordFile(),
                               "--channel", "3", "--duration", "1", "--out", (dir / "three.h264").string()});
    EXPECT_EQ(third.status, 1);
    EXPECT_NE(third.err.find("has 2"), std::string::npos) << third.err;
}

// Stopped by Ctrl-C, the recording reports what it wrote, and the file plays to its end.
TEST_F(CliCommand, RecordWritesTheDeliveredFramesAndStopsCleanlyOnCtrlC)
{
    const fs::path device = dir / "device.json";
    ASSERT_EQ(Query({"--save", device.string()}).status, 0);
    const fs::path file = dir / "long.h264";
    const pid_t pid = Spawn({"record", Address(), "--device", device.string(), "--duration", "0", "--size", "640x480",
                             "--out", file.string(), "--json"});
    ASSERT_GT(pid, 0);
    WaitForFile(file, 40000);
    kill(pid, SIGINT);
    const Outcome outcome = Finish(pid);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const json report = ParseJson(outcome.out);
    EXPECT_EQ(report["interrupted"], true);
    EXPECT_GT(report["frames"].get<int>(), 1);
    EXPECT_GE(report["keyframes"].get<int>(), 1);
    EXPECT_EQ(report["bytes"].get<uint64_t>(), fs::file_size(file));
    EXPECT_EQ(std::make_pair(report["width"], report["height"]), std::make_pair(json(640), json(480)));
    EXPECT_TRUE(report["first_frame_ms"].is_number());
    EXPECT_EQ(report["signal_lost"], 0);
    bool opened = false;
    for (const json& message : report["messages"])
        opened |= message["text"].get<std::string>().rfind("DRIVER IS OPENED", 0) == 0 && message["level"].is_number();
    EXPECT_TRUE(opened) << report["messages"].dump();
    EXPECT_EQ(DecodeErrors(file), "");
    EXPECT_TRUE(camera->WaitForRequest([](const std::string& line) { return line.rfind("rtsp TEARDOWN", 0) == 0; },
                                       std::chrono::seconds(5)));
}

TEST_F(CliCommand, DemoLeavesAPlayableFileAndAReport)
{
    const Outcome demo = Run({"demo", "--duration", "3", "--out", dir.string()});
    ASSERT_EQ(demo.status, 0) << demo.out << demo.err;
    for (const char* expected : {"Report", "first frame", "resolution   1280x720", "ptz.cgi%20pan%2050",
                                 "ptz.cgi%20pan%200", "ffplay -f h264"})
        EXPECT_NE(demo.out.find(expected), std::string::npos) << expected << "\n" << demo.out;

    const fs::path file = dir / "demo.h264";
    const json stream = Probe(file, "-f h264 -count_frames -select_streams v:0 -show_entries "
                                    "stream=codec_name,width,height,nb_read_frames")["streams"][0];
    EXPECT_EQ(stream["codec_name"], "h264");
    EXPECT_EQ(stream["width"], 1280);
    EXPECT_GT(std::stoi(stream["nb_read_frames"].get<std::string>()), 25);
    // Not a word from the decoder: no access unit without a picture at the end.
    EXPECT_EQ(DecodeErrors(file), "");

    const fs::path picture = dir / "demo.jpg";
    EXPECT_NE(demo.out.find(picture.string()), std::string::npos) << demo.out;
    const json still = Probe(picture, "-show_entries stream=codec_name,width,height")["streams"][0];
    EXPECT_EQ(std::make_tuple(still["codec_name"], still["width"], still["height"]),
              std::make_tuple(json("mjpeg"), json(1280), json(720)));
}

// ONVIF behind HTTP Digest, and a camera clock an hour off ours: the command works
// as it does against an agreeable camera, without ever sending the password itself,
// and says once how far the camera's clock is off.
TEST_F(CliCommand, OnvifBehindHttpDigestAndWithAnOffsetClock)
{
    auto faults = [](std::initializer_list<const char*> specs) {
        std::vector<sim::Fault> list;
        for (const char* spec : specs)
            list.push_back(*sim::ParseFault(spec));
        return list;
    };
    // Token values vary by request; everything else is compared byte for byte.
    auto masked = [](std::string body) {
        for (const char* element : {"<wsse:Password", "<wsse:Nonce", "<wsu:Created"}) {
            const std::size_t open = body.find('>', body.find(element));
            if (open != std::string::npos)
                body.replace(open + 1, body.find('<', open) - open - 1, "*");
        }
        return body;
    };
    auto since = [&](std::size_t from) {
        const auto all = camera->OnvifRequests();
        return std::vector<sim::OnvifRequestRecord>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    };

    // Clocks in agreement: a fresh camera checking Created sees what one that does not check sees.
    std::size_t start = 0;
    ASSERT_EQ(Query({"--json"}).status, 0);
    const auto today = since(start);
    sim::SimulatorOptions options = Options();
    options.faults = faults({"clock=0:30"});
    ASSERT_TRUE(StartCamera(options));
    ASSERT_EQ(Query({"--json"}).status, 0);
    const auto agreeing = since(start);
    ASSERT_EQ(agreeing.size(), today.size());
    for (std::size_t i = 0; i < today.size(); ++i) {
        EXPECT_EQ(agreeing[i].operation, today[i].operation);
        EXPECT_EQ(agreeing[i].authorization + today[i].authorization, "");
        EXPECT_EQ(masked(agreeing[i].body), masked(today[i].body)) << i;
    }

    for (const auto& specs : {faults({"onvif-digest"}), faults({"onvif-digest=only"}), faults({"clock=3600:30"}),
                              faults({"clock=-3600:30", "onvif-digest"})}) {
        camera->SetFaults(specs);
        const std::string setting = specs.front().kind == sim::Fault::Kind::Clock
                                        ? std::to_string(static_cast<int>(specs.front().value))
                                        : "digest";
        start = camera->OnvifRequests().size();
        // Without --device the recording queries the camera first, in the same process.
        const fs::path file = dir / "auth.h264";
        const Outcome record =
            Run({"record", Address(), "--ptz-port", PtzPort(), "--password-file", PasswordFile(), "--duration", "2",
                 "--size", "640x480", "--out", file.string(), "--overwrite", "--json"});
        ASSERT_EQ(record.status, 0) << setting << record.err;
        const json report = ParseJson(record.out);
        EXPECT_GT(report["frames"].get<int>(), 10) << setting;
        int clockNotes = 0;
        for (const json& message : report["messages"])
            if (message["text"].get<std::string>().find("differs from ours by " + setting + " seconds") !=
                std::string::npos) {
                ++clockNotes;
                EXPECT_EQ(message["level"], 2);
            }
        EXPECT_EQ(clockNotes, setting == "digest" ? 0 : 1) << report["messages"].dump();
        // No token carries the password itself, in the body or in a Basic header; Digest
        // answers go only to a camera that asks for them.
        size_t digestAnswers = 0;
        for (const sim::OnvifRequestRecord& request : since(start)) {
            EXPECT_EQ(request.body.find("<wsse:Password>"), std::string::npos) << setting << " " << request.operation;
            EXPECT_EQ(request.body.find("#PasswordText"), std::string::npos) << setting << " " << request.operation;
            EXPECT_EQ(request.authorization.rfind("Basic", 0), std::string::npos) << setting;
            digestAnswers += request.authorization.rfind("Digest ", 0) == 0;
        }
        EXPECT_EQ(digestAnswers > 0, specs.back().kind == sim::Fault::Kind::OnvifDigest) << setting;
    }
}

}  // namespace

// A recording that gets no frame is a device failure; with --verbose it names the step
// that failed, without it the driver's messages are the usual ones.
TEST_F(CliCommand, RecordWithoutFramesFailsAndVerboseSaysWhy)
{
    const fs::path device = dir / "device.json";
    ASSERT_EQ(Query({"--save", device.string()}).status, 0);
    // 9 s: long enough for the first start to give up waiting for a frame (7.5 s); a refused
    // connection or an unknown stream address fails at once.
    auto record = [&](bool verbose, const char* seconds = "3") {
        std::vector<std::string> args = {"record",     Address(), "--device", device.string(),
                                         "--duration", seconds,   "--out",    (dir / "none.h264").string()};
        if (verbose)
            args.push_back("--verbose");
        return Run(args, {std::string("HARNOQUISTEL_PASSWORD=") + Password});
    };
    // The same camera (its ONVIF port is in the device file) with another stream address.
    auto streamAddress = [&](const std::string& uri, uint16_t rtspPort) {
        sim::SimulatorOptions options = Options();
        options.httpPort = camera->Ports().http;
        options.rtspPort = rtspPort;
        options.rtspUri = uri;
        return StartCamera(options);
    };
    // A loopback TCP port nobody listens on (until a simulator takes it).
    auto freePort = [] { return LoopbackHttpServer([](const RecordedRequest&) { return std::string(); }).Port(); };

    Outcome outcome = Run({"record", Address(), "--device", device.string(), "--duration", "2", "--out",
                           (dir / "none.h264").string(), "--json"},
                          {"HARNOQUISTEL_PASSWORD=wrong"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(ParseJson(outcome.out)["frames"], 0);
    EXPECT_NE(outcome.err.find("no frames"), std::string::npos);

    camera->SetFaults({*sim::ParseFault("loss=1")});
    outcome = record(true, "9");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("[trace]"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("last reason: no RTP datagram from 127.0.0.1 on UDP "), std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("is a firewall dropping them?"), std::string::npos) << outcome.err;

    const std::string closed = "127.0.0.1:" + std::to_string(freePort());
    ASSERT_TRUE(streamAddress("rtsp://" + closed + "/media/Profile_1_1", 0));
    outcome = record(true);
    EXPECT_NE(outcome.err.find("last reason: RTSP " + closed + ": connection refused"), std::string::npos)
        << outcome.err;
    outcome = record(false);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err.find("[trace]"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("reason"), std::string::npos) << outcome.err;

    // A stream address the camera's RTSP server does not know: DESCRIBE is answered 404.
    // It carries credentials, as some cameras' addresses do: the trace shows none.
    const uint16_t rtspPort = freePort();
    const std::string rtsp = "rtsp://127.0.0.1:" + std::to_string(rtspPort);
    ASSERT_TRUE(streamAddress("rtsp://admin:p@ss:w%rd@127.0.0.1:" + std::to_string(rtspPort) +
                                  "/media/Nothing?user=admin&password=p@ss/w:rd%25",
                              rtspPort));
    outcome = record(true);
    EXPECT_NE(
        outcome.err.find("last reason: RTSP DESCRIBE " + rtsp + "/media/Nothing?user=***&password=***: RTSP/1.0 404"),
        std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("stream address rtsp://127.0.0.1"), std::string::npos) << outcome.err;
    for (const char* secret : {"p@ss", "w:rd", "rd%", "admin"})
        EXPECT_EQ(outcome.err.find(secret), std::string::npos) << secret << "\n" << outcome.err;
}
