#include "joblist.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "system.h"

namespace qmcli {
namespace {

namespace fs = std::filesystem;

#if !defined(_WIN32)
// The folder's entries for AddFolder. (Windows: system_win32.cpp.)
bool ListFolder(const std::string& dir, std::vector<std::string>& files, std::vector<std::string>& folders,
                std::string& error) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_symlink(typeEc) ? false : it->is_directory(typeEc)) {
            folders.push_back(it->path().string());
        } else if (it->is_regular_file(typeEc)) {
            files.push_back(it->path().string());
        }
    }
    if (ec) error = ec.message();
    return !ec;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}
#else
using sys::IsFolder;
using sys::ListFolder;
#endif

// Adds the regular files of `dir`, sorted by name; with `recursive`, the
// files of its subfolders after them in the same order. Symbolic links to
// folders are not followed, so a loop of links cannot run forever; links to
// files are taken. Names are shown under `dir` as it was written.
int AddFolder(const std::string& dir, bool recursive, std::vector<std::string>& jobs) {
    std::vector<std::string> files, folders;
    if (std::string error; !ListFolder(dir, files, folders, error)) {
        std::fprintf(stderr, "quirometer: %s: cannot read the folder: %s\n", dir.c_str(), error.c_str());
        return kExitFailed;
    }
    // Sorted by their text, byte for byte: the same order on every system.
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    jobs.insert(jobs.end(), files.begin(), files.end());
    int status = kExitOk;
    if (recursive)
        for (const std::string& d : folders) status = std::max(status, AddFolder(d, true, jobs));
    return status;
}

int Add(const std::string& arg, bool recursive, std::vector<std::string>& jobs) {
    if (arg != "-" && IsFolder(arg)) return AddFolder(arg, recursive, jobs);
    jobs.push_back(arg);  // a file, or a path the count reports as missing
    return kExitOk;
}

bool ReadList(std::istream& in, bool recursive, std::vector<std::string>& jobs, int& status) {
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // a list written on Windows
        if (line.empty()) continue;
        status = std::max(status, Add(line, recursive, jobs));
    }
    return !in.bad();
}

}  // namespace

int CollectJobs(const Options& opt, std::vector<std::string>& jobs) {
    int status = kExitOk;
    for (const std::string& f : opt.files) status = std::max(status, Add(f, opt.recursive, jobs));
    if (opt.filesFrom.empty()) return status;
    bool read = false;
    if (opt.filesFrom == "-") {
        read = ReadList(std::cin, opt.recursive, jobs, status);
    } else if (!IsFolder(opt.filesFrom)) {
        std::ifstream list(sys::FsPath(opt.filesFrom));
        read = list && ReadList(list, opt.recursive, jobs, status);
    }
    if (!read) {
        std::fprintf(stderr, "quirometer: %s: cannot read the list of files\n", opt.filesFrom.c_str());
        return kExitUsage;
    }
    return status;
}

}  // namespace qmcli
