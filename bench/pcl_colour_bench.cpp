// The cost of reading each page's colour in PCL 5 and PCL XL jobs: the
// accurate count with its colour pass beside the same count without it,
// on real jobs (the corpus's and the colour truth jobs of each kind of
// driver), each counted as it stands, one after another.
//   colour/PCL/<driver>      and  plain/PCL/<driver>      PCL 5 with and without the pass
//   colour/PCLXL/<driver>    and  plain/PCLXL/<driver>    PCL XL: the export's record with and without the page walk
// The ratio of the two rows' times is the pass's cost.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "bench_jobs.h"
#include "pcl/pcl_accurate.h"

namespace {

// Every job of the corpus and of the colour truth whose file name holds
// `part` and ends in `ext`.
std::vector<std::string> Jobs(const std::string& part, const std::string& ext) {
    std::vector<std::string> jobs;
    for (const char* dir : {"/tests/corpus/jobs", "/tests/corpus/colour/jobs/pcl"}) {
        for (const auto& e : std::filesystem::recursive_directory_iterator(std::string(QM_SOURCE_DIR) + dir)) {
            const std::string name = e.path().filename().string();
            if (e.is_regular_file() && name.find(part) != std::string::npos && e.path().extension() == ext)
                jobs.push_back(qmbench::ReadFile(e.path().string()));
        }
    }
    return jobs;
}

int32_t PclPlain(qm::Bytes job, qm::accurate::Result& out) {
    qm::pclaccurate::Pcl5Extras extras;
    extras.withoutColour = true;
    return qm::pclaccurate::CountPcl5(job, out, &extras);
}
int32_t PclColour(qm::Bytes job, qm::accurate::Result& out) { return qm::pclaccurate::CountPcl5(job, out); }
int32_t XlPlain(qm::Bytes job, qm::accurate::Result& out) { return qm::accurate::PassThrough("PCLXL", job, out); }
int32_t XlColour(qm::Bytes job, qm::accurate::Result& out) { return qm::accurate::AccuratePCLXL(job, out); }

void Measure(benchmark::State& state, const std::vector<std::string>& jobs, qm::accurate::AccurateFn count) {
    if (jobs.empty()) {
        state.SkipWithError("no jobs");
        return;
    }
    std::lock_guard<std::mutex> hold(qm::accurate::GroupLock(qm::FindCounter("PCLXL")->group));
    int64_t bytes = 0;
    uint32_t pages = 0, colour = 0;
    for (auto _ : state) {
        pages = colour = 0;
        for (const std::string& job : jobs) {
            qm::accurate::Result r;
            benchmark::DoNotOptimize(count(qm::Bytes(job), r));
            pages += r.pages.Pages();
            colour += r.pages.Count(QM_PAGE_COLOR);
        }
    }
    for (const std::string& job : jobs) bytes += static_cast<int64_t>(job.size());
    state.SetBytesProcessed(bytes * state.iterations());
    state.counters["colourPages"] = colour;
    state.counters["pages"] = pages;
    state.counters["jobs"] = static_cast<double>(jobs.size());
}

struct Row {
    const char* tag;
    const char* driver;  // in the file name
    const char* ext;
};
constexpr Row kRows[] = {
    {"PCL", ".", ".pcl"},          {"PCL", ".cdj550", ".pcl"}, {"PCL", ".cdj970", ".pcl"},
    {"PCL", ".cljet5", ".pcl"},    {"PCL", ".ljet4", ".pcl"},  {"PCL", ".deskjet", ".pcl"},
    {"PCL", ".pjxl", ".pcl"},      {"PCLXL", ".", ".pxl"},     {"PCLXL", ".pxlcolor", ".pxl"},
    {"PCLXL", ".pxlmono", ".pxl"}, {"PCLXL", ".lj5mono", ".pxl"},
};

const bool kRegistered = [] {
    for (const Row& row : kRows) {
        const bool pcl = std::string(row.tag) == "PCL";
        const std::string name = std::string(row.tag) + "/" + (row.driver[1] ? row.driver + 1 : "all");
        for (const bool colour : {false, true}) {
            const qm::accurate::AccurateFn fn = pcl ? (colour ? PclColour : PclPlain) : (colour ? XlColour : XlPlain);
            benchmark::RegisterBenchmark(((colour ? "colour/" : "plain/") + name).c_str(),
                                         [row, fn](benchmark::State& state) {
                                             static std::map<std::string, std::vector<std::string>> inputs;
                                             auto& jobs = inputs[std::string(row.driver) + row.ext];
                                             if (jobs.empty()) jobs = Jobs(row.driver, row.ext);
                                             Measure(state, jobs, fn);
                                         })
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
