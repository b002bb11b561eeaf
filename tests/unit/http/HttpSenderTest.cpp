#include "http/CHttpSender.h"

#include "support/LoopbackHttpServer.h"
#include "support/Peers.h"
#include "support/Process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <thread>

using Web::CHttpSender;
using Web::HttpRequest;

namespace {

velkora::DEVICE_INFO Device(uint16_t port, const std::string& user = {}, const std::string& password = {},
                            const std::string& host = "127.0.0.1")
{
    return velkora::DEVICE_INFO(host, port, user, password);
}

std::string Text(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(HttpSender, StatusBodyContentLengthAndChunks)
{
    LoopbackHttpServer server([](const RecordedRequest& request) {
        if (request.head.find(" /long ") != std::string::npos)
            return std::string("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n0123456789");
        if (request.head.find(" /empty ") != std::string::npos)
            return std::string("HTTP/1.1 204 No Content\r\n\r\n");
        if (request.head.find(" /big ") != std::string::npos)  // no length: the body ends with the connection
            return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(20000, 'x');
        return HttpAnswer(404, "missing", "Content-Type: text/plain\r\n");
    });
    CHttpSender sender(Device(server.Port()));
    std::vector<uint8_t> body;
    ASSERT_TRUE(sender.Send(HttpRequest("GET", "/long")));
    EXPECT_EQ(200u, sender.GetStatusCode());
    EXPECT_EQ(5u, sender.GetContentLength());
    EXPECT_EQ(5u, sender.ReadResponse(body));
    EXPECT_EQ("01234", Text(body));
    sender.Release();

    // Any status is a completed exchange.
    for (const auto& [path, status, length] : {std::tuple{"/empty", 204u, 0u}, {"/other", 404u, 7u}}) {
        ASSERT_TRUE(sender.Send(HttpRequest("GET", path)));
        EXPECT_EQ(status, sender.GetStatusCode());
        EXPECT_EQ(length, sender.ReadResponse(body));
        sender.Release();
    }
    ASSERT_EQ(3u, server.Requests().size());
    EXPECT_EQ("Velkora::HttpSender", server.Requests()[0].Header("User-Agent"));

    ASSERT_TRUE(sender.Send(HttpRequest("GET", "/big")));
    EXPECT_EQ(0u, sender.GetContentLength());
    EXPECT_GT(sender.QueryDataAvailable(), 0u);

    std::vector<uint8_t> chunk{'a'};
    EXPECT_EQ(100u, sender.ReadChunk(chunk, 100, false));
    EXPECT_EQ(101u, chunk.size());
    EXPECT_EQ(100u, sender.ReadChunk(chunk, 100, true));
    EXPECT_EQ(100u, chunk.size());
    std::vector<uint8_t> rest;
    EXPECT_EQ(20000u - 200, sender.ReadResponse(rest));
    sender.Release();
    EXPECT_EQ(0u, sender.ReadChunk(chunk, 100, true));

    // An abort that lands between the answer and its reading fails the reads, not the next request.
    ASSERT_TRUE(sender.Send(HttpRequest("GET", "/big")));
    sender.Cancel();
    EXPECT_EQ(0u, sender.ReadResponse(rest));
    EXPECT_EQ(uint32_t(Web::HttpErrorCancelled), sender.GetLastError());
    ASSERT_TRUE(sender.Send(HttpRequest("GET", "/long")));
    EXPECT_EQ(5u, sender.ReadResponse(body));
}

TEST(HttpSender, RequestLinesAndRefusedRequests)
{
    LoopbackHttpServer server([](const RecordedRequest&) { return HttpAnswer(200, "ok"); });
    CHttpSender sender(Device(server.Port()));

    EXPECT_FALSE(sender.Send(HttpRequest("", "/")));
    EXPECT_FALSE(sender.Send(HttpRequest("GET", "")));
    // Nothing from outside may add a line to the request.
    EXPECT_FALSE(sender.Send(HttpRequest("GET", "/a\r\nX-Injected: 1")));
    HttpRequest badHeader("GET", "/");
    badHeader.headers.push_back("X-A: 1\r\nX-Injected: 1");
    EXPECT_FALSE(sender.Send(badHeader));
    CHttpSender badUser(Device(server.Port(), "admin\r\nX-Injected: 1", "pw"));
    EXPECT_FALSE(badUser.Send(HttpRequest("GET", "/")));
    EXPECT_EQ(0, server.Connections());

    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(sender.Send(HttpRequest("GET", "/cgi-bin/run?ptz.cgi%20zoom%200 x")));
        sender.Release();
    }
    const auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(0u, requests[1].head.find("GET /cgi-bin/run?ptz.cgi%20zoom%200%20x HTTP/1.1\r\n"));
    EXPECT_EQ(1, server.Connections());  // both over the one kept connection
}

TEST(HttpSender, CredentialsGoOnlyWhereAndHowTheDeviceAsks)
{
    // Each path challenges with its own header lines (none: never challenges). Any Digest
    // answer to a Digest challenge is accepted (with qop and algorithm as asked), and Basic
    // where Basic is all that is offered.
    const std::string digest = "WWW-Authenticate: Digest realm=\"onvif\", nonce=\"n1\"\r\n";
    const std::string basic = "WWW-Authenticate: Basic realm=\"cam\"\r\n";
    const std::vector<std::pair<std::string, std::string>> challenges = {
        {"/basic", basic},
        {"/odd", "WWW-Authenticate: Bearer realm=\"cam\"\r\n"},
        {"/digest-basic", digest + basic},
        {"/basic-digest", basic + digest},
        {"/both-in-one", "WWW-Authenticate: Basic realm=\"cam\", Digest realm=\"onvif\", nonce=\"n1\"\r\n"},
        {"/cases",
         "www-authenticate: basic realm=\"cam\"\r\nWWW-AUTHENTICATE: DIGEST realm=\"onvif\", nonce=\"n1\"\r\n"},
        {"/md5", "WWW-Authenticate: Digest realm=\"onvif\", qop=\"auth\", nonce=\"n1\"\r\n"},
        {"/sha256", "WWW-Authenticate: Digest realm=\"onvif\", qop=\"auth\", nonce=\"n1\", algorithm=SHA-256\r\n"},
        {"/passport", "WWW-Authenticate: Passport1.4 da-status=failed\r\n"},
        {"/negotiate-basic", "WWW-Authenticate: Negotiate\r\n" + basic},
    };
    LoopbackHttpServer server([&](const RecordedRequest& request) {
        std::string challenge;
        for (const auto& [path, lines] : challenges)
            if (request.head.find(" " + path + " ") != std::string::npos)
                challenge = lines;
        const std::string authorization = request.Header("Authorization");
        const std::string lower = [&] {
            std::string text = challenge;
            for (char& c : text)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return text;
        }();
        const bool digestOk =
            authorization.rfind("Digest username=\"admin\"", 0) == 0 &&
            (authorization.find("qop=auth") != std::string::npos) == (lower.find("qop") != std::string::npos) &&
            (authorization.find("algorithm=SHA-256") != std::string::npos) ==
                (lower.find("sha-256") != std::string::npos);
        const bool basicOk = authorization.rfind("Basic ", 0) == 0 && challenge == basic;
        if (challenge.empty() || digestOk || basicOk)
            return HttpAnswer(200, "ok");
        return HttpAnswer(401, "no", challenge);
    });
    const std::string basicSent = "Basic YWRtaW46c2VjcmV0";
    // `cgi`: the request offers Basic before any challenge (as the PTZ CGI does), else no
    // credentials unless challenged (as SOAP does); `never`: no plain-text password. `sent`:
    // the Authorization of each request on the wire ("-" none); `learnt`: a later request
    // answers with Digest at once.
    const struct {
        const char* user;
        const char* path;
        bool cgi;
        bool never;
        unsigned status;
        uint32_t scheme;
        std::string sent;
        bool learnt;
        bool withheld;
    } cases[] = {
        {"", "/", true, false, 200, 0, "-", false, false},  // no user: nothing to send
        {"admin", "/", false, false, 200, 0, "-", false, false},
        {"admin", "/basic", true, false, 200, 0, basicSent, false, false},  // before any challenge, as designed
        {"admin", "/digest-basic", true, false, 200, Web::HttpSchemeDigest, basicSent + " Digest", true, false},
        {"admin", "/basic-digest", true, false, 200, Web::HttpSchemeDigest, basicSent + " Digest", true, false},
        {"admin", "/basic-digest", false, false, 200, Web::HttpSchemeDigest, "- Digest", true, false},
        {"admin", "/both-in-one", false, false, 200, Web::HttpSchemeDigest, "- Digest", true, false},
        {"admin", "/cases", false, false, 200, Web::HttpSchemeDigest, "- Digest", true, false},
        {"admin", "/md5", false, false, 200, Web::HttpSchemeDigest, "- Digest", true, false},
        {"admin", "/sha256", false, false, 200, Web::HttpSchemeDigest, "- Digest", true, false},
        {"", "/md5", false, false, 401, 0, "-", false, false},  // nothing to answer with: the caller gets the 401
        {"admin", "/odd", false, false, 401, 0, "-", false, false},
        // No credentials for this exchange and a Basic challenge: the password is withheld.
        {"admin", "/basic", false, false, 401, 0, "-", false, true},
        {"admin", "/negotiate-basic", false, false, 401, 0, "-", false, true},
        // A scheme libcurl cannot perform is not remembered (it would fail every later request).
        {"admin", "/passport", true, false, 401, 0, basicSent, false, false},
        // Without plain-text passwords the CGI waits for a challenge and answers Digest only.
        {"admin", "/basic", true, true, 401, 0, "-", false, true},
        {"admin", "/basic-digest", true, true, 200, Web::HttpSchemeDigest, "- Digest", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.user) + " " + c.path + (c.cgi ? " cgi" : " soap") + (c.never ? " never" : ""));
        velkora::DEVICE_INFO device = Device(server.Port(), c.user, "secret");
        device.neverPlaintextPassword = c.never;
        CHttpSender sender(device);
        auto send = [&](std::vector<uint8_t> body) {
            HttpRequest request("POST", c.path);
            if (!c.cgi)
                request.authSelector = Web::HttpAuthNone;
            request.body = std::move(body);
            const std::size_t before = server.Requests().size();
            EXPECT_TRUE(sender.Send(request));
            EXPECT_EQ(c.status, sender.GetStatusCode());
            std::string sent;
            const auto requests = server.Requests();
            for (std::size_t i = before; i < requests.size(); ++i) {
                const std::string value = requests[i].Header("Authorization");
                sent += (i > before ? " " : "") + (value.empty()                    ? "-"
                                                   : value.rfind("Digest ", 0) == 0 ? std::string("Digest")
                                                                                    : value);
            }
            return sent;
        };
        EXPECT_EQ(c.sent, send({}));
        EXPECT_EQ(c.scheme, sender.GetServerAuthScheme());
        EXPECT_EQ(c.withheld, sender.PasswordWithheld());
        sender.Release();
        if (c.learnt) {
            // Remembered, and the body goes along unchanged.
            const std::string later = send({'<', 'a', '/', '>'});
            EXPECT_TRUE(later.ends_with("Digest") && later.find("Basic") == std::string::npos) << later;
            EXPECT_EQ("<a/>", server.Requests().back().body);
        }
    }
}

