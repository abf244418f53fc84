// The accurate counts beside the exports on the same real jobs:
//   accurate/PCL and export/PCL         every PCL corpus job, concatenated to
//                                       QM_BENCH_MB megabytes (default 64);
//   accurate/PCL/<device>, export/...   the jobs of one kind of driver;
//   accurate/POSTSCRIPT/<writer>        one large job per PostScript writer:
//                                       the header and prolog of the writer's
//                                       corpus job with the most page content
//                                       once, its pages repeated to the same size;
//   accurate/POSTSCRIPT/job/<file>      each corpus PostScript job as it stands.
// Rates are in the thread's CPU time, as the other rows of the benchmark.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "bench_jobs.h"

namespace {

using qmbench::CpuSeconds;
using qmbench::TargetBytes;

// Corpus jobs of a tag whose file name holds `part`, by file name.
std::vector<std::pair<std::string, std::string>> CorpusJobs(const std::string& tag, const std::string& part) {
    std::vector<std::pair<std::string, std::string>> jobs;
    const std::string dir = QM_SOURCE_DIR "/tests/corpus";
    for (const qmbench::TruthJob& job : qmbench::TruthJobs(dir)) {
        if (job.tag != tag || job.file.find(part) == std::string::npos) continue;
        std::string bytes = qmbench::ReadFile(dir + "/" + job.file);
        if (!bytes.empty()) jobs.emplace_back(job.file, std::move(bytes));
    }
    return jobs;
}

std::string Repeat(const std::vector<std::pair<std::string, std::string>>& jobs, size_t target) {
    std::string out;
    if (jobs.empty()) return out;
    out.reserve(target + jobs.front().second.size());
    while (out.size() < target)
        for (const auto& j : jobs) out += j.second;
    return out;
}

// A long PostScript job from a short one: everything before the first page
// once, the pages repeated, the trailer once.
std::string LongPostScript(const std::string& job, size_t target) {
    const size_t first = job.find("\n%%Page:");
    const size_t trailer = job.rfind("\n%%Trailer");
    if (first == std::string::npos || trailer == std::string::npos || trailer <= first) return {};
    std::string out = job.substr(0, first + 1);
    const std::string pages = job.substr(first + 1, trailer - first);
    out.reserve(target + job.size());
    while (out.size() < target) out += pages;
    out += job.substr(trailer + 1);
    return out;
}

void Measure(benchmark::State& state, const std::string& bytes, qm::accurate::AccurateFn count) {
    if (bytes.empty()) {
        state.SkipWithError("no corpus jobs");
        return;
    }
    qm::accurate::Result r;
    double cpu = 0;
    for (auto _ : state) {
        r = qm::accurate::Result{};
        const double t0 = CpuSeconds();
        const int32_t code = count(qm::Bytes(reinterpret_cast<const uint8_t*>(bytes.data()),
                                             static_cast<uint32_t>(bytes.size())), r);
        cpu += CpuSeconds() - t0;
        benchmark::DoNotOptimize(code);
    }
    state.counters["MBps"] = static_cast<double>(bytes.size()) * static_cast<double>(state.iterations()) / 1e6 / cpu;
    state.counters["pages"] = r.rec.pages;
}

int32_t ExportPcl(qm::Bytes job, qm::accurate::Result& out) { return qm::accurate::PassThrough("PCL", job, out); }

struct PclRow {
    const char* name;
    const char* part;  // in the file name; "" for every job
};
constexpr PclRow kPclRows[] = {{"all", ""}, {"ljet4", ".ljet4"}, {"cdj850", ".cdj850"}, {"cljet5", ".cljet5"},
                               {"deskjet", ".deskjet"}};
constexpr const char* kPsWriters[] = {"ps2write", "pdftops", "pdftocairo"};

const bool kRegistered = [] {
    for (const PclRow& row : kPclRows) {
        const std::string suffix = std::string("/PCL/") + row.name;
        for (const bool accurate : {true, false}) {
            benchmark::RegisterBenchmark(((accurate ? "accurate" : "export") + suffix).c_str(),
                                         [row, accurate](benchmark::State& state) {
                                             static std::map<std::string, std::string> inputs;
                                             std::string& bytes = inputs[row.part];
                                             if (bytes.empty()) bytes = Repeat(CorpusJobs("PCL", row.part), TargetBytes());
                                             Measure(state, bytes, accurate ? qm::accurate::AccuratePCL : ExportPcl);
                                         })
                ->Unit(benchmark::kMillisecond);
        }
    }
    for (const char* writer : kPsWriters) {
        benchmark::RegisterBenchmark((std::string("accurate/POSTSCRIPT/") + writer).c_str(),
                                     [writer](benchmark::State& state) {
                                         // The writer's job with the most page content.
                                         std::string best;
                                         size_t most = 0;
                                         for (const auto& [file, job] : CorpusJobs("POSTSCRIPT", std::string(".") + writer)) {
                                             const size_t first = job.find("\n%%Page:");
                                             const size_t trailer = job.rfind("\n%%Trailer");
                                             if (first == std::string::npos || trailer == std::string::npos || trailer <= first) continue;
                                             if (trailer - first > most) most = trailer - first, best = job;
                                         }
                                         const std::string bytes = LongPostScript(best, TargetBytes());
                                         Measure(state, bytes, qm::accurate::AccuratePOSTSCRIPT);
                                     })
            ->Unit(benchmark::kMillisecond);
    }
    // Each corpus PostScript job as it stands, for bench/peers.sh's table
    // beside Ghostscript.
    for (const auto& [file, job] : CorpusJobs("POSTSCRIPT", "")) {
        const std::string name = "accurate/POSTSCRIPT/job/" + file.substr(file.rfind('/') + 1);
        benchmark::RegisterBenchmark(name.c_str(), [bytes = job](benchmark::State& state) {
            Measure(state, bytes, qm::accurate::AccuratePOSTSCRIPT);
        })->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

}  // namespace
