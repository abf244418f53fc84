// The serial-printer accurate counts beside their exports, job by job, over
// the ESCP2 and CANON jobs of the corpus:
//   export_file/<TAG>/<job>    the exported entry point on the job's file;
//   export_mem/<TAG>/<job>     the export's interpreter over the job in memory;
//   accurate_mem/<TAG>/<job>   the accurate count over the job in memory;
//   accurate_file/<TAG>/<job>  the file mapped as the accurate API maps it,
//                              then the accurate count.
// Both are measured in the thread's CPU time. Standard output goes to
// /dev/null for the whole run: the Canon export traces every command there.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "bench_jobs.h"
#include "escp/canon.h"
#include "escp/commandstream.h"
#include "escp/escp2.h"
#include "jobfile/jobview.h"

namespace {

struct Job {
    std::string tag;
    std::string path;
    std::string name;
};

std::vector<Job> CorpusJobs() {
    std::vector<Job> jobs;
    const std::string dir = QM_SOURCE_DIR "/tests/corpus/";
    for (const auto& [file, tag] : qmbench::TruthJobs(dir))
        if (tag == "ESCP2" || tag == "CANON") jobs.push_back({tag, dir + file, file.substr(file.rfind('/') + 1)});
    return jobs;
}

void Export(benchmark::State& state, const Job* job) {
    const qm::accurate::Language* lang = qm::accurate::FindLanguage(job->tag);
    PageCountResult rec{};
    for (auto _ : state) {
        lang->counter->entry(job->path.c_str(), &rec);
        benchmark::DoNotOptimize(rec);
    }
    const int64_t size = static_cast<int64_t>(qmbench::ReadFile(job->path).size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

void ExportInMemory(benchmark::State& state, const Job* job) {
    const std::string bytes = qmbench::ReadFile(job->path);
    for (auto _ : state) {
        qm::CommandStream stream;
        stream.Attach(qm::Bytes(bytes));
        const PageCountResult rec = job->tag == "ESCP2" ? qm::escp2::CountStream(stream) : qm::canon::CountStream(stream);
        benchmark::DoNotOptimize(rec);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

void AccurateInMemory(benchmark::State& state, const Job* job) {
    const qm::accurate::Language* lang = qm::accurate::FindLanguage(job->tag);
    const std::string bytes = qmbench::ReadFile(job->path);
    for (auto _ : state) {
        qm::accurate::Result r;
        benchmark::DoNotOptimize(lang->count(qm::Bytes(bytes), r));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

void Accurate(benchmark::State& state, const Job* job) {
    const qm::accurate::Language* lang = qm::accurate::FindLanguage(job->tag);
    size_t size = 0;
    for (auto _ : state) {
        qm::JobFileView view;
        int32_t code = 0;
        if (!view.Open(job->path.c_str(), code)) {
            state.SkipWithError("cannot map the job");
            return;
        }
        size = view.bytes().size;
        qm::accurate::Result r;
        benchmark::DoNotOptimize(lang->count(view.bytes(), r));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

}  // namespace

int main(int argc, char** argv) {
    std::fflush(stdout);
    const int keep = ::dup(1);
    const int devnull = ::open("/dev/null", O_WRONLY);
    if (keep < 0 || devnull < 0 || ::dup2(devnull, 1) < 0) return 1;
    // The report goes to the kept descriptor.
    FILE* report = ::fdopen(keep, "w");
    if (report == nullptr) return 1;
    static const std::vector<Job> jobs = CorpusJobs();
    for (const Job& job : jobs) {
        const std::string suffix = "/" + job.tag + "/" + job.name;
        benchmark::RegisterBenchmark(("export_file" + suffix).c_str(), Export, &job)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("export_mem" + suffix).c_str(), ExportInMemory, &job)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("accurate_mem" + suffix).c_str(), AccurateInMemory, &job)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("accurate_file" + suffix).c_str(), Accurate, &job)->MeasureProcessCPUTime();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::ConsoleReporter console(benchmark::ConsoleReporter::OO_Tabular);
    std::ostringstream out;
    console.SetOutputStream(&out);
    console.SetErrorStream(&out);
    benchmark::RunSpecifiedBenchmarks(&console);
    std::fputs(out.str().c_str(), report);
    std::fclose(report);
    ::close(devnull);
    benchmark::Shutdown();
    return 0;
}