// With a CA file HTTPS certificates are verified against it, even where the request's flags
// would ignore certificate errors; without one a self-signed certificate is accepted.
TEST(HttpSender, CaFileVerifiesTheCertificate)
{
    char dirTemplate[] = "/tmp/hq_tls_XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    for (const char* name : {"camera", "other"})
        ASSERT_EQ(Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext "
                        "subjectAltName=IP:127.0.0.1 -keyout " +
                        dir + "/" + name + ".key -out " + dir + "/" + name + ".pem 2>/dev/null"),
                  0);
    // Python's TLS server as the camera: prints its port, answers every GET with 200.
    const std::string script =
        "import http.server,ssl,sys\n"
        "class H(http.server.BaseHTTPRequestHandler):\n"
        "  def do_GET(self):\n"
        "    self.send_response(200);self.send_header('Content-Length','2');self.end_headers();self.wfile.write(b'ok')\n"
        "  def log_message(self,*a): pass\n"
        "s=http.server.HTTPServer(('127.0.0.1',0),H)\n"
        "c=ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER);c.load_cert_chain(sys.argv[1],sys.argv[2])\n"
        "s.socket=c.wrap_socket(s.socket,server_side=True)\n"
        "print(s.server_address[1],flush=True)\n"
        "s.serve_forever()\n";
    ChildProcess peer({"/usr/bin/python3", "-c", script, dir + "/camera.pem", dir + "/camera.key"});
    const auto port = static_cast<uint16_t>(std::atoi(peer.ReadLine().c_str()));
    const struct {
        std::string caFile;
        bool sent;
    } cases[] = {{"", true}, {dir + "/camera.pem", true}, {dir + "/other.pem", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caFile);
        ASSERT_NE(port, 0);
        velkora::DEVICE_INFO device = Device(port);
        device.caFile = c.caFile;
        CHttpSender sender(device);  // plain HTTP fails against TLS, then HTTPS is tried
        EXPECT_EQ(c.sent, sender.Send(HttpRequest("GET", "/")));
        EXPECT_EQ(c.sent ? 200u : 0u, sender.GetStatusCode());
    }
    Shell("rm -r " + dir);
}

