// libFuzzer target for the accurate PDF reader alone: the bytes in memory go
// straight to its count, as the accurate entry point hands them over.
#include <cstdint>
#include <new>

#include "accurate/accurate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    qm::accurate::Result r;
    try {
        qm::accurate::AccuratePDF(qm::Bytes(data, static_cast<uint32_t>(size)), r);
    } catch (const std::bad_alloc&) {
        // The entry point reports QM_E_FAIL; nothing leaks past it.
    }
    return 0;
}
