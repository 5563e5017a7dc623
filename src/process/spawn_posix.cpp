#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>

#include "process/spawn.h"
#include "process/spawn_posix.h"

extern char** environ;

std::string RunningExecutable() {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        return std::string();
    }
    path.resize(static_cast<std::size_t>(length));
    return path;
}

namespace {

// The copy keeps nothing of the launching copy: no terminal, no inherited descriptors (a
// caller that reads our output through a pipe must not wait for the copy), default signals.
class DetachedStart {
  public:
    DetachedStart() {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
        posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes_, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGXFSZ);
        posix_spawnattr_setsigdefault(&attributes_, &defaults);
        posix_spawnattr_setflags(
            &attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~DetachedStart() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    DetachedStart(const DetachedStart&) = delete;
    DetachedStart& operator=(const DetachedStart&) = delete;

    // 0 or the error number.
    int start(const std::string& program, bool searchPath, char* const* argv) {
        pid_t pid = -1;
        return searchPath
                   ? posix_spawnp(&pid, program.c_str(), &actions_, &attributes_, argv, environ)
                   : posix_spawn(&pid, program.c_str(), &actions_, &attributes_, argv, environ);
    }

  private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

}  // namespace

bool StartDetachedCopy(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        errno = EINVAL;
        return false;
    }
    std::string program = RunningExecutable();
    const bool searchPath = program.empty() && argv[0].find('/') == std::string::npos;
    if (program.empty()) {
        program = argv[0];
    }
    const int error = StartDetachedProgram(program, searchPath, argv);
    if (error != 0) {
        errno = error;
        return false;
    }
    return true;
}

int StartDetachedProgram(const std::string& program, bool searchPath,
                         std::vector<std::string> argv) {
    std::vector<char*> pointers;
    for (auto& text : argv) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    DetachedStart detached;
    return detached.start(program, searchPath, pointers.data());
}
