// What the benchmarks read: a file's bytes and the jobs the truth tables list.
#pragma once

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace qmbench {

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
