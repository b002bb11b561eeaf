#pragma once
// The harnoquistel command run as a subprocess against a simulated camera
// started for each test, and the results it leaves.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <signal.h>
#include <sys/wait.h>
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

extern char** environ;

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
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        env.push_back(std::string("HARNOQUISTEL_LIBRARY=") + HARNOQUISTEL_LIBRARY_FILE);
        for (char** entry = environ; *entry != nullptr; ++entry)
            if (std::string(*entry).rfind("HARNOQUISTEL_", 0) != 0)
                env.push_back(*entry);
        std::vector<char*> envp;
        for (std::string& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);

        const std::string outPath = (dir / "stdout").string(), errPath = (dir / "stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        return spawned == 0 ? pid : -1;
    }

    Outcome Finish(pid_t pid) const
    {
        Outcome outcome;
        if (pid <= 0)
            return outcome;
        const std::string outPath = (dir / "stdout").string(), errPath = (dir / "stderr").string();
        int status = 0;
        waitpid(pid, &status, 0);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        outcome.out = ReadFile(outPath);
        outcome.err = ReadFile(errPath);
        return outcome;
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

}  // namespace clitest
