// The group locks on Windows, where MinGW's win32 thread model has no
// std::mutex.
#if defined(_WIN32)
#include <windows.h>

#include "accurate/accurate.h"

namespace qm::accurate {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "an SRWLOCK is one pointer, zero when unlocked");

void GroupMutex::lock() noexcept { ::AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&srw_)); }

void GroupMutex::unlock() noexcept { ::ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&srw_)); }

}  // namespace qm::accurate
#endif
