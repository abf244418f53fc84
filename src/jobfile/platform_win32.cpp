// Windows side of the platform layer: the Win32 calls themselves, with the
// arguments the host expects a print-accounting DLL to use.
#if defined(_WIN32)
#include <windows.h>

#include <new>
#include <string>
#include <string_view>

#include "jobfile/platform.h"
#include "jobfile/scanguard.h"

namespace qm::platform {

uint32_t LastError() noexcept { return ::GetLastError(); }

Handle OpenFile(const char* path) noexcept {
    HANDLE h = ::CreateFileA(path, 0x80000000 /* GENERIC_READ */,
                             3 /* FILE_SHARE_READ | FILE_SHARE_WRITE */, nullptr, OPEN_EXISTING,
                             0x08000080 /* FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN */, nullptr);
    return reinterpret_cast<Handle>(h);
}

namespace {

constexpr DWORD kAccess = 0x80000000;      // GENERIC_READ
constexpr DWORD kShare = 3;                // FILE_SHARE_READ | FILE_SHARE_WRITE
constexpr DWORD kAttributes = 0x08000080;  // FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN

bool StartsWith(const wchar_t* s, std::wstring_view prefix) noexcept {
    return std::wstring_view(s).substr(0, prefix.size()) == prefix;
}

}  // namespace

// "\\server\share\..." becomes "\\?\UNC\server\share\...".
std::wstring LongForm(const wchar_t* path) {
    if (StartsWith(path, LR"(\\?\)") || StartsWith(path, LR"(\\.\)")) return {};
    const DWORD need = ::GetFullPathNameW(path, 0, nullptr, nullptr);
    if (need < MAX_PATH) return {};  // short, or no full form (the open reports why)
    std::wstring full(need, L'\0');
    const DWORD n = ::GetFullPathNameW(path, need, full.data(), nullptr);
    if (n == 0 || n >= need) return {};
    full.resize(n);
    if (full.compare(0, 2, LR"(\\)") == 0) return LR"(\\?\UNC\)" + full.substr(2);
    return LR"(\\?\)" + full;
}

Handle OpenFileW(const wchar_t* path) noexcept {
    std::wstring longForm;
    try {
        longForm = LongForm(path);
    } catch (const std::bad_alloc&) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return reinterpret_cast<Handle>(INVALID_HANDLE_VALUE);
    }
    HANDLE h = ::CreateFileW(longForm.empty() ? path : longForm.c_str(), kAccess, kShare, nullptr, OPEN_EXISTING,
                             kAttributes, nullptr);
    return reinterpret_cast<Handle>(h);
}

Handle CreateMapping(Handle file) noexcept {
    HANDLE m = ::CreateFileMappingA(reinterpret_cast<HANDLE>(file), nullptr, PAGE_READONLY, 0, 0, nullptr);
    return reinterpret_cast<Handle>(m);
}

const uint8_t* MapView(Handle mapping, size_t& mappedLength) noexcept {
    void* base = ::MapViewOfFile(reinterpret_cast<HANDLE>(mapping), FILE_MAP_READ, 0, 0, 0);
    mappedLength = 0;
    if (base != nullptr) {
        MEMORY_BASIC_INFORMATION info;
        // The view covers the section as it was when mapped; a file that grew
        // since is bounded by this length.
        SIZE_T total = 0;
        const char* p = static_cast<const char*>(base);
        while (::VirtualQuery(p + total, &info, sizeof info) == sizeof info && info.AllocationBase == base &&
               info.State == MEM_COMMIT) {
            total += info.RegionSize;
        }
        mappedLength = total;
    }
    return static_cast<const uint8_t*>(base);
}

uint32_t FileSize(Handle file) noexcept {
    return ::GetFileSize(reinterpret_cast<HANDLE>(file), nullptr);
}

void UnmapView(const uint8_t* base, size_t) noexcept {
    if (base != nullptr) ::UnmapViewOfFile(base);
}

void CloseMapping(Handle mapping) noexcept {
    if (mapping != kNullHandle && mapping != kInvalidHandle) ::CloseHandle(reinterpret_cast<HANDLE>(mapping));
}

void CloseFile(Handle file) noexcept {
    if (file != kNullHandle && file != kInvalidHandle) ::CloseHandle(reinterpret_cast<HANDLE>(file));
}

void FormatLine(char* buf, size_t cap, const char* fmt, va_list args) noexcept {
    // wsprintfA writes at most 1024 characters; format there, then keep what
    // fits the caller's 256-character line so nothing is ever overrun.
    char wide[1025];
    ::wvsprintfA(wide, fmt, args);
    size_t n = 0;
    while (n + 1 < cap && wide[n] != '\0') {
        buf[n] = wide[n];
        ++n;
    }
    if (cap > 0) buf[n] = '\0';
}

bool HasOutput() noexcept { return true; }

void OutputLine(const char* line) noexcept { ::OutputDebugStringA(line); }

}  // namespace qm::platform

namespace qm {

// A file cannot be truncated on Windows while a view of it is mapped, so a
// scan there never loses its pages.
bool RunGuarded(void (*body)(void*), void* ctx, const uint8_t*, size_t) noexcept {
    body(ctx);
    return true;
}

uint64_t RecoveredReadFaults() noexcept { return 0; }

}  // namespace qm
#endif
