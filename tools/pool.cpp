// Worker processes, not threads: each has its own copy of the counters'
// module-wide state, so the groups that must not overlap within a process
// never do, while counts of one language still run side by side. Each worker
// takes the next task not yet taken (a counter shared through an anonymous
// mapping), so a few large jobs do not leave the others idle, and sends its
// results back through a pipe in batches. (Windows has no fork: its form,
// with threads, is pool_win32.cpp.)
#if !defined(_WIN32)
#include "pool.h"

#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

namespace qmcli {
namespace {

// Each result travels as this header and then its bytes.
struct WireHeader {
    uint32_t index;
    uint32_t length;
};

constexpr size_t kBatchBytes = 16 * 1024;

bool WriteAll(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// The task counter shared by the workers, unmapped with the object.
class SharedCounter {
public:
    SharedCounter() {
        void* p = ::mmap(nullptr, sizeof(std::atomic<size_t>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) next_ = new (p) std::atomic<size_t>(0);
    }
    ~SharedCounter() {
        if (next_ != nullptr) ::munmap(next_, sizeof(std::atomic<size_t>));
    }
    SharedCounter(const SharedCounter&) = delete;
    SharedCounter& operator=(const SharedCounter&) = delete;
    std::atomic<size_t>* get() const { return next_; }

private:
    std::atomic<size_t>* next_ = nullptr;
};

[[noreturn]] void WorkerMain(int out, std::atomic<size_t>& next, size_t count, const Task& task) {
    std::string batch;
    for (size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
        const std::string result = task(i);
        const WireHeader h{static_cast<uint32_t>(i), static_cast<uint32_t>(result.size())};
        batch.append(reinterpret_cast<const char*>(&h), sizeof h);
        batch += result;
        if (batch.size() >= kBatchBytes) {
            if (!WriteAll(out, batch.data(), batch.size())) ::_exit(1);
            batch.clear();
        }
    }
    WriteAll(out, batch.data(), batch.size());
    std::fflush(nullptr);
    ::_exit(0);
}

// Takes the whole messages at the front of `in` into the results.
void TakeMessages(std::string& in, size_t count, std::vector<std::string>& results, std::vector<bool>& done) {
    size_t at = 0;
    WireHeader h;
    while (in.size() - at >= sizeof h) {
        std::memcpy(&h, in.data() + at, sizeof h);
        if (in.size() - at - sizeof h < h.length) break;
        if (h.index < count) {
            results[h.index].assign(in.data() + at + sizeof h, h.length);
            done[h.index] = true;
        }
        at += sizeof h + h.length;
    }
    in.erase(0, at);
}

void RunInWorkers(size_t count, size_t workers, const Task& task, std::vector<std::string>& results,
                  std::vector<bool>& done) {
    SharedCounter next;
    if (next.get() == nullptr) return;
    std::fflush(nullptr);
    std::vector<int> pipes;
    std::vector<pid_t> children;
    for (size_t w = 0; w < workers; ++w) {
        int fds[2];
        if (::pipe(fds) != 0) break;
        const pid_t pid = ::fork();
        if (pid < 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            break;
        }
        if (pid == 0) {
            ::close(fds[0]);
            for (int fd : pipes) ::close(fd);
            WorkerMain(fds[1], *next.get(), count, task);
        }
        ::close(fds[1]);
        pipes.push_back(fds[0]);
        children.push_back(pid);
    }
    // Read every worker as it writes, so none ever waits on a full pipe.
    std::vector<std::string> pending(pipes.size());
    std::vector<pollfd> polls;
    for (int fd : pipes) polls.push_back({fd, POLLIN, 0});
    size_t open = polls.size();
    std::vector<char> buf(1 << 16);
    while (open > 0) {
        if (::poll(polls.data(), polls.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (size_t k = 0; k < polls.size(); ++k) {
            if (polls[k].fd < 0 || polls[k].revents == 0) continue;
            const ssize_t n = ::read(polls[k].fd, buf.data(), buf.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ::close(polls[k].fd);
                polls[k].fd = -1;
                --open;
                continue;
            }
            pending[k].append(buf.data(), static_cast<size_t>(n));
            TakeMessages(pending[k], count, results, done);
        }
    }
    for (const pollfd& p : polls)
        if (p.fd >= 0) ::close(p.fd);
    for (pid_t pid : children) ::waitpid(pid, nullptr, 0);
}

}  // namespace

unsigned DefaultWorkers() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

std::vector<std::string> RunTasks(size_t count, unsigned workers, const Task& task) {
    std::vector<std::string> results(count);
    std::vector<bool> done(count, false);
    const size_t n = std::min<size_t>(workers == 0 ? 1 : workers, count);
    if (n > 1) RunInWorkers(count, n, task, results, done);
    // Run here: everything with one worker, and whatever a worker could not
    // report (it could not start, or it died).
    for (size_t i = 0; i < count; ++i)
        if (!done[i]) results[i] = task(i);
    return results;
}

}  // namespace qmcli
#endif
