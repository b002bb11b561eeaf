// Runs fuzz targets (built into a test under other names) over their committed corpora,
// so the seeds and every input a fuzzer once crashed on stay fixed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using FuzzTarget = int (*)(const uint8_t*, size_t);

inline void ReplayFuzzCorpora(std::initializer_list<std::pair<const char*, FuzzTarget>> targets)
{
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
