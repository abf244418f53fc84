// The colour pass of the raster streams beside the count without it, job by
// job, over the colour-truth jobs (tests/corpus/colour/streams.tsv), all in
// memory:
//   count/<TAG>/<job>   the export's counter over the bytes: pages, no colour
//                       page by page;
//   colour/<TAG>/<job>  the accurate count, which reads each page's colour
//                       as it walks, its page log settled and every page
//                       delivered as QuirometerCountPages hands them over.
// Standard output goes to /dev/null for the whole run: the Canon export
// traces every command there.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "bench_jobs.h"

namespace {

struct Job {
    std::string tag, name, bytes;
};

void Count(benchmark::State& state, const Job* job) {
    for (auto _ : state) {
        qm::accurate::Result r;
        benchmark::DoNotOptimize(qm::accurate::PassThrough(job->tag, qm::Bytes(job->bytes), r));
        benchmark::DoNotOptimize(r.rec);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(job->bytes.size()));
}

void Colour(benchmark::State& state, const Job* job) {
    const qm::accurate::Language* lang = qm::accurate::FindLanguage(job->tag);
    for (auto _ : state) {
        qm::accurate::Result r;
        benchmark::DoNotOptimize(lang->count(qm::Bytes(job->bytes), r));
        qm::accurate::Finish(r);
        uint32_t number = 0, colour = 0;
        for (const auto& run : r.pages.Runs())
            for (uint32_t k = 0; k < run.count; ++k)
                colour += qm::accurate::Deliver(r, run.page, ++number).color == QM_PAGE_COLOR;
        benchmark::DoNotOptimize(colour);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(job->bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = QM_SOURCE_DIR "/tests/corpus/colour";
    static std::vector<Job> jobs;
    for (const auto& [file, tag] : qmbench::TruthJobs(dir, "streams.tsv"))
        jobs.push_back({tag, file.substr(file.rfind('/') + 1), qmbench::ReadFile(dir + "/" + file)});
    for (const Job& job : jobs) {
        benchmark::RegisterBenchmark(("count/" + job.tag + "/" + job.name).c_str(), Count, &job);
        benchmark::RegisterBenchmark(("colour/" + job.tag + "/" + job.name).c_str(), Colour, &job);
    }
    benchmark::Initialize(&argc, argv);
    fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);  // the report goes to standard error
    benchmark::ConsoleReporter console(benchmark::ConsoleReporter::OO_Tabular);
    console.SetOutputStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&console);
    if (saved >= 0) dup2(saved, 1);
    benchmark::Shutdown();
    return 0;
}
