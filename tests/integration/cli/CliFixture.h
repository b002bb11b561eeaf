#pragma once
// The harnoquistel command run as a subprocess against a simulated camera
// started for each test, and the results it leaves.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/Simulator.h"
#include "support/Peers.h"
#include "support/Process.h"

namespace clitest {

using nlohmann::json;
namespace fs = std::filesystem;

inline constexpr char Password[] = "secret";

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class CliCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("hq-cli-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        std::ofstream(dir / "password") << Password << "\n";
        ASSERT_TRUE(StartCamera(Options()));
    }
    // A camera on free loopback ports, with our password.
    static sim::SimulatorOptions Options()
    {
        sim::SimulatorOptions options;
        options.httpPort = options.rtspPort = options.ptzPort = 0;
        options.password = Password;
        return options;
    }
    bool StartCamera(const sim::SimulatorOptions& options)
    {
        camera.reset();
        camera = std::make_unique<sim::Simulator>(options);
        std::string error;
        const bool started = camera->Start(&error);
        EXPECT_TRUE(started) << error;
        return started;
    }
    void TearDown() override
    {
        camera.reset();
        fs::remove_all(dir);
    }

    std::string Address() const { return "127.0.0.1:" + std::to_string(camera->Ports().http); }
    std::string PtzPort() const { return std::to_string(camera->Ports().ptz); }
    std::string PasswordFile() const { return (dir / "password").string(); }

    // Runs `harnoquistel args...` with extra environment entries "NAME=value".
    Outcome Run(std::vector<std::string> args, std::vector<std::string> env = {}) const
    {
        return Finish(Spawn(std::move(args), std::move(env)));
    }

    pid_t Spawn(std::vector<std::string> args, std::vector<std::string> env = {}) const
    {
        args.insert(args.begin(), HARNOQUISTEL_COMMAND);
        env.push_back(std::string("HARNOQUISTEL_LIBRARY=") + HARNOQUISTEL_LIBRARY_FILE);
        return SpawnProcess(std::move(args), std::move(env), "HARNOQUISTEL_", (dir / "stdout").string(),
                            (dir / "stderr").string());
    }

    Outcome Finish(pid_t pid) const
    {
        if (pid <= 0)
            return {};
        const int status = WaitForExit(pid);
        return {status, ReadFile(dir / "stdout"), ReadFile(dir / "stderr")};
    }

    Outcome Query(std::vector<std::string> extra) const
    {
        std::vector<std::string> args = {"query",   Address(),         "--ptz-port",
                                         PtzPort(), "--password-file", PasswordFile()};
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args);
    }

    std::vector<std::string> CgiRequests() const
    {
        std::vector<std::string> lines;
        for (const std::string& line : camera->RequestLog())
            if (line.rfind("cgi ", 0) == 0)
                lines.push_back(line.substr(4));
        return lines;
    }

    fs::path dir;
    std::unique_ptr<sim::Simulator> camera;
};

inline json ParseJson(const std::string& text)
{
    json parsed = json::parse(text, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << text;
    return parsed;
}

// ffprobe's JSON for `file` (`options`: what to show); null when it cannot read it.
inline json Probe(const fs::path& file, const std::string& options)
{
    std::string text;
    const int status = Shell("ffprobe -v error " + options + " -of json '" + file.string() + "'", &text);
    EXPECT_EQ(status, 0) << file << text;
    return status == 0 ? ParseJson(text) : json();
}

// `field` of every video packet or frame (`section`: "packet" or "frame"), as ffprobe reads it.
inline std::vector<double> ProbeTimes(const fs::path& file, const std::string& section, const std::string& field)
{
    const json probe = Probe(file, "-select_streams v:0 -show_entries " + section + "=" + field);
    std::vector<double> values;
    for (const json& entry : probe[section + "s"])
        if (entry.contains(field))
            values.push_back(std::stod(entry[field].get<std::string>()));
    return values;
}

// What ffmpeg says decoding all of `file`: empty for a file that plays without a word.
inline std::string DecodeErrors(const fs::path& file)
{
    std::string text;
    const int status = Shell("ffmpeg -nostdin -v error -i '" + file.string() + "' -f null - 2>&1", &text);
    return status == 0 ? text : text + " (exit " + std::to_string(status) + ")";
}

// Waits (bounded: 15 s) for a recorder to have written more than `bytes` to `file`.
inline bool WaitForFile(const fs::path& file, uintmax_t bytes = 0)
{
    for (int i = 0; i < 300; ++i) {
        std::error_code error;
        if (fs::file_size(file, error) > bytes && !error)
            return true;
        usleep(50'000);
    }
    return false;
}

}  // namespace clitest
