#pragma once
// A program run from a test as a child process.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
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
