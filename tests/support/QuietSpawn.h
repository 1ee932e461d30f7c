#pragma once
// Starts a helper program (a server, a compositor, a tool) with its output
// on /dev/null, so that a child left running never holds the test's own
// output open; `variables` ("NAME=value") come before the test's own
// environment and so win over it.

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char **environ;

namespace testing_support {

// The child's process id; 0 when it could not be started.
inline pid_t SpawnQuietly(std::vector<std::string> arguments, const std::vector<std::string> &variables = {})
{
    std::vector<char *> argv;
    for (auto &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment(variables);
    for (char **entry = environ; *entry != nullptr; ++entry)
        environment.emplace_back(*entry);
    std::vector<char *> envp;
    for (auto &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    return spawned == 0 ? pid : 0;
}

} // namespace testing_support
