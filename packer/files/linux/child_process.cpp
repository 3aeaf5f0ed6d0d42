// Child processes on Linux. Only the Linux build's code belongs here.
#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include "descriptor.h"
#include "pack_error.h"

extern char **environ;

namespace velmor {

// A pipe takes this much in one write without waiting for its reader.
static_assert(kMaxProgramInput <= PIPE_BUF);

std::optional<ProgramRun> RunProgram(const std::vector<std::string> &arguments, const std::string &input)
{
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        throw PackError(std::string("cannot start ") + arguments[0] + ": " + std::strerror(errno));
    Descriptor inRead(in[0]), inWrite(in[1]);
    if (pipe2(out, O_CLOEXEC) != 0)
        throw PackError(std::string("cannot start ") + arguments[0] + ": " + std::strerror(errno));
    Descriptor outRead(out[0]), outWrite(out[1]);
    // The input, at most PIPE_BUF bytes, goes into the empty pipe in one write that
    // never waits (a longer one would wait forever for the reader, not yet started),
    // and the program sees the end of its input behind it.
    if (input.size() > kMaxProgramInput || fcntl(inWrite.get(), F_SETFL, O_NONBLOCK) != 0 ||
        write(inWrite.get(), input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        throw PackError(std::string("cannot pass the password to ") + arguments[0] + ": " + std::strerror(errno));
    inWrite.Close();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inRead.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), 2);
    std::vector<char *> argv;
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error == ENOENT)
        return std::nullopt;
    if (error != 0)
        throw PackError("cannot start " + arguments[0] + ": " + std::strerror(error));
    outWrite.Close();

    ProgramRun run;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(outRead.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        run.output.append(buffer, static_cast<size_t>(n));
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace velmor