TEST(HttpSender, SecureStateFollowsWhatWorked)
{
    // Port 443 starts with HTTPS; a plain listener there is reached over HTTP, used
    // directly from then on. A random loopback address keeps clear of other users of 443.
    std::mt19937 random(std::random_device{}());
    const std::string address = "127." + std::to_string(1 + random() % 250) + "." + std::to_string(1 + random() % 250) +
                                "." + std::to_string(2 + random() % 250);
    LoopbackHttpServer server([](const RecordedRequest&) { return HttpAnswer(200, "plain"); }, address.c_str(), 443);
    if (!server.Ok())
        GTEST_SKIP() << "cannot listen on " << address << ":443";
    CHttpSender sender(Device(443, {}, {}, address));
    EXPECT_TRUE(sender.IsSecure());
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(sender.Send(HttpRequest("GET", "/")));
        EXPECT_EQ(200u, sender.GetStatusCode());
        EXPECT_FALSE(sender.IsSecure());
        sender.Release();
    }
    const auto requests = server.Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_TRUE(requests[0].tls && !requests[1].tls && !requests[2].tls);
}

TEST(HttpSender, ConnectTimeoutIsFinal)
{
    // A listener whose accept queue is full drops further handshakes: the connect hangs.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof(addr);
    ASSERT_TRUE(bind(listener, reinterpret_cast<sockaddr*>(&addr), len) == 0 && listen(listener, 0) == 0 &&
                getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) == 0);
    int fillers[3];
    for (int& fd : fillers)
        fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0), connect(fd, reinterpret_cast<sockaddr*>(&addr), len);
    velkora::DEVICE_INFO device = Device(ntohs(addr.sin_port));
    device.requestTimeout = 300;
    CHttpSender sender(device);
    EXPECT_FALSE(sender.Send(HttpRequest("GET", "/")));
    EXPECT_EQ(uint32_t(Web::HttpErrorTimeout), sender.GetLastError());
    EXPECT_FALSE(sender.IsSecure());
    for (int fd : fillers)
        close(fd);
    close(listener);
}

