#include "FrameTimeline.h"

#include <algorithm>
#include <cmath>

namespace hqcli {

namespace {

constexpr size_t StepWindow = 25;
// Cameras keep their frame rate to well within this; the driver's times after a
// clock step do not (it works an hour's lead off by a tenth of every step).
constexpr double StepTolerance = 0.05;

}  // namespace

int64_t FrameTimeline::Place(int64_t frameMs, Clock::time_point arrival)
{
    if (!started) {
        started = true;
        lastFrameMs = frameMs;
        lastArrival = arrival;
        return 0;
    }
    const double arrivalStep = std::chrono::duration<double, std::milli>(arrival - lastArrival).count();
    const double frameStep =
        frameMs != 0 && lastFrameMs != 0 ? static_cast<double>(frameMs - lastFrameMs) : arrivalStep;
    lastFrameMs = frameMs;
    lastArrival = arrival;

    double step = frameStep;
    if (!steps.empty()) {
        // A camera that changes its rate or loses frames moves arrivals as much as
        // frame times; a clock step moves frame times alone. Late frames that arrive
        // in a burst keep their normal steps.
        const double normal = stepSum / static_cast<double>(steps.size());
        const bool offNormal = std::abs(frameStep - normal) > StepTolerance * normal;
        if (frameStep <= 0 || (offNormal && std::abs(arrivalStep - normal) < std::abs(arrivalStep - frameStep)))
            step = normal;
    } else if (frameStep <= 0) {
        step = std::max(arrivalStep, 1.0);
    }
    if (step == frameStep && frameStep > 0) {
        steps.push_back(frameStep);
        stepSum += frameStep;
        if (steps.size() > StepWindow) {
            stepSum -= steps.front();
            steps.pop_front();
        }
    }
    const int64_t before = std::llround(mediaMs);
    mediaMs += step;
    // Whole milliseconds for the files; never the same twice.
    if (std::llround(mediaMs) <= before)
        mediaMs = static_cast<double>(before + 1);
    return std::llround(mediaMs);
}

}  // namespace hqcli
