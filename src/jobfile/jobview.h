// The job-file view and the shell shared by the memory-mapped counters:
// open, map, view, size; scan the bytes; write the caller's record once on
// success; release in reverse order on every path.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jobfile/bytes.h"
#include "quirometer/quirometer.h"

namespace qm {

// A scanner reads the job's bytes from `start` (after the optional
// leading-NUL skip) and fills `rec`, which starts zeroed. It returns QM_OK, or
// QM_E_FAIL for a job it rejects; the record is copied out only on QM_OK.
// Scanners do no I/O and allocate nothing.
using MappedScan = int32_t (*)(Bytes job, uint32_t start, PageCountResult& rec);

// The four failure texts of the view, used unchanged by every counter.
inline constexpr const char* kOpenFailed = "sheetler.dll!GetTotalPageCount: CreateFile() failed %X\n";
inline constexpr const char* kMappingFailed = "sheetler.dll!GetTotalPageCount: CreateFileMapping() failed %X\n";
inline constexpr const char* kViewFailed = "sheetler.dll!GetTotalPageCount: MapViewOfFile() failed %X\n";
inline constexpr const char* kSizeFailed = "sheetler.dll!GetTotalPageCount: GetFileSize() failed %X\n";

// HRESULT of a failed file step: the last-error value's low 16 bits with
// 0x80070000, or 0 when the last error is 0.
constexpr int32_t HresultFromLastError(uint32_t error) noexcept { return QM_HRESULT_FROM_WIN32(error); }

// RAII view of one job file. Open() runs the four steps in order and, on the
// first failure, sends its diagnostic line and returns its code; whatever was
// obtained is released by the destructor in reverse order.
class JobFileView {
public:
    JobFileView() = default;
    JobFileView(const JobFileView&) = delete;
    JobFileView& operator=(const JobFileView&) = delete;
    ~JobFileView();

    // False on a failed step, with a failure code in `code` (QM_E_FAIL when
    // the platform left no last error).
    bool Open(const char* path, int32_t& code) noexcept;
#if defined(_WIN32)
    // The same with a UTF-16 path (CreateFileW).
    bool Open(const wchar_t* path, int32_t& code) noexcept;
#endif
    // The file's current length, bounded by the mapped length: what is still
    // readable after the file shrank under the view.
    uint32_t ReadableLength() const noexcept;
    // The bytes to scan: bounded by the mapped length when the file grew
    // between the mapping and the size query.
    Bytes bytes() const noexcept { return Bytes(base_, scanSize_); }

private:
    // The steps after the file was opened: `file` is what the open returned.
    bool Map(intptr_t file, int32_t& code) noexcept;

    intptr_t file_ = 0;
    intptr_t mapping_ = 0;
    const uint8_t* base_ = nullptr;
    size_t mappedLength_ = 0;
    uint32_t scanSize_ = 0;
};

// Runs body(ctx) over the view's bytes, which `bytes` points at. A file
// truncated under the view faults on the lost pages: body runs again over
// what is still there, as if the job ended at its new length (`bytes`
// shrinks). QM_OK once a run ends, or the read-fault code after 9 faults.
int32_t RunOverView(const JobFileView& view, void (*body)(void*), void* ctx, Bytes& bytes) noexcept;

// Runs a scanner over bytes in memory as the entry point would (NUL skip,
// scan, copy-out on success). Used by the entry points, tests, fuzzers and
// benchmarks alike.
int32_t CountBytes(Bytes job, PageCountResult* out, MappedScan scan, bool skipLeadingNul) noexcept;

// The whole entry-point shell of a memory-mapped counter.
int32_t CountMappedFile(const char* path, PageCountResult* out, MappedScan scan, bool skipLeadingNul) noexcept;

inline constexpr bool kSkipLeadingNul = true;
inline constexpr bool kKeepLeadingNul = false;

}  // namespace qm

// Defines the exported entry point GetTotalPageCount_<TAG> of a mapped counter.
#define QM_MAPPED_ENTRY_POINT(TAG, SCAN, SKIP)                                                      \
    extern "C" QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_##TAG(const char* path,                \
                                                                     PageCountResult* result) {      \
        return ::qm::CountMappedFile(path, result, SCAN, SKIP);                                       \
    }
