// What the benchmarks read: a file's bytes and the jobs the truth tables list;
// how large their inputs are and how they time them.
#pragma once

#include <time.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace qmbench {

// Bytes of input a row builds: QM_BENCH_MB megabytes, else `defaultMb`.
inline size_t TargetBytes(long defaultMb = 64) {
    const char* mb = std::getenv("QM_BENCH_MB");
    const long v = mb ? std::atol(mb) : defaultMb;
    return static_cast<size_t>(v > 0 ? v : defaultMb) << 20;
}

// Seconds of CPU time of the calling thread, so that other work on a shared
// machine does not skew a rate.
inline double CpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The bytes of a file; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct TruthJob {
    std::string file, tag;  // file relative to the table's folder
};

// The jobs the truth table of `dir` (the corpus's or the samples', or
// another table there whose first columns are file and tag) lists, with
// their tags.
inline std::vector<TruthJob> TruthJobs(const std::string& dir, const std::string& table = "truth.tsv") {
    std::vector<TruthJob> jobs;
    std::ifstream truth(dir + "/" + table);
    std::string line;
    while (std::getline(truth, line)) {
        std::istringstream cols(line);
        std::string file, tag;
        if (!std::getline(cols, file, '\t') || !std::getline(cols, tag, '\t') || file == "file") continue;
        jobs.push_back({file, tag});
    }
    return jobs;
}

}  // namespace qmbench
