#include "subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "plugin_library.h"

namespace ostrivel {

namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (::pipe2(fd, O_CLOEXEC) != 0) throw HostError(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    void closeEnd(int end) {
        if (fd[end] >= 0) ::close(fd[end]);
        fd[end] = -1;
    }
};

// Feeds the input and drains both outputs together, so neither side blocks on a full pipe.
void exchange(Pipe& in, Pipe& out, Pipe& err, const std::string& input, ProcessResult& result) {
    size_t written = 0;
    if (input.empty()) in.closeEnd(1);
    char buffer[4096];
    while (in.fd[1] >= 0 || out.fd[0] >= 0 || err.fd[0] >= 0) {
        pollfd fds[3] = {{in.fd[1], POLLOUT, 0}, {out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (in.fd[1] >= 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t n = ::write(in.fd[1], input.data() + written, input.size() - written);
            if (n > 0) written += static_cast<size_t>(n);
            if (n < 0 || written == input.size()) in.closeEnd(1);
        }
        for (int k = 1; k <= 2; ++k) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Pipe& pipe = k == 1 ? out : err;
            const ssize_t n = ::read(pipe.fd[0], buffer, sizeof buffer);
            if (n > 0) {
                (k == 1 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                pipe.closeEnd(0);
            }
        }
    }
}

}  // namespace

std::string ProcessResult::lastLine() const {
    for (const std::string* text : {&err, &out}) {
        std::istringstream lines(*text);
        std::string line, last;
        while (std::getline(lines, line)) {
            if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
        }
        if (!last.empty()) return last;
    }
    return "";
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input) {
    Pipe in, out, err;
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) throw HostError(std::string("cannot start ") + argv[0] + ": " + std::strerror(errno));
    if (child == 0) {
        ::dup2(in.fd[0], STDIN_FILENO);
        ::dup2(out.fd[1], STDOUT_FILENO);
        ::dup2(err.fd[1], STDERR_FILENO);
        ::execvp(args[0], args.data());
        const std::string reason = std::string("cannot run ") + argv[0] + ": " + std::strerror(errno) + "\n";
        (void)!::write(STDERR_FILENO, reason.data(), reason.size());
        ::_exit(127);
    }
    in.closeEnd(0);
    out.closeEnd(1);
    err.closeEnd(1);
    // A child that exits before reading its input must not kill us with SIGPIPE.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    ProcessResult result;
    exchange(in, out, err, input, result);
    ::sigaction(SIGPIPE, &previous, nullptr);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string findOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        struct stat info = {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "";
}

}  // namespace ostrivel
