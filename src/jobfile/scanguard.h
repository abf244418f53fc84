// Guard around a scan of mapped bytes. A job file truncated by another
// process while it is mapped makes the lost pages unreadable (SIGBUS on
// Linux); the guard turns such a fault into an abandoned scan instead of a
// dead host. Bodies run under it must not own objects with destructors.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

// Runs body(ctx). Returns true when it ran to the end, false when a read
// fault inside [guardBase, guardBase + guardLength) abandoned it.
bool RunGuarded(void (*body)(void*), void* ctx, const uint8_t* guardBase, size_t guardLength) noexcept;

// How many read faults guarded scans have survived in this process.
uint64_t RecoveredReadFaults() noexcept;

}  // namespace qm
