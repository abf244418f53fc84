#include "jobfile/scanguard.h"

#if !defined(_WIN32)
#include <setjmp.h>
#include <signal.h>

#include <atomic>
#include <mutex>

namespace qm {
namespace {

// One frame per guarded scan on this thread (scans do not nest, but the
// chain keeps it sound if they ever do).
struct GuardFrame {
    sigjmp_buf env;
    const uint8_t* base;
    size_t length;
    GuardFrame* previous;
};

// The handler runs with SIGBUS unblocked (SA_NODEFER); the jump restores the mask anyway.
constexpr int kSaveSignalMask = 1;

thread_local GuardFrame* tFrame = nullptr;
struct sigaction gPreviousBus;
std::once_flag gInstalled;
std::atomic<uint64_t> gRecovered{0};

void OnBusError(int sig, siginfo_t* info, void* context) {
    GuardFrame* frame = tFrame;
    const auto* addr = static_cast<const uint8_t*>(info != nullptr ? info->si_addr : nullptr);
    if (frame != nullptr && addr >= frame->base && addr < frame->base + frame->length) {
        gRecovered.fetch_add(1, std::memory_order_relaxed);
        siglongjmp(frame->env, 1);
    }
    // Not a fault of ours: hand it to whoever had the signal before.
    if ((gPreviousBus.sa_flags & SA_SIGINFO) != 0 && gPreviousBus.sa_sigaction != nullptr) {
        gPreviousBus.sa_sigaction(sig, info, context);
    } else if (gPreviousBus.sa_handler != SIG_DFL && gPreviousBus.sa_handler != SIG_IGN) {
        gPreviousBus.sa_handler(sig);
    } else {
        // Default action: returning re-runs the faulting access, which now
        // takes the default disposition.
        signal(sig, SIG_DFL);
    }
}

void Install() {
    struct sigaction action {};
    action.sa_sigaction = &OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &gPreviousBus);
}

}  // namespace

bool RunGuarded(void (*body)(void*), void* ctx, const uint8_t* guardBase, size_t guardLength) noexcept {
    std::call_once(gInstalled, Install);
    GuardFrame frame;
    frame.base = guardBase;
    frame.length = guardLength;
    frame.previous = tFrame;
    if (sigsetjmp(frame.env, kSaveSignalMask) != 0) {
        tFrame = frame.previous;
        return false;
    }
    tFrame = &frame;
    body(ctx);
    tFrame = frame.previous;
    return true;
}

uint64_t RecoveredReadFaults() noexcept { return gRecovered.load(std::memory_order_relaxed); }

}  // namespace qm

#endif  // Windows: platform_win32.cpp
