#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/os/processes.h"

extern char** environ;

namespace base {

Status runCopiesOfSelf(const std::vector<std::vector<std::string>>& arguments,
                       const std::function<void()>& tick) {
    std::vector<pid_t> running;
    std::string failure;
    for (const std::vector<std::string>& list : arguments) {
        std::vector<std::string> copy = {"/proc/self/exe"};
        copy.insert(copy.end(), list.begin(), list.end());
        std::vector<char*> argv;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (const int error = posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ)) {
            failure = std::string("a worker could not be started: ") + std::strerror(error);
            break;
        }
        running.push_back(pid);
    }
    std::size_t left = running.size();
    while (left) {
        for (pid_t& pid : running) {
            int status = 0;
            if (pid && waitpid(pid, &status, WNOHANG) == pid) {
                pid = 0;
                --left;
                if ((!WIFEXITED(status) || WEXITSTATUS(status) != 0) && failure.empty())
                    failure = "a worker did not make all of its samples";
            }
        }
        tick();
        if (left) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (!failure.empty()) return Failure{failure};
    return Done{};
}

bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

}  // namespace base
