// Runs the quirometer tool as a user would, and builds folders of jobs for it.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "testutil.h"

namespace qmtest {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

inline CliRun Cli(const std::string& args, const std::string& stdinFile = "/dev/null",
                  const std::string& program = QM_CLI_PATH) {
    TempJob errFile("", "stderr.txt");
    const std::string cmd = program + " " + args + " <" + stdinFile + " 2>" + errFile.path();
    CliRun r{-1, {}, {}};
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    FILE* e = std::fopen(errFile.path(), "rb");
    while (e != nullptr && (n = std::fread(buf.data(), 1, buf.size(), e)) > 0) r.err.append(buf.data(), n);
    if (e != nullptr) std::fclose(e);
    return r;
}

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline size_t Lines(const std::string& text) {
    size_t n = 0;
    for (char ch : text) n += ch == '\n';
    return n;
}

// A private temporary folder, removed with everything in it.
class TempTree {
public:
    TempTree() {
        char tmpl[] = "/tmp/qmtest-tree-XXXXXX";
        const char* d = ::mkdtemp(tmpl);
        root_ = d ? d : "";
    }
    ~TempTree() {
        std::error_code ec;
        if (!root_.empty()) std::filesystem::remove_all(root_, ec);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // Writes `bytes` to `relative` under the root, making its folders; returns its path.
    std::string Add(const std::string& relative, const std::string& bytes) {
        const std::filesystem::path p = std::filesystem::path(root_) / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    std::string Path(const std::string& relative = "") const {
        return relative.empty() ? root_ : root_ + "/" + relative;
    }

private:
    std::string root_;
};

}  // namespace qmtest
