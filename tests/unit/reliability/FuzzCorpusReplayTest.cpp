// Runs the address and PTZ-text fuzz targets over their corpora: the seeds and every
// input a fuzzer once crashed on stay fixed.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int ReplayAddress(const uint8_t*, size_t);
extern "C" int ReplayPtzCapabilities(const uint8_t*, size_t);

TEST(FuzzCorpusReplay, AddressAndPtzTexts)
{
    const std::pair<const char*, int (*)(const uint8_t*, size_t)> targets[] = {
        {"fuzz_address", ReplayAddress},
        {"fuzz_ptz_capabilities", ReplayPtzCapabilities},
    };
    for (const auto& [name, target] : targets) {
        int inputs = 0;
        for (const auto& entry : std::filesystem::directory_iterator(std::string(HQ_FUZZ_CORPUS) + "/" + name)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            SCOPED_TRACE(entry.path().string());
            EXPECT_EQ(target(input.data(), input.size()), 0);  // the targets abort on a broken invariant
            ++inputs;
        }
        EXPECT_GT(inputs, 0) << name;
    }
}
