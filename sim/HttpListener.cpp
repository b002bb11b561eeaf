#include "sim/HttpListener.h"

#include "sim/StopSignal.h"

#include <httplib.h>

#include <netinet/in.h>
#include <netinet/tcp.h>

namespace sim {

void SetTrickledContent(httplib::Response& response, std::string body, const char* type, unsigned ms,
                        const StopSignal& stop)
{
    auto text = std::make_shared<std::string>(std::move(body));
    response.set_content_provider(text->size(), type,
                                  [text, ms, &stop](size_t offset, size_t, httplib::DataSink& sink) {
                                      if (offset > 0 && !stop.SleepFor(std::chrono::milliseconds(ms)))
                                          return false;
                                      return sink.write(text->data() + offset, 1);
                                  });
}

HttpListener::HttpListener() : server_(std::make_unique<httplib::Server>())
{
    // Bounded reads so that Stop never waits long on an idle keep-alive client.
    server_->set_read_timeout(2, 0);
    server_->set_write_timeout(2, 0);
    server_->set_keep_alive_timeout(2);
    server_->set_payload_max_length(1 << 20);
    // Accepted sockets inherit TCP_NODELAY from the listener; without it every
    // answer (head and body written apart) waits out a delayed ACK. No SO_REUSEPORT
    // (httplib's default): a second simulator on a taken port must fail, not share it.
    server_->set_socket_options([](socket_t sock) {
        const int one = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    });
}

HttpListener::~HttpListener()
{
    Stop();
}

bool HttpListener::Start(const std::string& address, std::uint16_t port, std::string* error)
{
    int bound = -1;
    if (port == 0) {
        bound = server_->bind_to_any_port(address);
    } else if (server_->bind_to_port(address, port)) {
        bound = port;
    }
    if (bound <= 0) {
        if (error)
            *error = "cannot bind HTTP port " + std::to_string(port) + " on " + address;
        return false;
    }
    port_ = static_cast<std::uint16_t>(bound);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() is ignored until the server runs, so Start returns only once it does.
    for (int i = 0; i < 5000 && !server_->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void HttpListener::Stop()
{
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

}  // namespace sim
