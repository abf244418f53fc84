#include "job.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "../fdio.h"

namespace qmbackend {

namespace {

bool WriteAll(int fd, const char* data, size_t size) { return qmacct::WriteAll(fd, std::string_view(data, size)); }

ssize_t ReadSome(int fd, char* buf, size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, buf, size);
        if (n >= 0 || errno != EINTR) return n;
    }
}

int64_t NowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

// Reads exactly `size` bytes before `deadline`; false on end, error or time out.
bool ReadExactly(int fd, char* buf, size_t size, int64_t deadline) {
    while (size > 0) {
        const int64_t left = deadline - NowMs();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left > 60000 ? 60000 : left));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) continue;
        const ssize_t n = ReadSome(fd, buf, size);
        if (n <= 0) return false;
        buf += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string Describe(int status) {
    if (WIFSIGNALED(status)) return std::string("the count stopped: ") + ::strsignal(WTERMSIG(status));
    return "the count stopped with status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

Spool::~Spool() {
    if (fd >= 0) ::close(fd);
    if (!path.empty()) ::unlink(path.c_str());
}

bool OpenSpool(const std::string& dir, Spool& spool) {
    std::string templ = dir + "/quirometer-XXXXXX";
    spool.fd = ::mkostemp(templ.data(), O_CLOEXEC);
    if (spool.fd < 0) {
        spool.error = "cannot spool the job in " + dir + ": " + std::strerror(errno);
        return false;
    }
    spool.path = templ;
    return true;
}

void SpoolStandardInput(const std::string& dir, Spool& spool) {
    if (!OpenSpool(dir, spool)) return;
    static char buf[1 << 17];
    for (;;) {
        const ssize_t n = ReadSome(0, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            // Standard input itself failed: what was read is all there is.
            spool.error = std::string("reading the job: ") + std::strerror(errno);
            break;
        }
        if (!WriteAll(spool.fd, buf, static_cast<size_t>(n))) {
            spool.error = "cannot spool the job in " + dir + ": " + std::strerror(errno);
            spool.pending.assign(buf, static_cast<size_t>(n));
            ::lseek(spool.fd, 0, SEEK_SET);
            return;
        }
        spool.size += static_cast<uint64_t>(n);
    }
    spool.spooledAll = true;
    ::lseek(spool.fd, 0, SEEK_SET);
}

int SendableInput(Spool& spool) {
    if (spool.spooledAll || spool.fd < 0) return spool.fd;
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(p[0]);
        ::close(p[1]);
        return -1;
    }
    if (pid == 0) {
        ::close(p[0]);
        ::signal(SIGPIPE, SIG_DFL);
        static char buf[1 << 16];
        uint64_t left = spool.size;
        while (left > 0) {
            const ssize_t n = ReadSome(spool.fd, buf, left < sizeof buf ? left : sizeof buf);
            if (n <= 0 || !WriteAll(p[1], buf, static_cast<size_t>(n))) ::_exit(1);
            left -= static_cast<uint64_t>(n);
        }
        if (!WriteAll(p[1], spool.pending.data(), spool.pending.size())) ::_exit(1);
        for (ssize_t n; (n = ReadSome(0, buf, sizeof buf)) > 0;)
            if (!WriteAll(p[1], buf, static_cast<size_t>(n))) ::_exit(1);
        ::_exit(0);
    }
    ::close(p[1]);
    return p[0];
}

CountOutcome CountJob(const std::string& path, int timeoutSeconds) {
    CountOutcome out;
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) {
        out.error = std::string("cannot count: ") + std::strerror(errno);
        return out;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(p[0]);
        ::close(p[1]);
        out.error = std::string("cannot count: ") + std::strerror(errno);
        return out;
    }
    if (pid == 0) {
        ::close(p[0]);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, 1);
        QuirometerJob job{};
        job.size = sizeof job;
        const int32_t code = QuirometerCountPages(path.c_str(), nullptr, &job, nullptr, nullptr);
        char msg[sizeof code + sizeof job];
        std::memcpy(msg, &code, sizeof code);
        std::memcpy(msg + sizeof code, &job, sizeof job);
        ::_exit(WriteAll(p[1], msg, sizeof msg) ? 0 : 1);
    }
    ::close(p[1]);
    char msg[sizeof out.code + sizeof out.job];
    const bool got = ReadExactly(p[0], msg, sizeof msg, NowMs() + int64_t{timeoutSeconds} * 1000);
    ::close(p[0]);
    if (got) {
        out.child = pid;
    } else {
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        out.error = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL
                        ? "the count took longer than " + std::to_string(timeoutSeconds) + " seconds"
                        : Describe(status);
        return out;
    }
    std::memcpy(&out.code, msg, sizeof out.code);
    std::memcpy(&out.job, msg + sizeof out.code, sizeof out.job);
    if (out.code != QM_OK) out.error = QuirometerErrorText(out.code);
    return out;
}

void ReapCount(CountOutcome& count) {
    if (count.child <= 0) return;
    while (::waitpid(count.child, nullptr, 0) < 0 && errno == EINTR) {
    }
    count.child = -1;
}

}  // namespace qmbackend
