#include "sim/PtzService.h"

#include "foundation/Base64.h"

#include <httplib.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace sim {

namespace {

// A signed decimal of at most four digits; nothing else.
bool ParseValue(const std::string& text, int& out)
{
    std::size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (text.size() == i || text.size() - i > 4 || text.find_first_not_of("0123456789", i) != std::string::npos)
        return false;
    out = std::atoi(text.c_str());
    return true;
}

std::string DecodeSpaces(const std::string& query)
{
    std::string out;
    for (std::size_t i = 0; i < query.size(); ++i) {
        if (query.compare(i, 3, "%20") == 0) {
            out += ' ';
            i += 2;
        } else {
            out += query[i] == '+' ? ' ' : query[i];
        }
    }
    return out;
}

}  // namespace

PtzService::PtzService(unsigned channels, std::string user, std::string password, FaultSet& faults, RequestLog& log,
                       const StopSignal& stop)
    : PtzService(std::make_unique<PtzMotion>(channels), std::move(user), std::move(password), faults, log, stop)
{
}

PtzService::PtzService(std::unique_ptr<PtzMotion> own, std::string user, std::string password, FaultSet& faults,
                       RequestLog& log, const StopSignal& stop)
    : PtzService(*own, std::move(user), std::move(password), faults, log, stop)
{
    ownHeads_ = std::move(own);
}

PtzService::PtzService(PtzMotion& heads, std::string user, std::string password, FaultSet& faults, RequestLog& log,
                       const StopSignal& stop)
    : heads_(heads), user_(std::move(user)), password_(std::move(password)), faults_(faults), log_(log), stop_(stop)
{
    http_.Server().Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        Answer a = Handle(req.target, req.get_header_value("Authorization"));
        res.status = a.status;
        if (a.status == 401)
            res.set_header("WWW-Authenticate", "Basic realm=\"harnoquistel\"");
        const std::string body = a.status == 200 ? "OK\r\n" : std::to_string(a.status) + "\r\n";
        if (a.closeMidway) {
            auto text = std::make_shared<std::string>(body);
            res.set_content_provider(text->size(), "text/plain",
                                     [text](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset == 0)
                                             sink.write(text->data(), text->size() / 2);
                                         return false;
                                     });
        } else if (a.trickleMs != 0) {
            SetTrickledContent(res, body, "text/plain", a.trickleMs, stop_);
        } else {
            res.set_content(body, "text/plain");
        }
    });
}

bool PtzService::Start(const std::string& address, std::uint16_t port, std::string* error)
{
    return http_.Start(address, port, error);
}

PtzService::Answer PtzService::Handle(const std::string& target, const std::string& authorization)
{
    log_.Add("cgi " + target);
    if (unsigned ms = faults_.SlowMs("ptz"))
        stop_.SleepFor(std::chrono::milliseconds(ms));
    Answer answer;
    answer.closeMidway = faults_.Take(Fault::Kind::CloseMidway, "ptz");
    answer.trickleMs = faults_.TrickleMs("ptz");

    const std::string expected = "Basic " + velkora::Base64Encode(user_ + ":" + password_);
    if (authorization != expected) {
        answer.status = 401;
        return answer;
    }
    const std::string prefix = "/cgi-bin/run?";
    if (target.compare(0, prefix.size(), prefix) != 0) {
        answer.status = 404;
        return answer;
    }
    std::istringstream words(DecodeSpaces(target.substr(prefix.size())));
    std::vector<std::string> parts;
    for (std::string w; words >> w;)
        parts.push_back(w);
    if (parts.empty() || parts[0] != "ptz.cgi") {
        answer.status = 404;
        return answer;
    }
    int value = 0;
    if (parts.size() != 3 || !ParseValue(parts[2], value)) {
        answer.status = 400;
        return answer;
    }
    const std::string& word = parts[1];
    std::lock_guard lock(mutex_);
    if (word == "address" && value >= 1 && static_cast<unsigned>(value) <= heads_.Heads()) {
        selected_ = static_cast<unsigned>(value);
        return answer;
    }
    if ((word == "pan" || word == "tilt" || word == "zoom") && value >= -100 && value <= 100) {
        const std::optional<double> speed = value / 100.0;
        heads_.Move(selected_, word == "pan" ? speed : std::nullopt, word == "tilt" ? speed : std::nullopt,
                    word == "zoom" ? speed : std::nullopt);
        return answer;
    }
    answer.status = 400;
    return answer;
}

PtzHead PtzService::Head(unsigned address) const
{
    const std::optional<PtzHeadState> s = heads_.State(address);
    if (!s)
        return {};
    auto percent = [](double speed) { return static_cast<int>(std::lround(speed * 100)); };
    return {percent(s->speed.pan), percent(s->speed.tilt), percent(s->speed.zoom), s->commands, s->position};
}

unsigned PtzService::SelectedAddress() const
{
    std::lock_guard lock(mutex_);
    return selected_;
}

}  // namespace sim
