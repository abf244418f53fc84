// Throughput of every counter beside the bound for a scan: one memchr pass
// over the same bytes. Jobs are the corpus and sample jobs of each language
// repeated up to QM_BENCH_MB megabytes (default 64); languages with no real
// job get random bytes. Each counter row reports MB/s, the memchr pass's
// MB/s over the same buffer, and the ratio of the two.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <iostream>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "api/registry.h"
#include "jobfile/jobview.h"

namespace {

size_t BenchBytes() {
    const char* mb = std::getenv("QM_BENCH_MB");
    const long v = mb ? std::atol(mb) : 64;
    return static_cast<size_t>(v > 0 ? v : 64) << 20;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Real jobs per tag from the truth files of the corpus and the samples.
std::map<std::string, std::vector<std::string>> RealJobs() {
    std::map<std::string, std::vector<std::string>> jobs;
    for (const char* dir : {QM_SOURCE_DIR "/tests/corpus", QM_SOURCE_DIR "/samples"}) {
        std::ifstream truth(std::string(dir) + "/truth.tsv");
        std::string line;
        while (std::getline(truth, line)) {
            std::istringstream cols(line);
            std::string file, tag;
            if (!std::getline(cols, file, '\t') || !std::getline(cols, tag, '\t') || file == "file") continue;
            const qm::CounterInfo* c = qm::FindCounter(tag);
            if (c == nullptr) continue;
            std::string bytes = ReadFile(std::string(dir) + "/" + file);
            if (!bytes.empty()) jobs[c->tag].push_back(std::move(bytes));
        }
    }
    return jobs;
}

std::string BuildInput(const std::vector<std::string>& jobs, size_t target) {
    std::string out;
    out.reserve(target + (jobs.empty() ? 0 : jobs.front().size()));
    if (jobs.empty()) {
        std::mt19937_64 rng(42);
        out.resize(target);
        for (size_t i = 0; i + 8 <= target; i += 8) {
            const uint64_t r = rng();
            std::memcpy(&out[i], &r, 8);
        }
        // Leave one byte value out so the memchr bound reads everything.
        std::replace(out.begin(), out.end(), '\xFF', '\xFE');
        return out;
    }
    while (out.size() < target)
        for (const std::string& j : jobs) out += j;
    return out;
}

// The byte that occurs least often in the buffer (ideally never).
int RarestByte(const std::string& bytes) {
    std::vector<size_t> counts(256, 0);
    for (unsigned char c : bytes) ++counts[c];
    return static_cast<int>(std::min_element(counts.begin(), counts.end()) - counts.begin());
}

// One memchr pass over the whole buffer: the search for the rarest byte,
// resumed after each hit.
size_t MemchrPass(const std::string& bytes, int b) {
    size_t hits = 0;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    while (p < end) {
        const void* q = std::memchr(p, b, static_cast<size_t>(end - p));
        if (q == nullptr) break;
        ++hits;
        p = static_cast<const char*>(q) + 1;
    }
    return hits;
}

double MemchrMBps(const std::string& bytes) {
    const int b = RarestByte(bytes);
    std::vector<double> rates;
    for (int rep = 0; rep < 5; ++rep) {
        const auto t0 = std::chrono::steady_clock::now();
        const size_t hits = MemchrPass(bytes, b);
        benchmark::DoNotOptimize(hits);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        rates.push_back(static_cast<double>(bytes.size()) / 1e6 / std::max(s, 1e-9));
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

struct Input {
    std::string bytes;
    std::string path;  // for the stream-read counters
    bool real = false;
};

void Count(benchmark::State& state, const qm::CounterInfo* c, const Input* in) {
    PageCountResult rec{};
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const int32_t code = c->scan != nullptr
                                 ? qm::CountBytes(qm::Bytes(in->bytes), &rec, c->scan, c->skipLeadingNul)
                                 : c->entry(in->path.c_str(), &rec);
        benchmark::DoNotOptimize(code);
        benchmark::DoNotOptimize(rec);
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double total = static_cast<double>(state.iterations()) * static_cast<double>(in->bytes.size());
    state.SetBytesProcessed(static_cast<int64_t>(total));
    const double countRate = total / 1e6 / std::max(elapsed, 1e-9);
    const double bound = MemchrMBps(in->bytes);
    state.counters["MBps"] = countRate;
    state.counters["memchr_MBps"] = bound;
    state.counters["ratio"] = countRate / bound;
    state.counters["pages"] = rec.pages;
    state.SetLabel(in->real ? "real jobs" : "random bytes");
}

void Memchr(benchmark::State& state, const Input* in) {
    const int b = RarestByte(in->bytes);
    for (auto _ : state) {
        const size_t hits = MemchrPass(in->bytes, b);
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in->bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    // Interpreter traces go nowhere while measuring; the report keeps the
    // real standard output.
    std::fflush(stdout);
    const int keep = ::dup(1);
    const int devnull = ::open("/dev/null", O_WRONLY);
    if (keep < 0 || devnull < 0 || ::dup2(devnull, 1) < 0) return 1;
    ::close(devnull);
    std::ofstream report("/dev/fd/" + std::to_string(keep));
    benchmark::Initialize(&argc, argv);
    const size_t target = BenchBytes();
    const auto real = RealJobs();
    static std::vector<Input> inputs(qm::Counters().size());
    std::vector<std::string> tempFiles;
    size_t k = 0;
    for (const qm::CounterInfo& c : qm::Counters()) {
        Input& in = inputs[k++];
        const auto it = real.find(c.tag);
        in.real = it != real.end();
        in.bytes = BuildInput(in.real ? it->second : std::vector<std::string>{}, target);
        if (c.scan == nullptr) {
            in.path = "/tmp/qmbench-" + std::to_string(::getpid()) + "-" + c.tag;
            std::ofstream(in.path, std::ios::binary).write(in.bytes.data(), static_cast<std::streamsize>(in.bytes.size()));
            tempFiles.push_back(in.path);
        }
        benchmark::RegisterBenchmark((std::string("memchr/") + c.tag).c_str(), Memchr, &in)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("count/") + c.tag).c_str(), Count, &c, &in)->Unit(benchmark::kMillisecond);
    }
    benchmark::ConsoleReporter display;
    display.SetOutputStream(&report);
    display.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&display);
    for (const std::string& p : tempFiles) ::unlink(p.c_str());
    benchmark::Shutdown();
    return 0;
}
