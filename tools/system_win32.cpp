// The Windows side of the tool's system layer: UTF-8 text to the wide API and
// back, the command line, the program's file, diagnostic lines, and the copy
// of standard input.
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string_view>
#include <system_error>

#include "counting.h"
#include "jobfile/platform.h"
#include "system.h"

namespace qmcli {
namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
    return w;
}

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

bool Ascii(const std::wstring& w) {
    for (wchar_t c : w)
        if (c >= 0x80) return false;
    return true;
}

// OutputDebugStringA raises this exception with the text's length and
// address; taking it here is what a debugger would do.
LONG CALLBACK PrintDiagnostic(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* e = info->ExceptionRecord;
    if (e->ExceptionCode != DBG_PRINTEXCEPTION_C || e->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    std::fputs(reinterpret_cast<const char*>(e->ExceptionInformation[1]), stderr);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

namespace sys {

std::filesystem::path FsPath(const std::string& text) {
    const std::wstring path = Wide(text);
    const std::wstring longForm = qm::platform::LongForm(path.c_str());
    return std::filesystem::path(longForm.empty() ? path : longForm);
}

std::string Join(const std::string& dir, const std::string& name) {
    return Utf8((std::filesystem::path(Wide(dir)) / Wide(name)).wstring());
}

bool IsFolder(const std::string& path) {
    const DWORD a = ::GetFileAttributesW(FsPath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ListFolder(const std::string& dir, std::vector<std::string>& files, std::vector<std::string>& folders,
                std::string& error) {
    std::wstring pattern = FsPath(dir).wstring();
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        error = std::system_category().message(static_cast<int>(::GetLastError()));
        return false;
    }
    do {
        const std::wstring_view name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::string shown = Join(dir, Utf8(entry.cFileName));
        const DWORD a = entry.dwFileAttributes;
        if ((a & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            // A link: taken when it leads to a file, never followed to a folder.
            if ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
            const DWORD target = ::GetFileAttributesW(FsPath(shown).c_str());
            if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(shown);
        } else if ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            folders.push_back(shown);
        } else if ((a & FILE_ATTRIBUTE_DEVICE) == 0) {
            files.push_back(shown);
        }
    } while (::FindNextFileW(find, &entry));
    const DWORD last = ::GetLastError();
    ::FindClose(find);
    if (last == ERROR_NO_MORE_FILES) return true;
    error = std::system_category().message(static_cast<int>(last));
    return false;
}

std::string Text(const std::filesystem::path& path) { return Utf8(path.wstring()); }

int32_t Detect(const std::string& path, char* tag, int size) { return QuirometerDetectW(Wide(path).c_str(), tag, size); }

int32_t Count(const std::string& path, const char* pdl, QuirometerJob* job) {
    return QuirometerCountW(Wide(path).c_str(), pdl, job);
}

int32_t CountPages(const std::string& path, const char* pdl, QuirometerJob* job, QuirometerPageCallback onPage,
                   void* context) {
    return QuirometerCountPagesW(Wide(path).c_str(), pdl, job, onPage, context);
}

std::string ExportPath(const std::string& path) {
    const std::wstring w = Wide(path);
    if (Ascii(w)) return path;
    const DWORD n = ::GetShortPathNameW(w.c_str(), nullptr, 0);
    if (n > 0) {
        std::wstring shortName(n, L'\0');
        const DWORD got = ::GetShortPathNameW(w.c_str(), shortName.data(), n);
        shortName.resize(got < n ? got : 0);
        if (!shortName.empty() && Ascii(shortName)) return Utf8(shortName);
    }
    // No short name: the code page's spelling, which opens the file when the
    // code page has every character of its name.
    const int size = ::WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) ::WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, ansi.data(), size, nullptr, nullptr);
    if (!ansi.empty()) ansi.pop_back();  // the NUL
    return ansi;
}

std::filesystem::path ExecutablePath() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) return {};
        if (n < name.size()) {
            name.resize(n);
            return std::filesystem::path(name);
        }
        name.resize(name.size() * 2);
    }
}

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr) return args;
    for (int i = 0; i < argc; ++i) args.push_back(Utf8(argv[i]));
    ::LocalFree(argv);
    return args;
}

void DiagnosticsToStandardError() { ::AddVectoredExceptionHandler(1, PrintDiagnostic); }

}  // namespace sys

StdinCopy::~StdinCopy() {
    if (!path_.empty()) ::DeleteFileW(Wide(path_).c_str());
}

bool StdinCopy::Take() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH || ::GetTempFileNameW(folder, L"qmj", 0, name) == 0) return false;
    path_ = Utf8(name);
    FILE* out = ::_wfopen(name, L"wb");
    if (out == nullptr) return false;
    ::_setmode(::_fileno(stdin), _O_BINARY);
    char buf[1 << 16];
    bool ok = true;
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, stdin)) > 0)
        if (std::fwrite(buf, 1, got, out) != got) ok = false;
    if (std::ferror(stdin)) ok = false;
    if (std::fclose(out) != 0) ok = false;
    return ok;
}

}  // namespace qmcli
#endif
