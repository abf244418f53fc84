// The worker pool on Windows, which has no fork: worker threads of this
// process. The accurate path holds each group's lock itself and the
// compatible count takes the same lock (counting.cpp), so the groups that
// must not overlap never do. Each thread takes the next task not yet taken,
// so a few large jobs do not leave the others idle, and stores its result in
// the task's own slot.
#if defined(_WIN32)
#include <windows.h>
#include <process.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "pool.h"

namespace qmcli {
namespace {

// The stack a worker reserves: what a POSIX worker process has, for the
// interpreters' deepest nesting.
constexpr unsigned kWorkerStack = 8u << 20;

struct Shared {
    std::atomic<size_t> next{0};
    size_t count = 0;
    const Task* task = nullptr;
    std::vector<std::string>* results = nullptr;
    std::unique_ptr<std::atomic<bool>[]> done;
};

unsigned __stdcall Worker(void* arg) {
    Shared& s = *static_cast<Shared*>(arg);
    for (size_t i = s.next.fetch_add(1); i < s.count; i = s.next.fetch_add(1)) {
        try {
            (*s.results)[i] = (*s.task)(i);
            s.done[i].store(true, std::memory_order_release);
        } catch (...) {
            // Left for the calling thread to run again.
        }
    }
    return 0;
}

}  // namespace

unsigned DefaultWorkers() {
    const DWORD n = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return n == 0 ? 1 : n;
}

std::vector<std::string> RunTasks(size_t count, unsigned workers, const Task& task) {
    std::vector<std::string> results(count);
    Shared s;
    s.count = count;
    s.task = &task;
    s.results = &results;
    s.done = std::make_unique<std::atomic<bool>[]>(count);
    const size_t n = std::min<size_t>(workers == 0 ? 1 : workers, count);
    if (n > 1) {
        std::vector<HANDLE> threads;
        for (size_t w = 0; w < n; ++w) {
            const uintptr_t h =
                ::_beginthreadex(nullptr, kWorkerStack, &Worker, &s, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
            if (h == 0) break;
            threads.push_back(reinterpret_cast<HANDLE>(h));
        }
        for (HANDLE h : threads) {
            ::WaitForSingleObject(h, INFINITE);
            ::CloseHandle(h);
        }
    }
    // Run here: everything with one worker, and whatever a worker could not
    // finish (none could start, or the task threw).
    for (size_t i = 0; i < count; ++i)
        if (!s.done[i].load(std::memory_order_acquire)) results[i] = task(i);
    return results;
}

}  // namespace qmcli
#endif
