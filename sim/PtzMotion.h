#pragma once

#include "sim/DeviceModel.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// A position or a speed in the generic spaces: pan and tilt -1..1, zoom 0..1 (a
// zoom speed -1..1).
struct PtzVector {
    double pan = 0, tilt = 0, zoom = 0;
};

struct PtzPreset {
    std::string token, name;
    PtzVector position;
};

// One head as both control paths see it.
struct PtzHeadState {
    PtzVector position;
    PtzVector speed;  // commanded, signed; kept while a continuous move runs into a limit
    bool panTiltMoving = false, zoomMoving = false;
    unsigned commands = 0;  // accepted moves and stops
};

// The simulated heads, one per video source (1 = first), shared by the vendor CGI and
// the ONVIF PTZ service. A head moves at its commanded speed, full speed crossing one
// unit a second, and halts at its limits; positions are worked out when read.
class PtzMotion
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kMaxPresets = 32;

    explicit PtzMotion(unsigned heads, std::function<Clock::time_point()> now = Clock::now);

    unsigned Heads() const { return heads_; }
    // Continuous motion per axis (-1..1; an axis left out keeps its motion), for `timeout` when given.
    bool Move(unsigned head, std::optional<double> pan, std::optional<double> tilt, std::optional<double> zoom,
              std::optional<Clock::duration> timeout = std::nullopt);
    // Towards `target` at `speed` (magnitudes, 0 to 1, per axis); the zoom axis only when `withZoom`.
    bool MoveTo(unsigned head, PtzVector target, PtzVector speed, bool withPanTilt = true, bool withZoom = true);
    bool Halt(unsigned head, bool panTilt, bool zoom);
    std::optional<PtzHeadState> State(unsigned head) const;

    std::optional<std::vector<PtzPreset>> Presets(unsigned head) const;
    // Stores the current position under `token` (a new one when empty); the token, or nullopt with `error`.
    std::optional<std::string> SetPreset(unsigned head, const std::string& token, const std::string& name,
                                         OnvifError& error);
    bool RemovePreset(unsigned head, const std::string& token, OnvifError& error);
    std::optional<PtzPreset> Preset(unsigned head, const std::string& token) const;

private:
    struct Axis {
        double position = 0, speed = 0, low = -1, high = 1;
        std::optional<double> target;
        std::optional<Clock::time_point> deadline;  // of a continuous move with a timeout
        bool Moving() const;
        void Advance(double seconds);
        void Halt();
    };
    struct Head {
        Axis pan, tilt, zoom{0, 0, 0, 1, {}, {}};
        Clock::time_point updated;
        unsigned commands = 0;
        std::vector<PtzPreset> presets;
        unsigned nextPreset = 1;
    };
    Head* Find(unsigned head) const;  // brought up to now; null for an unknown head

    unsigned heads_;
    std::function<Clock::time_point()> now_;
    mutable std::mutex mutex_;
    mutable std::vector<Head> state_;
};

}  // namespace sim
