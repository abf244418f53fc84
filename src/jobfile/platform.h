// The platform layer: the few operating-system calls behind the job-file view
// and the diagnostic channel. On Windows these are the Win32 calls themselves;
// on Linux they reproduce the Win32 last-error values a host would see.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#if defined(_WIN32)
#include <string>
#endif

namespace qm::platform {

// Opaque handle: a Win32 HANDLE, or on Linux a file descriptor plus one.
using Handle = intptr_t;
constexpr Handle kNullHandle = 0;
constexpr Handle kInvalidHandle = -1;  // INVALID_HANDLE_VALUE

// Win32 last-error values the Linux side reports.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorFilenameTooLong = 206;
constexpr uint32_t kErrorFileInvalid = 1006;  // mapping an empty file
constexpr uint32_t kErrorCantResolveFilename = 1921;
constexpr uint32_t kErrorGenFailure = 31;

// The thread's last-error value, read right after a failing call.
uint32_t LastError() noexcept;

// CreateFileA(path, GENERIC_READ, FILE_SHARE_READ|FILE_SHARE_WRITE, nullptr,
//             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL|FILE_FLAG_SEQUENTIAL_SCAN, nullptr)
Handle OpenFile(const char* path) noexcept;
#if defined(_WIN32)
// CreateFileW with the same arguments. A path whose full form has MAX_PATH
// characters or more is opened through the "\\?\" form of its full path
// ("\\?\UNC\" for a share), which has no such limit.
Handle OpenFileW(const wchar_t* path) noexcept;
// That "\\?\" form of `path`, or empty when the path is short enough to be
// used as it is (or cannot be made absolute). May throw std::bad_alloc.
std::wstring LongForm(const wchar_t* path);
#endif
// CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr)
Handle CreateMapping(Handle file) noexcept;
// MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0); mappedLength receives the
// number of bytes the view really covers.
const uint8_t* MapView(Handle mapping, size_t& mappedLength) noexcept;
// GetFileSize(file, nullptr): 0xFFFFFFFF on failure.
uint32_t FileSize(Handle file) noexcept;
// The three do nothing for a null view or a null or invalid handle.
void UnmapView(const uint8_t* base, size_t mappedLength) noexcept;
// CloseHandle on the mapping, then on the file.
void CloseMapping(Handle mapping) noexcept;
void CloseFile(Handle file) noexcept;

// wsprintfA-style formatting into a buffer of `cap` characters.
void FormatLine(char* buf, size_t cap, const char* fmt, va_list args) noexcept;
// Whether a diagnostic line would reach anyone (on Linux: a sink is
// installed); lines nobody receives are not formatted at all.
bool HasOutput() noexcept;
// OutputDebugStringA, or the installed debug sink on Linux.
void OutputLine(const char* line) noexcept;

}  // namespace qm::platform
