#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Response;
}  // namespace httplib

namespace sim {

class StopSignal;

// Answers with `body` sent one byte every `ms` milliseconds (headers at once), until
// the simulator stops.
void SetTrickledContent(httplib::Response& response, std::string body, const char* type, unsigned ms,
                        const StopSignal& stop);

// One cpp-httplib server on its own thread, bound before Start returns.
class HttpListener
{
public:
    HttpListener();
    ~HttpListener();
    HttpListener(const HttpListener&) = delete;
    HttpListener& operator=(const HttpListener&) = delete;

    httplib::Server& Server() { return *server_; }
    // Binds (port 0: a free one) and serves on a thread; false with `error` when binding fails.
    bool Start(const std::string& address, std::uint16_t port, std::string* error);
    std::uint16_t Port() const { return port_; }
    void Stop();

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::uint16_t port_ = 0;
};

}  // namespace sim
