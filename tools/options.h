// The command line: which command, which options, which files.
#pragma once

#include <string>
#include <vector>

namespace qmcli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

enum class Command { None, Help, Version, Count, Detect, List, Samples };

struct Options {
    Command command = Command::None;
    std::string pdl;  // canonical tag; empty: the job's language is detected
    bool compatible = false;
    bool json = false;
    bool debug = false;
    bool recursive = false;
    bool total = false;
    bool pages = false;  // --pages: each page of each job in the JSON output
    unsigned jobs = 0;  // 0: one per core
    std::string dir;
    std::string filesFrom;
    std::vector<std::string> files;
};

extern const char* const kUsage;

// Prints "quirometer: message" and the help hint to standard error.
int Usage(const std::string& message);

// Reads the arguments into `opt`. Returns kExitOk, or kExitUsage once the
// problem has been reported.
int ParseOptions(int argc, const char* const* argv, Options& opt);

}  // namespace qmcli
