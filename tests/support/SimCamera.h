#pragma once
// The simulated camera as the tests run it: on free loopback ports.

#include "sim/Simulator.h"

inline sim::SimulatorOptions FreePortOptions(unsigned channels = 1)
{
    sim::SimulatorOptions options;
    options.httpPort = options.rtspPort = options.ptzPort = 0;
    options.channels = channels;
    return options;
}
