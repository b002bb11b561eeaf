// A site of simulated cameras in one process, run as a user would run it.
#include "SimClients.h"
#include "support/Process.h"

#include <signal.h>

#include <fstream>

namespace simtest {
namespace {

struct SiteCamera {
    unsigned number = 0, http = 0, rtsp = 0;
    std::string address, serial;
};

// `harnoquistel sim ARGS...` for the length of a test, and its cameras as `ready` lists them.
class RunningSite
{
public:
    explicit RunningSite(std::vector<std::string> args) : out_("/tmp/sim-site-" + std::to_string(getpid()) + ".out")
    {
        args.insert(args.begin(), {HARNOQUISTEL_EXE, "sim"});
        pid_ = SpawnProcess(args, {}, "HARNOQUISTEL_", out_);
        for (int i = 0; i < 200 && cameras.empty(); ++i) {
            usleep(50'000);
            Read();
        }
    }
    ~RunningSite()
    {
        kill(pid_, SIGTERM);
        EXPECT_EQ(WaitForExit(pid_), 0);
        std::remove(out_.c_str());
    }
    std::vector<SiteCamera> cameras;

private:
    void Read()
    {
        std::ifstream file(out_);
        std::vector<SiteCamera> listed;
        unsigned count = 0;
        for (std::string line; std::getline(file, line);) {
            char address[32], serial[16];
            SiteCamera c;
            std::sscanf(line.c_str(), "ready cameras=%u", &count);
            if (std::sscanf(line.c_str(), "camera=%u address=%31s http=%u rtsp=%u ptz=%*u discovery=%*u serial=%15s",
                            &c.number, address, &c.http, &c.rtsp, serial) == 5) {
                c.address = address, c.serial = serial;
                listed.push_back(c);
            }
        }
        if (count > 0 && listed.size() == count && listed.back().serial.size() == 8)
            cameras = listed;
    }
    std::string out_;
    pid_t pid_ = -1;
};

// The status and answer of an ONVIF call (a PasswordText token) to one camera of the site.
std::pair<int, std::string> Onvif(const SiteCamera& camera, const std::string& service, const std::string& call)
{
    const std::string body =
        "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Header><wsse:Security "
        "xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\">"
        "<wsse:UsernameToken><wsse:Username>admin</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/"
        "wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordText\">admin</wsse:Password>"
        "</wsse:UsernameToken></wsse:Security></s:Header><s:Body>" +
        call + "</s:Body></s:Envelope>";
    TcpConnection http(static_cast<std::uint16_t>(camera.http), camera.address);
    http.Send("POST /onvif/" + service + " HTTP/1.1\r\nHost: " + camera.address +
              "\r\nContent-Type: application/soap+xml\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
              body);
    const std::string answer = http.Receive();
    return {StatusOf(answer), answer};
}

// Each camera on its own loopback address answers as itself; a fault named for camera 2
// stays with it, one named for none applies to all.
TEST(Site, CamerasAnswerAsThemselvesAndANamedFaultStaysWithItsCamera)
{
    RunningSite site({"--cameras", "4", "--http-port", "0", "--rtsp-port", "0", "--ptz-port", "0", "--no-discovery",
                      "--fault", "2:onvif-fault=GetScopes", "--fault", "onvif-fault=GetHostname"});
    ASSERT_EQ(site.cameras.size(), 4u);
    const std::string device = "xmlns=\"http://www.onvif.org/ver10/device/wsdl\"/>";
    for (const SiteCamera& c : site.cameras) {
        const std::string address = "127.0.1." + std::to_string(c.number);
        const std::string serial = "SIM-000" + std::to_string(c.number);
        EXPECT_EQ(c.address + c.serial, address + serial);
        const auto information = Onvif(c, "device_service", "<GetDeviceInformation " + device);
        EXPECT_NE(information.second.find("<tds:SerialNumber>" + serial + "<"), std::string::npos) << serial;
        EXPECT_EQ(Onvif(c, "device_service", "<GetScopes " + device).first, c.number == 2 ? 500 : 200) << serial;
        EXPECT_EQ(Onvif(c, "device_service", "<GetHostname " + device).first, 500) << serial;
        const auto uri = Onvif(c, "media_service",
                               "<GetStreamUri xmlns=\"http://www.onvif.org/ver10/media/wsdl\"><StreamSetup><Stream>"
                               "RTP-Unicast</Stream><Transport><Protocol>RTSP</Protocol></Transport></StreamSetup>"
                               "<ProfileToken>Profile_1_1</ProfileToken></GetStreamUri>");
        const std::string stream = "rtsp://" + address + ":" + std::to_string(c.rtsp) + "/media/Profile_1_1";
        EXPECT_NE(uri.second.find(">" + stream + "<"), std::string::npos) << uri.second;
        EXPECT_EQ(StatusOf(TcpConnection(static_cast<std::uint16_t>(c.rtsp), address).Request("OPTIONS", stream)), 200);
    }
}

}  // namespace
}  // namespace simtest
