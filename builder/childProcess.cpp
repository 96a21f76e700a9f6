#include "childProcess.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace quillon::builder {

namespace {

[[noreturn]] void throwErrno(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

class Pipe {
  public:
    Pipe() {
        if (pipe2(fds_, O_CLOEXEC) != 0) throwErrno(errno, "pipe");
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeRead() { closeFd(fds_[0]); }
    void closeWrite() { closeFd(fds_[1]); }

  private:
    static void closeFd(int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    int fds_[2] = {-1, -1};
};

class SpawnActions {
  public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
};

} // namespace

ProcessResult runProcess(const std::vector<std::string>& arguments, const std::filesystem::path& workingDir) {
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    Pipe output;
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), output.writeEnd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), output.writeEnd(), STDERR_FILENO);
    if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(actions.get(), workingDir.c_str());

    pid_t pid = 0;
    if (int error = posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ))
        throwErrno(error, "cannot run " + arguments[0]);
    output.closeWrite();

    ProcessResult result;
    char buffer[4096];
    for (;;) {
        ssize_t got = read(output.readEnd(), buffer, sizeof buffer);
        if (got > 0) {
            result.output.append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throwErrno(errno, "waitpid");
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

} // namespace quillon::builder
