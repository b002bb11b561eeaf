#pragma once
// A program run from a test as a child process.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

extern char** environ;

// Starts `args` (the program first) with this process's environment, less the entries that
// start with `drop`, plus `env`; standard output and error into the named files when given.
// The child's id, or -1.
inline pid_t SpawnProcess(std::vector<std::string> args, std::vector<std::string> env, const std::string& drop,
                          const std::string& outPath = "", const std::string& errPath = "")
{
    std::vector<char*> argv, envp;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::string(*entry).rfind(drop, 0) != 0)
            env.push_back(*entry);
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!outPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!errPath.empty())
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

// The child's exit status, or 128 + the signal that ended it.
inline int WaitForExit(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A peer program run for the length of a test, its standard input and output on pipes.
// Ends it, if the test did not, with SIGTERM.
class ChildProcess
{
public:
    explicit ChildProcess(std::vector<std::string> args)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~ChildProcess()
    {
        Stop(SIGTERM);
        close(output_);
    }
    // Its output up to the next line end, or what came within `timeoutMs`.
    std::string ReadLine(int timeoutMs = 10000)
    {
        std::string line;
        pollfd p{output_, POLLIN, 0};
        for (char c; poll(&p, 1, timeoutMs) > 0 && read(output_, &c, 1) == 1 && c != '\n';)
            line += c;
        return line;
    }
    // Closes its input and reads its output to the end.
    std::string Finish()
    {
        CloseInput();
        std::string rest;
        for (std::string line = ReadLine(); !line.empty(); line = ReadLine())
            rest += line + "\n";
        return rest;
    }
    // Ends it with `signal`; its exit status, or 128 + the signal that ended it.
    int Stop(int signal)
    {
        CloseInput();
        if (pid_ <= 0)
            return -1;
        kill(pid_, signal);
        return WaitForExit(std::exchange(pid_, -1));
    }

private:
    void CloseInput()
    {
        if (input_ >= 0)
            close(std::exchange(input_, -1));
    }
    pid_t pid_ = -1;
    int input_ = -1, output_ = -1;
};