TEST(HttpSender, AnswerTimeoutRetriesOverTheOtherProtocolCancelDoesNot)
{
    LoopbackHttpServer server([](const RecordedRequest&) { return LoopbackHttpServer::Hang; });
    velkora::DEVICE_INFO device = Device(server.Port());
    device.requestTimeout = 300;
    CHttpSender sender(device);
    EXPECT_FALSE(sender.Send(HttpRequest("GET", "/")));
    // The error is the retry's: our listener drops the TLS handshake.
    EXPECT_EQ(uint32_t(Web::HttpErrorSecureFailure), sender.GetLastError());
    ASSERT_TRUE(server.WaitForRequests(2));
    EXPECT_TRUE(!server.Requests()[0].tls && server.Requests()[1].tls);
    EXPECT_FALSE(sender.IsSecure());

    device.requestTimeout = 60000;  // a time-out would read 12002, not 12017
    CHttpSender blocked(device);
    std::thread canceller([&] {
        if (server.WaitForRequests(3))
            blocked.Cancel();
    });
    EXPECT_FALSE(blocked.Send(HttpRequest("GET", "/")));
    canceller.join();
    EXPECT_EQ(uint32_t(Web::HttpErrorCancelled), blocked.GetLastError());
    EXPECT_EQ(3, server.Connections());
}

// Above the high-water mark the transfer pauses; it resumes once, when the reader has
// brought the buffer back down, and the bytes come out in order.
TEST(AnswerBuffer, PausesAboveTheHighWaterMarkAndResumesOnce)
{
    Web::AnswerBuffer buffer;
    const std::string block(Web::AnswerBuffer::kHighWater, 'a');
    EXPECT_TRUE(buffer.Append(block.data(), block.size()));
    EXPECT_TRUE(buffer.Append("bc", 2));
    EXPECT_FALSE(buffer.Append("d", 1));  // refused: comes again after the resume
    EXPECT_FALSE(buffer.TakeResume());
    std::vector<uint8_t> out;
    EXPECT_EQ(buffer.Take(out, 1), 1u);
    EXPECT_FALSE(buffer.TakeResume());  // still above the mark
    EXPECT_EQ(buffer.Take(out, 10), 10u);
    EXPECT_TRUE(buffer.TakeResume());
    EXPECT_FALSE(buffer.TakeResume());
    EXPECT_TRUE(buffer.Append("d", 1));
    EXPECT_EQ(buffer.Take(out, UINT32_MAX), Web::AnswerBuffer::kHighWater + 3 - 11);
    EXPECT_EQ(Text(out).substr(out.size() - 3), "bcd");
    EXPECT_EQ(buffer.Size(), 0u);
}
