// Linux side of the platform layer: open/fstat/mmap, with the Win32 last-error
// values of the same failures, and a process-wide debug sink.
#if !defined(_WIN32)
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

#include "jobfile/diag.h"
#include "jobfile/platform.h"
#include "quirometer/quirometer.h"

namespace qm::platform {
namespace {

thread_local uint32_t tLastError = 0;

int FdOf(Handle h) noexcept { return static_cast<int>(h - 1); }

// Win32 tells a missing file (2) from a missing folder on the way (3).
uint32_t MissingKind(const char* path) noexcept {
    std::string dir(path);
    const size_t slash = dir.find_last_of('/');
    if (slash == std::string::npos) return kErrorFileNotFound;
    dir.resize(slash == 0 ? 1 : slash);
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return kErrorFileNotFound;
    return kErrorPathNotFound;
}

uint32_t FromErrno(int e, const char* path) noexcept {
    switch (e) {
        case ENOENT:
            return path != nullptr && path[0] != '\0' ? MissingKind(path) : kErrorPathNotFound;
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return kErrorAccessDenied;
        case EBUSY:
        case ETXTBSY:
            return kErrorSharingViolation;
        case EMFILE:
        case ENFILE:
            return kErrorTooManyOpenFiles;
        case ENOMEM:
        case EOVERFLOW:
            return kErrorNotEnoughMemory;
        case ENAMETOOLONG:
            return kErrorFilenameTooLong;
        case ELOOP:
            return kErrorCantResolveFilename;
        case EINVAL:
            return kErrorInvalidParameter;
        default:
            return kErrorGenFailure;
    }
}

std::atomic<QmDebugSink> gSink{nullptr};
std::atomic<void*> gSinkContext{nullptr};

}  // namespace

uint32_t LastError() noexcept { return tLastError; }

Handle OpenFile(const char* path) noexcept {
    if (path == nullptr) {
        tLastError = kErrorInvalidParameter;
        return kInvalidHandle;
    }
    if (path[0] == '\0') {
        tLastError = kErrorPathNotFound;
        return kInvalidHandle;
    }
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        tLastError = FromErrno(errno, path);
        return kInvalidHandle;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        // Opening a folder as a file is refused with "access denied".
        tLastError = kErrorAccessDenied;
        ::close(fd);
        return kInvalidHandle;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    tLastError = 0;
    return static_cast<Handle>(fd) + 1;
}

Handle CreateMapping(Handle file) noexcept {
    struct stat st;
    if (::fstat(FdOf(file), &st) != 0) {
        tLastError = FromErrno(errno, nullptr);
        return kNullHandle;
    }
    if (!S_ISREG(st.st_mode)) {
        // Pipes and devices cannot be mapped.
        tLastError = kErrorInvalidParameter;
        return kNullHandle;
    }
    if (st.st_size == 0) {
        tLastError = kErrorFileInvalid;  // an empty file cannot be mapped
        return kNullHandle;
    }
    tLastError = 0;
    return file;  // the mapping lives on the same descriptor
}

const uint8_t* MapView(Handle mapping, size_t& mappedLength) noexcept {
    mappedLength = 0;
    struct stat st;
    if (::fstat(FdOf(mapping), &st) != 0) {
        tLastError = FromErrno(errno, nullptr);
        return nullptr;
    }
    if (st.st_size <= 0) {  // emptied since CreateMapping looked
        tLastError = kErrorFileInvalid;
        return nullptr;
    }
    const size_t length = static_cast<size_t>(st.st_size);
    void* base = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, FdOf(mapping), 0);
    if (base == MAP_FAILED) {
        tLastError = FromErrno(errno, nullptr);
        return nullptr;
    }
    ::madvise(base, length, MADV_SEQUENTIAL);
    mappedLength = length;
    tLastError = 0;
    return static_cast<const uint8_t*>(base);
}

uint32_t FileSize(Handle file) noexcept {
    struct stat st;
    if (::fstat(FdOf(file), &st) != 0) {
        tLastError = FromErrno(errno, nullptr);
        return 0xFFFFFFFFu;
    }
    tLastError = 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(st.st_size));  // low 32 bits only
}

void UnmapView(const uint8_t* base, size_t mappedLength) noexcept {
    if (base != nullptr) ::munmap(const_cast<uint8_t*>(base), mappedLength);
}

void CloseMapping(Handle mapping) noexcept {
    (void)mapping;  // the mapping shares the file's descriptor, closed by CloseFile
}

void CloseFile(Handle file) noexcept {
    if (file > 0) ::close(FdOf(file));  // the null and invalid handles are no descriptor
}

void FormatLine(char* buf, size_t cap, const char* fmt, va_list args) noexcept {
    FormatDiag(buf, cap, fmt, args);
}

bool HasOutput() noexcept { return gSink.load(std::memory_order_acquire) != nullptr; }

void OutputLine(const char* line) noexcept {
    const QmDebugSink sink = gSink.load(std::memory_order_acquire);
    if (sink != nullptr) sink(line, gSinkContext.load(std::memory_order_acquire));
}

}  // namespace qm::platform

extern "C" QM_EXPORT void QuirometerSetDebugOutput(QmDebugSink sink, void* context) {
    qm::platform::gSinkContext.store(context, std::memory_order_release);
    qm::platform::gSink.store(sink, std::memory_order_release);
}
#endif
