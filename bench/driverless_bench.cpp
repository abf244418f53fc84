// The driverless rasters: the walk of the page headers alone beside the
// colour decision from the pixels, on real jobs whose pages are grey in an
// RGB space (so every row must be looked at), repeated to QM_BENCH_MB
// megabytes (default 64) of job:
//   driverless/<kind>/walk    pages, copies, duplex and paper: headers, and
//                             for the run-coded kinds the run codes, never
//                             the pixels;
//   driverless/<kind>/colour  the same walk deciding each page's colour.
// Rows report the job's MBps, the decoded raster's decoded_MBps (bytes per
// line x lines, what the colour decision covers) and pages_per_s, in the
// thread's CPU time as the other rows of the benchmark.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdlib>
#include <map>
#include <string>

#include "bench_jobs.h"
#include "driverless/raster_accurate.h"

namespace {

using qmbench::CpuSeconds;
using qmbench::TargetBytes;

struct LongJob {
    std::string bytes;
    double decoded = 0;  // bytes of raster the pages state
};

// The job's file header once, its pages repeated to the target size.
LongJob Build(const std::string& path) {
    using namespace qm::driverless;
    LongJob out;
    const std::string job = qmbench::ReadFile(QM_SOURCE_DIR "/" + path);
    const qm::Bytes b(job);
    const RasterStream s = ReadSignature(b);
    RasterPage first;
    if (s.kind == RasterKind::None || ReadPageHeader(b, s.firstPage, s, first) != HeaderState::Valid) return out;
    qm::accurate::Result r;
    if (CountRaster(b, 0, r, Pixels::Skip) != QM_OK) return out;
    const double perCopy = double(r.rec.pages) * first.bytesPerLine * first.height;
    out.bytes = job.substr(0, s.firstPage);
    const std::string pages = job.substr(s.firstPage);
    while (out.bytes.size() < TargetBytes()) {
        out.bytes += pages;
        out.decoded += perCopy;
    }
    return out;
}

void Run(benchmark::State& state, const LongJob& job, qm::driverless::Pixels pixels) {
    if (job.bytes.empty()) {
        state.SkipWithError("no such job");
        return;
    }
    double cpu = 0;
    uint32_t pages = 0;
    for (auto _ : state) {
        qm::accurate::Result r;
        const double t0 = CpuSeconds();
        const int32_t code = qm::driverless::CountRaster(qm::Bytes(job.bytes), 0, r, pixels);
        cpu += CpuSeconds() - t0;
        benchmark::DoNotOptimize(code);
        pages = r.rec.pages;
    }
    const double n = double(state.iterations());
    state.counters["MBps"] = n * job.bytes.size() / cpu / 1e6;
    state.counters["decoded_MBps"] = n * job.decoded / cpu / 1e6;
    state.counters["pages_per_s"] = n * pages / cpu;
}

const bool kRegistered = [] {
    static const struct {
        const char* kind;
        const char* path;
    } kJobs[] = {
        {"PWGRaster", "tests/corpus/jobs/pwgraster/letter-memo-1.pwgraster-srgb.pwg"},
        {"URF", "tests/corpus/colour/jobs/driverless/mono-text-3.urf-srgb.urf"},
        {"CUPSRaster", "tests/corpus/colour/jobs/driverless/grey-images-2.cups-rgb.ras"},
    };
    for (const auto& j : kJobs) {
        for (const bool colour : {false, true}) {
            const std::string name = std::string("driverless/") + j.kind + (colour ? "/colour" : "/walk");
            benchmark::RegisterBenchmark(name.c_str(), [path = std::string(j.path), colour](benchmark::State& state) {
                static std::map<std::string, LongJob> built;  // built once per job, when its rows run
                if (!built.count(path)) built[path] = Build(path);
                Run(state, built[path], colour ? qm::driverless::Pixels::Read : qm::driverless::Pixels::Skip);
            })->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

}  // namespace
