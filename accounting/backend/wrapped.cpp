#include "wrapped.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace qmbackend {

volatile std::sig_atomic_t g_cancelled = 0;

namespace {

volatile pid_t g_child = 0;
struct sigaction g_termBefore{};

void OnTerm(int) {
    g_cancelled = 1;
    if (g_child > 0) ::kill(g_child, SIGTERM);
}

void WriteAll(int fd, std::string_view s) {
    while (!s.empty()) {
        const ssize_t n = ::write(fd, s.data(), s.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        s.remove_prefix(static_cast<size_t>(n));
    }
}

// Passes a line on, or keeps it from CUPS when it is a PAGE: line that the
// true count replaces.
void Relay(std::string_view line, bool dropPageLines) {
    if (dropPageLines && line.starts_with("PAGE:")) {
        WriteAll(2, "DEBUG: wrapped backend's ");
        WriteAll(2, line);
        return;
    }
    WriteAll(2, line);
}

[[noreturn]] void ExecChild(const WrappedRun& run, int errPipe, int execPipe) {
    ::sigaction(SIGTERM, &g_termBefore, nullptr);
    if (run.input >= 0 && run.input != 0) {
        ::dup2(run.input, 0);  // dup2 clears close-on-exec on the copy
    } else if (run.input == 0) {
        ::fcntl(0, F_SETFD, 0);
    }
    if (run.input >= 0) ::lseek(0, 0, SEEK_SET);  // a spool file is sent from its start
    ::dup2(errPipe, 2);
    ::setenv("DEVICE_URI", run.deviceUri.c_str(), 1);
    std::vector<char*> argv;
    for (const auto& a : run.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(run.program.c_str(), argv.data());
    const int e = errno;
    WriteAll(execPipe, std::string_view(reinterpret_cast<const char*>(&e), sizeof e));
    ::_exit(127);
}

}  // namespace

void InstallCancelHandler() {
    struct sigaction sa{};
    sa.sa_handler = OnTerm;
    ::sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, &g_termBefore);
}

WrappedResult RunWrapped(const WrappedRun& run) {
    WrappedResult result;
    int err[2], exec[2];
    if (::pipe2(err, O_CLOEXEC) != 0) {
        result.error = std::string("cannot run the wrapped backend: ") + std::strerror(errno);
        return result;
    }
    if (::pipe2(exec, O_CLOEXEC) != 0) {
        ::close(err[0]);
        ::close(err[1]);
        result.error = std::string("cannot run the wrapped backend: ") + std::strerror(errno);
        return result;
    }
    const pid_t pid = ::fork();
    if (pid == 0) ExecChild(run, err[1], exec[1]);
    ::close(err[1]);
    ::close(exec[1]);
    if (pid < 0) {
        ::close(err[0]);
        ::close(exec[0]);
        result.error = std::string("cannot run the wrapped backend: ") + std::strerror(errno);
        return result;
    }
    g_child = pid;
    if (g_cancelled) ::kill(pid, SIGTERM);

    std::string buf;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(err[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        buf.append(chunk, static_cast<size_t>(n));
        size_t start = 0;
        for (size_t nl; (nl = buf.find('\n', start)) != std::string::npos; start = nl + 1)
            Relay(std::string_view(buf).substr(start, nl + 1 - start), run.dropPageLines);
        buf.erase(0, start);
        if (buf.size() > 4096) {  // a line that never ends: pass it on in pieces
            Relay(buf, false);
            buf.clear();
        }
    }
    if (!buf.empty()) Relay(buf + '\n', run.dropPageLines);
    ::close(err[0]);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    g_child = 0;
    int execErrno = 0;
    const bool execFailed = ::read(exec[0], &execErrno, sizeof execErrno) == static_cast<ssize_t>(sizeof execErrno);
    ::close(exec[0]);
    if (execFailed) {
        result.error = "cannot run " + run.program + ": " + std::strerror(execErrno);
        return result;
    }
    result.ran = true;
    if (WIFSIGNALED(status)) {
        result.signalled = true;
        result.status = 1;
        result.error = "the wrapped backend stopped: " + std::string(::strsignal(WTERMSIG(status)));
    } else {
        result.status = WEXITSTATUS(status);
        if (result.status != 0)
            result.error = "the wrapped backend exited with status " + std::to_string(result.status);
    }
    return result;
}

}  // namespace qmbackend
