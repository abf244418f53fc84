// Helpers of the accounting tests: a scratch folder, records to store, and
// the backend and the tool run as processes.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "record.h"
#include "testutil.h"

namespace qmtest {

// A folder of the test's own under /tmp, removed with all it holds.
class Scratch {
public:
    Scratch() {
        char tmpl[] = "/tmp/qmacct-test-XXXXXX";
        const char* d = ::mkdtemp(tmpl);
        dir_ = d != nullptr ? d : "";
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string Write(const std::string& name, const std::string& bytes, int mode = 0644) const {
        const std::string p = Path(name);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        ::chmod(p.c_str(), static_cast<mode_t>(mode));
        return p;
    }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
};

inline qmacct::Record MakeRecord(const std::string& printer, int64_t jobId, const std::string& user, uint32_t pages,
                                 uint32_t copies = 1, uint32_t cupsCopies = 1,
                                 qmacct::Status status = qmacct::Status::Printed, int64_t time = 1'800'000'000) {
    qmacct::Record r;
    r.server = "print1";
    r.printer = printer;
    r.jobId = jobId;
    r.user = user;
    r.title = "job " + std::to_string(jobId);
    r.time = time;
    r.updatedUs = time * 1'000'000;
    r.pages = pages;
    r.copies = copies;
    r.cupsCopies = cupsCopies;
    r.sheets = qmacct::SheetsFor(pages, uint64_t{copies} * cupsCopies, false);
    r.pdl = "PCL";
    r.certainty = "exact";
    r.status = status;
    return r;
}

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal
    std::string err;  // standard error
    std::string out;  // standard output
};

// Runs `program` with argv[0] `arg0` and `args`, the environment `env` added
// to ours, standard input from `input`.
inline ProcessResult RunProcess(const std::string& program, const std::string& arg0,
                                const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                                const std::string& input = "/dev/null") {
    char outName[] = "/tmp/qmacct-out-XXXXXX";
    char errName[] = "/tmp/qmacct-err-XXXXXX";
    const int out = ::mkstemp(outName);
    const int err = ::mkstemp(errName);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open(input.c_str(), O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(arg0.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(126);
    }
    int st = 0;
    ::waitpid(pid, &st, 0);
    ::close(out);
    ::close(err);
    ProcessResult r{WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st), ReadFile(errName), ReadFile(outName)};
    ::unlink(outName);
    ::unlink(errName);
    return r;
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace qmtest
