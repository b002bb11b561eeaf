#include "sim/PtzMotion.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

double Clamp(double v, double low, double high)
{
    return std::isfinite(v) ? std::clamp(v, low, high) : 0;
}

}  // namespace

bool PtzMotion::Axis::Moving() const
{
    if (target)
        return speed != 0 && position != *target;
    return (speed > 0 && position < high) || (speed < 0 && position > low);
}

void PtzMotion::Axis::Advance(double seconds)
{
    if (target) {
        const double step = std::fabs(speed) * seconds;
        if (std::fabs(*target - position) <= step) {
            position = *target;
            target.reset();
            speed = 0;
        } else {
            position += *target > position ? step : -step;
        }
        return;
    }
    position = Clamp(position + speed * seconds, low, high);
}

void PtzMotion::Axis::Halt()
{
    speed = 0;
    target.reset();
    deadline.reset();
}

PtzMotion::PtzMotion(unsigned heads, std::function<Clock::time_point()> now)
    : heads_(heads), now_(std::move(now)), state_(heads)
{
    for (auto& h : state_)
        h.updated = now_();
}

PtzMotion::Head* PtzMotion::Find(unsigned head) const
{
    if (head < 1 || head > heads_)
        return nullptr;
    Head& h = state_[head - 1];
    const Clock::time_point now = now_();
    for (Axis* a : {&h.pan, &h.tilt, &h.zoom}) {
        const Clock::time_point until = a->deadline ? std::min(now, *a->deadline) : now;
        if (until > h.updated)
            a->Advance(std::chrono::duration<double>(until - h.updated).count());
        if (a->deadline && now >= *a->deadline)
            a->Halt();
    }
    h.updated = std::max(h.updated, now);
    return &h;
}

bool PtzMotion::Move(unsigned head, std::optional<double> pan, std::optional<double> tilt, std::optional<double> zoom,
                     std::optional<Clock::duration> timeout)
{
    std::lock_guard lock(mutex_);
    Head* h = Find(head);
    if (!h)
        return false;
    auto set = [&](Axis& a, std::optional<double> speed) {
        if (!speed)
            return;
        a.Halt();
        a.speed = Clamp(*speed, -1, 1);
        if (timeout)
            a.deadline = h->updated + *timeout;
    };
    set(h->pan, pan);
    set(h->tilt, tilt);
    set(h->zoom, zoom);
    ++h->commands;
    return true;
}

bool PtzMotion::MoveTo(unsigned head, PtzVector target, PtzVector speed, bool withPanTilt, bool withZoom)
{
    std::lock_guard lock(mutex_);
    Head* h = Find(head);
    if (!h)
        return false;
    auto go = [](Axis& a, double to, double s) {
        a.Halt();
        a.target = Clamp(to, a.low, a.high);
        a.speed = Clamp(std::fabs(s), 0, 1);
        if (a.speed == 0)
            a.position = *a.target;  // no speed given: the head jumps
    };
    if (withPanTilt) {
        go(h->pan, target.pan, speed.pan);
        go(h->tilt, target.tilt, speed.tilt);
    }
    if (withZoom)
        go(h->zoom, target.zoom, speed.zoom);
    ++h->commands;
    return true;
}

bool PtzMotion::Halt(unsigned head, bool panTilt, bool zoom)
{
    std::lock_guard lock(mutex_);
    Head* h = Find(head);
    if (!h)
        return false;
    if (panTilt) {
        h->pan.Halt();
        h->tilt.Halt();
    }
    if (zoom)
        h->zoom.Halt();
    ++h->commands;
    return true;
}

std::optional<PtzHeadState> PtzMotion::State(unsigned head) const
{
    std::lock_guard lock(mutex_);
    const Head* h = Find(head);
    if (!h)
        return std::nullopt;
    PtzHeadState s;
    s.position = {h->pan.position, h->tilt.position, h->zoom.position};
    s.speed = {h->pan.speed, h->tilt.speed, h->zoom.speed};
    s.panTiltMoving = h->pan.Moving() || h->tilt.Moving();
    s.zoomMoving = h->zoom.Moving();
    s.commands = h->commands;
    return s;
}

std::optional<std::vector<PtzPreset>> PtzMotion::Presets(unsigned head) const
{
    std::lock_guard lock(mutex_);
    const Head* h = Find(head);
    if (!h)
        return std::nullopt;
    return h->presets;
}

std::optional<PtzPreset> PtzMotion::Preset(unsigned head, const std::string& token) const
{
    std::lock_guard lock(mutex_);
    const Head* h = Find(head);
    if (!h)
        return std::nullopt;
    for (const auto& p : h->presets)
        if (p.token == token)
            return p;
    return std::nullopt;
}

std::optional<std::string> PtzMotion::SetPreset(unsigned head, const std::string& token, const std::string& name,
                                                OnvifError& error)
{
    std::lock_guard lock(mutex_);
    Head* h = Find(head);
    if (!h) {
        error = {"Sender", "ter:InvalidArgVal", "ter:NoProfile", "The profile has no PTZ head"};
        return std::nullopt;
    }
    const PtzVector here{h->pan.position, h->tilt.position, h->zoom.position};
    auto named = [&](const std::string& n) {
        return std::find_if(h->presets.begin(), h->presets.end(), [&](const auto& p) { return p.name == n; });
    };
    if (name.size() > 64) {
        error = {"Sender", "ter:InvalidArgVal", "ter:InvalidPresetName",
                 "The preset name is longer than 64 characters"};
        return std::nullopt;
    }
    if (!token.empty()) {
        auto it = std::find_if(h->presets.begin(), h->presets.end(), [&](const auto& p) { return p.token == token; });
        if (it == h->presets.end()) {
            error = {"Sender", "ter:InvalidArgVal", "ter:NoToken", "No preset has this token"};
            return std::nullopt;
        }
        if (!name.empty()) {
            if (auto same = named(name); same != h->presets.end() && same != it) {
                error = {"Sender", "ter:InvalidArgVal", "ter:PresetExist", "Another preset has this name"};
                return std::nullopt;
            }
            it->name = name;
        }
        it->position = here;
        return token;
    }
    if (h->presets.size() >= kMaxPresets) {
        error = {"Receiver", "ter:Action", "ter:TooManyPresets", "The maximum number of presets has been reached"};
        return std::nullopt;
    }
    if (!name.empty() && named(name) != h->presets.end()) {
        error = {"Sender", "ter:InvalidArgVal", "ter:PresetExist", "Another preset has this name"};
        return std::nullopt;
    }
    std::string t;
    do
        t = "Preset_" + std::to_string(h->nextPreset++);
    while (std::any_of(h->presets.begin(), h->presets.end(), [&](const auto& p) { return p.token == t; }));
    h->presets.push_back({t, name.empty() ? t : name, here});
    return t;
}

bool PtzMotion::RemovePreset(unsigned head, const std::string& token, OnvifError& error)
{
    std::lock_guard lock(mutex_);
    Head* h = Find(head);
    auto it = h ? std::find_if(h->presets.begin(), h->presets.end(), [&](const auto& p) { return p.token == token; })
                : std::vector<PtzPreset>::iterator{};
    if (!h || it == h->presets.end()) {
        error = {"Sender", "ter:InvalidArgVal", "ter:NoToken", "No preset has this token"};
        return false;
    }
    h->presets.erase(it);
    return true;
}

}  // namespace sim
