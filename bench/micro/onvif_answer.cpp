// ONVIF answer parse: what every setup exchange pays after the network (libxml2 + our readers).
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "onvif/COnvifClient.h"

namespace {

// The recorded answers are the ONVIF answer fuzzer's seeds, named <origin>_<operation>.
std::string Answer(const char* origin, const char* operation)
{
    const std::string path = std::string(HQ_FUZZ_CORPUS "/fuzz_onvif_answer/") + origin + "_" + operation;
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void BM_ReadProfiles(benchmark::State& state, const char* origin)
{
    const std::string answer = Answer(origin, "GetProfiles");
    velkora::COnvifClient client(velkora::DEVICE_INFO("127.0.0.1", 80, "admin", "admin"));
    std::vector<Onvif::MediaProfile> profiles;
    for (auto _ : state) {
        profiles.clear();
        if (!client.ReadProfiles(answer, profiles))
            state.SkipWithError("answer not read");
        benchmark::DoNotOptimize(profiles.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(answer.size()));
}

void BM_ReadEncoderOptions(benchmark::State& state, const char* origin, const char* token)
{
    const std::string answer = Answer(origin, "GetVideoEncoderConfigurationOptions");
    velkora::COnvifClient client(velkora::DEVICE_INFO("127.0.0.1", 80, "admin", "admin"));
    for (auto _ : state) {
        velkora::EncoderOptions options;
        if (!client.ReadEncoderOptions(answer, token, options))
            state.SkipWithError("answer not read");
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK_CAPTURE(BM_ReadProfiles, ours, "ours");
BENCHMARK_CAPTURE(BM_ReadProfiles, foreign, "foreign");
BENCHMARK_CAPTURE(BM_ReadEncoderOptions, ours, "ours", "VideoEncoderConfig_1_1");

BENCHMARK_MAIN();
