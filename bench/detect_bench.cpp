// What detection and the accurate path cost, beside what they must stay
// under. For every language with a real job (corpus, samples or seeds):
//   detect_us    detection over the job's bytes in memory;
//   open_us      opening and mapping the job file, then closing it;
//   export_us    the export's entry point on a file of the language's jobs
//                repeated to QM_BENCH_MB megabytes (default 16);
//   accurate_us  QuirometerCount on the same file, the language detected.
// Detection must cost well under opening the file, and the accurate count
// of a language whose export's record passes through at most 10% more than
// the export. Times are the thread's CPU time, best of several alternating
// runs, so that other work on a shared machine does not skew them.
//   detect_bench [TAG...]
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "accurate/accurate.h"
#include "bench_jobs.h"
#include "api/registry.h"
#include "jobfile/jobview.h"
#include "quirometer/quirometer.h"

namespace {

double ThreadSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Time per call of `fn` in seconds over a run of at least `minSeconds`.
template <typename Fn>
double Run(Fn&& fn, double minSeconds) {
    long calls = 0;
    const double start = ThreadSeconds();
    double now = start;
    do {
        fn();
        ++calls;
        now = ThreadSeconds();
    } while (now - start < minSeconds);
    return (now - start) / static_cast<double>(calls);
}

// Best times per call of two functions whose costs are compared: their runs
// alternate, so that a busy spell of the machine weighs on both alike.
template <typename A, typename B>
std::pair<double, double> BestOfBoth(A&& a, B&& b, double minSeconds) {
    double bestA = 1e30, bestB = 1e30;
    for (int run = 0; run < 7; ++run) {
        bestA = std::min(bestA, Run(a, minSeconds));
        bestB = std::min(bestB, Run(b, minSeconds));
    }
    return {bestA, bestB};
}

// The largest known job of each language.
std::map<std::string, std::string> Jobs() {
    std::map<std::string, std::string> jobs;
    auto keep = [&](const std::string& tag, const std::string& path) {
        const auto* lang = qm::accurate::FindLanguage(tag);
        if (lang == nullptr) return;
        std::string bytes = qmbench::ReadFile(path);
        std::string& held = jobs[lang->counter->tag];
        if (bytes.size() > held.size()) held = std::move(bytes);
    };
    for (const std::string dir : {QM_SOURCE_DIR "/tests/corpus", QM_SOURCE_DIR "/samples"}) {
        for (const auto& [file, tag] : qmbench::TruthJobs(dir)) keep(tag, dir + "/" + file);
    }
    for (const auto& folder : std::filesystem::directory_iterator(QM_SOURCE_DIR "/fuzz/seeds")) {
        for (const auto& seed : std::filesystem::directory_iterator(folder.path())) {
            keep(folder.path().filename().string(), seed.path().string());
        }
    }
    return jobs;
}

// A file of one job, removed with the object.
class JobFile {
public:
    JobFile(const std::string& bytes, const std::string& name) {
        path_ = std::filesystem::temp_directory_path() / ("qm-detect-bench-" + std::to_string(::getpid()) + "-" + name);
        std::ofstream(path_, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~JobFile() { std::filesystem::remove(path_); }
    JobFile(const JobFile&) = delete;
    JobFile& operator=(const JobFile&) = delete;
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

size_t BenchBytes() {
    const char* mb = std::getenv("QM_BENCH_MB");
    const long v = mb ? std::atol(mb) : 16;
    return static_cast<size_t>(v > 0 ? v : 16) << 20;
}

}  // namespace

int main(int argc, char** argv) {
    // The Canon interpreter traces to standard output; the table goes to a
    // kept copy of it.
    const int out = ::dup(1);
    FILE* table = ::fdopen(out, "w");
    if (table == nullptr || std::freopen("/dev/null", "w", stdout) == nullptr) return 2;

    std::vector<std::string> only(argv + 1, argv + argc);
    const size_t target = BenchBytes();
    std::fprintf(table, "%-13s %10s %10s %8s %10s %12s %9s\n", "tag", "detect_us", "open_us", "det/open", "export_us",
                 "accurate_us", "acc/exp");
    for (const auto& [tag, job] : Jobs()) {
        if (!only.empty() && std::find(only.begin(), only.end(), tag) == only.end()) continue;
        const qm::CounterInfo* counter = qm::FindCounter(tag);
        const qm::Bytes bytes(job);

        JobFile one(job, tag + ".job");
        const auto [detect, open] = BestOfBoth([&] { (void)qm::accurate::Detect(bytes); },
                                               [&] {
                                                   qm::JobFileView view;
                                                   int32_t code = 0;
                                                   (void)view.Open(one.path(), code);
                                               },
                                               0.01);

        std::string big;
        big.reserve(target + job.size());
        while (big.size() < target) big += job;
        JobFile many(big, tag + ".many");
        const auto [exportTime, accurate] = BestOfBoth(
            [&] {
                // A language without an export times nothing here.
                PageCountResult rec{};
                if (counter != nullptr) (void)counter->entry(many.path(), &rec);
            },
            [&] {
                QuirometerJob rec{};
                rec.size = sizeof rec;
                (void)QuirometerCount(many.path(), nullptr, &rec);
            },
            0.03);
        std::fprintf(table, "%-13s %10.2f %10.2f %8.2f %10.1f %12.1f %9.2f\n", tag.c_str(), detect * 1e6, open * 1e6,
                     detect / open, exportTime * 1e6, accurate * 1e6, accurate / exportTime);
        std::fflush(table);
    }
    std::fclose(table);
    return 0;
}
