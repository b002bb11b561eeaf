#pragma once
// The capability query through the exports, as a host runs it when an
// operator adds a device.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "host/CapabilityStore.h"
#include "host/DeviceSettings.h"

namespace hqcli {

class Interrupt;
class Library;

struct QueryRequest {
    std::string address;  // host[:port]
    uint16_t ptzPort = 8080;
    std::string user;
    std::string password;
    bool ntsc = false;
};

struct QueryResult {
    bool completed = false;
    uint32_t kind = 3;  // failure kind when not completed
    std::string error;
    std::shared_ptr<host::CapabilityStore> store;
};

// Runs one query to its end (or `limit`, after which it is terminated).
// An interrupt, when given, terminates it early.
QueryResult RunQuery(Library& library, const QueryRequest& request, Interrupt* interrupt = nullptr,
                     std::chrono::milliseconds limit = std::chrono::seconds(60));

// The device record capture opens with, channel count included.
host::DeviceRecord DeviceRecordOf(const host::CapabilityStore& store, uint16_t ptzPort);

// Frames per second of a frame value (an interval in ms, or 0x7000000N for N fps).
double FramesPerSecond(uint32_t frameValue);

nlohmann::json QueryToJson(const host::CapabilityStore& store);
// The human-readable summary: name, streams, PTZ, the ten device parameters.
std::string QueryToText(const host::CapabilityStore& store);

}  // namespace hqcli

namespace hqcli {

struct DeviceOptions;

// The device record `record` and `ptz` open: the --device file, with the
// address, port and credentials given on the command line taking precedence,
// or else a fresh query. Returns 0, or the exit status with `error`.
int ResolveDevice(Library& library, const DeviceOptions& options, host::DeviceRecord& record, std::string* error,
                  Interrupt* interrupt = nullptr);

// The query request of the command line; 0, or the exit status with `error`.
int QueryRequestOf(const DeviceOptions& options, QueryRequest& request, std::string* error);

}  // namespace hqcli
