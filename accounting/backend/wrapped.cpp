#include "wrapped.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "../fdio.h"
#include "job.h"

namespace qmbackend {

using qmacct::WriteAll;

volatile std::sig_atomic_t g_cancelled = 0;

namespace {

volatile pid_t g_child = 0;
struct sigaction g_termBefore{};
constexpr size_t kMaxHeldPageLines = 10000;

void OnTerm(int) {
    g_cancelled = 1;
    if (g_child > 0) ::kill(g_child, SIGTERM);
}

std::string Failure(const std::string& what) { return what + ": " + std::strerror(errno); }

[[noreturn]] void ExecChild(const WrappedRun& run, int in, int errPipe, int execPipe) {
    ::sigaction(SIGTERM, &g_termBefore, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    if (in >= 0) {
        ::dup2(in, 0);  // dup2 clears close-on-exec on the copy
        ::lseek(0, 0, SEEK_SET);  // a spool file is sent from its start
    }
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
    // A wrapped backend that stops reading must not kill us with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
}

Wrapped::~Wrapped() {
    if (feed_ >= 0) ::close(feed_);
    if (pid_ > 0) Finish();
}

bool Wrapped::Start(const WrappedRun& run) {
    int err[2] = {-1, -1}, exec[2] = {-1, -1}, feed[2] = {-1, -1};
    const bool piped = ::pipe2(err, O_CLOEXEC) == 0 && ::pipe2(exec, O_CLOEXEC) == 0 &&
                       (run.input != kFeed || ::pipe2(feed, O_CLOEXEC) == 0);
    const pid_t pid = piped ? ::fork() : -1;
    if (pid == 0) ExecChild(run, run.input == kFeed ? feed[0] : run.input, err[1], exec[1]);
    const std::string why = Failure("cannot run the wrapped backend");
    for (const int fd : {err[1], exec[1], feed[0]})
        if (fd >= 0) ::close(fd);
    if (pid < 0) {
        for (const int fd : {err[0], exec[0], feed[1]})
            if (fd >= 0) ::close(fd);
        result_.error = why;
        return false;
    }
    pid_ = pid;
    g_child = pid;
    err_ = err[0];
    feed_ = feed[1];
    if (g_cancelled) ::kill(pid, SIGTERM);
    // The exec pipe closes when the program runs, or brings its errno.
    int execErrno = 0;
    ssize_t n;
    while ((n = ::read(exec[0], &execErrno, sizeof execErrno)) < 0 && errno == EINTR) {
    }
    ::close(exec[0]);
    if (n == static_cast<ssize_t>(sizeof execErrno)) {
        result_.error = "cannot run " + run.program + ": " + std::strerror(execErrno);
        Finish();
        result_.ran = false;
        return false;
    }
    result_.ran = true;
    return true;
}

void Wrapped::Feed(Spool& spool) {
    static char buf[1 << 16];
    size_t have = 0, sent = 0;
    bool inputOpen = true;
    ::fcntl(feed_, F_SETFL, ::fcntl(feed_, F_GETFL) | O_NONBLOCK);
    while ((inputOpen || sent < have) && !g_cancelled) {
        pollfd fds[3] = {{-1, POLLIN, 0}, {-1, POLLOUT, 0}, {err_, POLLIN, 0}};
        if (sent < have && feed_ >= 0) fds[1].fd = feed_;
        else if (inputOpen) fds[0].fd = 0;
        if (fds[0].fd < 0 && fds[1].fd < 0) {  // nothing left to send it: spool the rest alone
            sent = have = 0;
            continue;
        }
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[2].revents != 0) Relay(false);
        if (fds[0].revents != 0) {
            const ssize_t got = ::read(0, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                if (got < 0) spool.error = Failure("reading the job");
                inputOpen = false;
                continue;
            }
            have = static_cast<size_t>(got);
            sent = 0;
            if (spool.error.empty()) {
                if (spool.fd >= 0 && WriteAll(spool.fd, std::string_view(buf, have))) spool.size += have;
                else spool.error = Failure("cannot spool the job");
            }
        }
        if (fds[1].revents != 0) {
            const ssize_t put = ::write(feed_, buf + sent, have - sent);
            if (put > 0) sent += static_cast<size_t>(put);
            else if (put < 0 && errno != EINTR && errno != EAGAIN) {
                ::close(feed_);  // it stopped reading (it failed, or was cancelled)
                feed_ = -1;
            }
        }
    }
    if (feed_ >= 0) ::close(feed_);
    feed_ = -1;
    spool.spooledAll = spool.error.empty() && !inputOpen;
    if (spool.fd >= 0) ::lseek(spool.fd, 0, SEEK_SET);
}

void Wrapped::RelayLine(std::string_view line) {
    if (line.starts_with("PAGE:")) {
        if (pageLines_.size() < kMaxHeldPageLines) pageLines_.emplace_back(line);
        WriteAll(2, "DEBUG: wrapped backend's ");
    }
    WriteAll(2, line);
}

void Wrapped::Relay(bool untilEnd) {
    char chunk[8192];
    for (;;) {
        if (!untilEnd) {
            pollfd p{err_, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0) return;
        }
        const ssize_t n = ::read(err_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        partial_.append(chunk, static_cast<size_t>(n));
        size_t start = 0;
        for (size_t nl; (nl = partial_.find('\n', start)) != std::string::npos; start = nl + 1)
            RelayLine(std::string_view(partial_).substr(start, nl + 1 - start));
        partial_.erase(0, start);
        if (partial_.size() > 4096) {  // a line that never ends: passed on in pieces
            WriteAll(2, partial_);
            partial_.clear();
        }
        if (!untilEnd) return;
    }
    if (!partial_.empty()) RelayLine(partial_ + '\n');
    partial_.clear();
    ::close(err_);
    err_ = -1;
}

const WrappedResult& Wrapped::Finish() {
    if (pid_ <= 0) return result_;
    if (feed_ >= 0) {
        ::close(feed_);
        feed_ = -1;
    }
    if (err_ >= 0) Relay(true);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    g_child = 0;
    if (!result_.ran) return result_;
    if (WIFSIGNALED(status)) {
        result_.status = 1;
        result_.error = "the wrapped backend stopped: " + std::string(::strsignal(WTERMSIG(status)));
    } else {
        result_.status = WEXITSTATUS(status);
        if (result_.status != 0)
            result_.error = "the wrapped backend exited with status " + std::to_string(result_.status);
    }
    return result_;
}

void Wrapped::ReleasePageLines() {
    for (const auto& line : pageLines_) WriteAll(2, line);
    pageLines_.clear();
}

}  // namespace qmbackend
