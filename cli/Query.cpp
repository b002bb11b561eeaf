#include "Query.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "DeviceOptions.h"
#include "Interrupt.h"
#include "Library.h"
#include "host/QuerySink.h"

namespace hqcli {

using nlohmann::json;

QueryResult RunQuery(Library& library, const QueryRequest& request, Interrupt* interrupt,
                     std::chrono::milliseconds limit)
{
    QueryResult result;
    // Shared with the query thread, which may outlive this call when the
    // library gives up waiting for it.
    auto sink = std::make_shared<host::QuerySink>();
    result.store = std::make_shared<host::CapabilityStore>();
    if (library.InitCapabilityQuery(sink.get(), request.ntsc) == 0) {
        result.error = "a capability query is already running";
        return result;
    }
    if (library.StartCapabilityQuery(request.address.c_str(), request.ptzPort, request.user.c_str(),
                                     request.password.c_str(), result.store.get()) == 0) {
        library.UninitCapabilityQuery();
        result.error = "the capability query did not start";
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool ended = false;
    while (!(ended = sink->WaitForEnd(std::chrono::milliseconds(200)))) {
        if (std::chrono::steady_clock::now() >= deadline || (interrupt != nullptr && interrupt->Raised()))
            break;
    }
    if (!ended) {
        library.TerminateCapabilityQuery();
        sink->WaitForEnd(std::chrono::seconds(20));
    }
    library.UninitCapabilityQuery();
    const host::QueryOutcome outcome = sink->Outcome();
    if (outcome.killed > 0) {
        // The abandoned thread may still write into both: keep them for good.
        static std::vector<std::shared_ptr<void>> abandoned;
        abandoned.push_back(sink);
        abandoned.push_back(result.store);
    }
    if (outcome.completed > 0) {
        result.completed = true;
    } else if (outcome.failed > 0) {
        result.kind = outcome.failureKind;
        result.error = outcome.failureText;
    } else {
        result.error = "the capability query did not end";
    }
    return result;
}

host::DeviceRecord DeviceRecordOf(const host::CapabilityStore& store, uint16_t ptzPort)
{
    host::DeviceRecord record = store.ToDeviceRecord(ptzPort);
    // Key 0: streams per source in the high half, video sources in the low.
    if (auto key = store.values.find(0); key != store.values.end() && (key->second & 0xFFFF) != 0)
        record.channelCount = key->second & 0xFFFF;
    return record;
}

double FramesPerSecond(uint32_t frameValue)
{
    if ((frameValue & 0x70000000u) == 0x70000000u)
        return frameValue & 0x0FFFFFFFu;
    return frameValue == 0 ? 0.0 : 1000.0 / frameValue;
}

json QueryToJson(const host::CapabilityStore& store)
{
    json out;
    out["name"] = store.name;
    out["address"] = store.connection[0];
    out["port"] = store.connection[1];
    json parameters = json::object();
    for (const auto& [number, property] : store.properties)
        parameters[std::to_string(number)] = property.value;
    out["parameters"] = parameters;
    json names = json::object();
    for (const auto& [number, property] : store.properties)
        names[std::to_string(number)] = property.name;
    out["parameter_names"] = names;
    json values = json::object();
    for (const auto& [key, value] : store.values)
        values[std::to_string(key)] = value;
    out["values"] = values;
    json resolutions = json::array();
    for (const auto& entry : store.resolutions)
        resolutions.push_back({{"text", entry.text},
                               {"width", entry.width},
                               {"height", entry.height},
                               {"frame_value", entry.frameValue}});
    out["resolutions"] = resolutions;
    out["framerates"] = {{"values", store.frameValues}, {"default", store.defaultFrameValue}};
    return out;
}

namespace {

std::string Format(const char* format, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string RateText(uint32_t frameValue)
{
    const double fps = FramesPerSecond(frameValue);
    if ((frameValue & 0x70000000u) != 0x70000000u && frameValue != 0) {
        // An interval rounded to whole ms: name the whole rate it came from.
        for (long rate = std::lround(fps) - 1; rate <= std::lround(fps) + 1; ++rate)
            if (rate > 0 && std::lround(1000.0 / rate) == frameValue)
                return std::to_string(rate);
    }
    return Format(std::fabs(fps - std::round(fps)) < 0.05 ? "%.0f" : "%.1f", fps);
}

// Codecs of the main stream, from keys 8 (H.264), 6 (MPEG-4) and 7 (JPEG).
std::string MainCodecs(const host::CapabilityStore& store)
{
    std::string text;
    for (auto [key, name] : {std::pair{8u, "h264"}, std::pair{6u, "mpeg"}, std::pair{7u, "jpeg"}}) {
        auto value = store.values.find(key);
        if (value != store.values.end() && value->second != 0)
            text += (text.empty() ? "" : ",") + std::string(name);
    }
    return text.empty() ? "(none)" : text;
}

std::string Property(const host::CapabilityStore& store, int32_t number)
{
    auto property = store.properties.find(number);
    return property == store.properties.end() ? std::string() : property->second.value;
}

}  // namespace

std::string QueryToText(const host::CapabilityStore& store)
{
    std::string out;
    auto line = [&](const std::string& label, const std::string& value) {
        char head[24];
        std::snprintf(head, sizeof head, "%-13s", label.c_str());
        out += head + value + "\n";
    };
    line("Device", store.name);
    line("Address", store.connection[0] + ":" + store.connection[1]);
    if (auto key = store.values.find(0); key != store.values.end())
        line("Channels", std::to_string(key->second & 0xFFFF) + " video source(s), " +
                             std::to_string(key->second >> 16) + " stream(s) each");
    line("Main stream", MainCodecs(store));
    std::string resolutions;
    for (const auto& entry : store.resolutions)
        resolutions += (resolutions.empty() ? "" : ", ") + entry.text + " up to " + RateText(entry.frameValue) + " fps";
    line("  sizes", resolutions.empty() ? "(none)" : resolutions);
    std::string rates;
    for (uint32_t value : store.frameValues)
        rates += (rates.empty() ? "" : " ") + RateText(value);
    if (!rates.empty() && store.defaultFrameValue != 0)
        rates += " (default " + RateText(store.defaultFrameValue) + ")";
    line("  fps", rates.empty() ? "(none)" : rates);
    for (auto [first, label] : {std::pair{120, "Live stream"}, std::pair{124, "Remote stream"}}) {
        if (store.properties.count(first) == 0)
            continue;
        line(label, Property(store, first));
        line("  sizes", Property(store, first + 1));
        line("  fps", Property(store, first + 2));
    }
    auto ptz = store.values.find(1);
    line("PTZ", ptz != store.values.end() && ptz->second != 0 ? "yes (" + Property(store, 3) + ")" : "no");
    out += "Device parameters\n";
    for (int32_t number = 1; number <= 10; ++number) {
        auto property = store.properties.find(number);
        char head[64];
        std::snprintf(head, sizeof head, "  %2d %-40s ", number,
                      property == store.properties.end() ? "(not written)" : property->second.name.c_str());
        out += head + (property == store.properties.end() ? std::string() : property->second.value) + "\n";
    }
    return out;
}

}  // namespace hqcli

namespace hqcli {

int QueryRequestOf(const DeviceOptions& options, QueryRequest& request, std::string* error)
{
    bool found = false;
    if (!ResolvePassword(options, request.password, found, error))
        return ExitUsage;
    request.address = options.address;
    request.ptzPort = options.ptzPort != 0 ? options.ptzPort : 8080;
    request.user = options.user.empty() ? "admin" : options.user;
    request.ntsc = options.ntsc;
    return 0;
}

int ResolveDevice(Library& library, const DeviceOptions& options, host::DeviceRecord& record, std::string* error,
                  Interrupt* interrupt)
{
    if (options.deviceFile.empty()) {
        QueryRequest request;
        if (int status = QueryRequestOf(options, request, error); status != 0)
            return status;
        QueryResult result = RunQuery(library, request, interrupt);
        if (!result.completed) {
            *error = "capability query failed (kind " + std::to_string(result.kind) + "): " + result.error;
            return ExitFailure;
        }
        record = DeviceRecordOf(*result.store, request.ptzPort);
        return 0;
    }
    if (!host::LoadDeviceFile(options.deviceFile, record)) {
        *error = "cannot read the device file " + options.deviceFile;
        return ExitFailure;
    }
    record.address = options.address;
    if (options.ptzPort != 0)
        record.port = options.ptzPort;
    if (!options.user.empty())
        record.user = options.user;
    std::string password;
    bool found = false;
    if (!ResolvePassword(options, password, found, error))
        return ExitUsage;
    if (found)
        record.password = password;
    return 0;
}

}  // namespace hqcli
