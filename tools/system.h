// What the tool does differently on Windows: paths are UTF-8 text there
// (converted from the wide command line) and reach the files through the wide
// API; on POSIX a path is its bytes and every call here is the plain one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "quirometer/quirometer.h"

namespace qmcli::sys {

#if defined(_WIN32)
// The path a text names, for the file system's calls (on Windows in its
// "\\?\" form when it is too long otherwise), and the text of a path
// (UTF-8 on Windows).
std::filesystem::path FsPath(const std::string& text);
std::string Text(const std::filesystem::path& path);
// The text of `name` in the folder `dir`, joined as the system writes it.
std::string Join(const std::string& dir, const std::string& name);
// The folder's regular files (and links to files) and subfolders (not links
// to folders), each joined to `dir`; false with the reason when it cannot be
// read. The file system library cannot tell the type of an entry whose path
// is beyond MAX_PATH, so Windows reads the folder itself.
bool ListFolder(const std::string& dir, std::vector<std::string>& files, std::vector<std::string>& folders,
                std::string& error);
bool IsFolder(const std::string& path);

// The accurate entry points on a path given as text.
int32_t Detect(const std::string& path, char* tag, int size);
int32_t Count(const std::string& path, const char* pdl, QuirometerJob* job);
int32_t CountPages(const std::string& path, const char* pdl, QuirometerJob* job, QuirometerPageCallback onPage,
                   void* context);
// The same path for the exports, which take the ANSI code page on Windows: a
// name it cannot spell is given by its short (8.3) form when there is one.
std::string ExportPath(const std::string& path);

// The running program's own file; empty when it cannot be told.
std::filesystem::path ExecutablePath();

// The command line as UTF-8 arguments.
std::vector<std::string> Arguments();
// Diagnostic lines (OutputDebugStringA) to standard error.
void DiagnosticsToStandardError();

#else
inline std::filesystem::path FsPath(const std::string& text) { return text; }
inline std::string Text(const std::filesystem::path& path) { return path.string(); }
inline int32_t Detect(const std::string& path, char* tag, int size) { return QuirometerDetect(path.c_str(), tag, size); }
inline int32_t Count(const std::string& path, const char* pdl, QuirometerJob* job) {
    return QuirometerCount(path.c_str(), pdl, job);
}
inline int32_t CountPages(const std::string& path, const char* pdl, QuirometerJob* job, QuirometerPageCallback onPage,
                          void* context) {
    return QuirometerCountPages(path.c_str(), pdl, job, onPage, context);
}
inline std::string ExportPath(const std::string& path) { return path; }
inline std::filesystem::path ExecutablePath() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe;
}
#endif

}  // namespace qmcli::sys
