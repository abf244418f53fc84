// Throughput of every counter beside the bound for a scan: one memchr pass
// over the same bytes. Two inputs per counter, each QM_BENCH_MB megabytes
// (default 64):
//   count/<TAG>  the corpus and sample jobs of the language repeated (random
//                bytes for languages with no real job);
//   dense/<TAG>  commands and page marks as close together as the language
//                allows, for the languages scanned byte by byte.
// Each row reports MBps, the memchr pass's memchr_MBps over the same buffer
// and their ratio. Both rates are measured in the thread's CPU time, so
// that other work on a shared machine does not skew the ratio. Inputs are
// built when their rows run, one at a time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <ext/stdio_filebuf.h>
#include <iostream>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "api/registry.h"
#include "bench_jobs.h"
#include "jobfile/jobview.h"

namespace {

// Real jobs per tag from the truth files of the corpus and the samples.
std::map<std::string, std::vector<std::string>> RealJobs() {
    std::map<std::string, std::vector<std::string>> jobs;
    for (const std::string dir : {QM_SOURCE_DIR "/tests/corpus", QM_SOURCE_DIR "/samples"}) {
        for (const auto& [file, tag] : qmbench::TruthJobs(dir)) {
            const qm::CounterInfo* c = qm::FindCounter(tag);
            if (c == nullptr) continue;
            std::string bytes = qmbench::ReadFile(dir + "/" + file);
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
        const double t0 = qmbench::CpuSeconds();
        const size_t hits = MemchrPass(bytes, b);
        benchmark::DoNotOptimize(hits);
        const double s = qmbench::CpuSeconds() - t0;
        rates.push_back(static_cast<double>(bytes.size()) / 1e6 / std::max(s, 1e-9));
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

// Pieces that dense inputs are made of: commands, page marks and the bytes
// that start them, per language. A dense input is these pieces in random
// order and nothing else.
struct DensePieces {
    const char* tag;
    std::vector<std::string> pieces;
    std::string head = {};  // the file header of record streams
};

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

std::string Be32(uint32_t v) { return B({int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)}); }
std::string Le32(uint32_t v) { return B({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)}); }

const std::vector<DensePieces>& DenseTable() {
    static const std::vector<DensePieces> table = {
        {"PCL", {"\x0c", "\x1b&l2X", "\x1b*b4Wabcd", "\x1b&a0N", "\x1b*r1A", "\x1b*rC", "\x1b&l26A", "\x1b*v1A",
                 "@PJL SET COPIES=2\n", "\x1b(s0p12h0s3b4099T", "\x1b" "E"}},
        {"PCLXL", {B({0xC0, 0x00, 0xF8, 0x25}), B({0x43}), B({0x44}), B({0xC0, 0x02, 0xF8, 0x03, 0x6A}),
                   B({0xD1, 0x10, 0x00, 0x20, 0x00, 0xF8, 0x4C, 0x6B}), B({0xC1, 0x01, 0x00, 0xF8, 0x31})}},
        {"HPGL", {"PG;", "PS1000,2000;", "RP2;", "BP;", "PE<=abc;", "PA10,10;", "PD20,20;", "SP1;", "\x1b%0B",
                  "\x1b%1A", "\x1b*v1A"}},
        {"UnixTextPCL", {"\x1b&l0h1", "\x1b&l", "\x1b", "text\r\n"}},
        {"POSTSCRIPT", {"%%Page: 1 1\n", "showpage\n", "/PageSize [595 842]", "90 rotate ", "1 0 0 scol ",
                        "%%Pages: 3\n", "#copies 2 ", "/Duplex true ", "*EFDuplex Top\n", "[ 0 0 0 ]",
                        "setABCcs ", "/NumCopies 1 "}},
        {"RPCS", {B({'%', 0, 0, 0, 0, '#'}), B({'%', 0, 3, '#'}), "@PJL SET COPIES=2\n", "@PJL SET DUPLEX=ON\n",
                  "@PJL SET PAPER = A4\r\n", "@PJL\n"}},
        {"ESC_PAGE", {"\x0c", "\x1d" "1;1;1eps{I", "\x1d" "3bI", "\x1d" "1cpE", "\x1d" "0dpsE",
                      "@EJL SET CO=2 DX=ON\n", "\x1d" "14psE"}},
        {"QPDL", {B({0x00, 0x06, 0x00, 0x02, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0C, 0x00, 0x13, 0x60, 0, 0, 0,
                     0, 0x00, 0x02, 0, 0}),
                  "@PJL SET COLORMODE = COLOR\n", "@PJL\n", ")\n", "\x1b"}},
        {"IPDL", {B({0x0F, 'A', 'U'}), B({0x01, 'A', 0x00, 0x00, 0x00, 0x00, 0x02, '@', 0x00, 0x03, 0x13, 0x00, 0x1A, 0x00})}},
        {"PrintronixGL", {B({0xD4, 0xEF, 0xF2}), B({0xD4, 0xEF, 0xF2, 0x91, 0x9B, 0xA7}), B({0x91}), B({0xA7})}},
        {"HIPERC", {B({0x00, 0x00, 0x00, 0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03}), "@PJL SET QTY=2\n", "@"}},
        {"OKI", {"\x1b", "\x1b*", "\x1b&", "\x1b%", "\x1b" "E", "\x1b*b2Wab", "\x1b&l1X"}},
        {"TCPL", {"\x1b", "\x1bP1;1;1;2;ab", "\x1b" "C2;", "\x1b" "E", "\x1b%"}},
        {"PANASONIC", {"\x1b", B({0x1B, 0x01, 0x00, 'q'}), B({0x1B, 0x03, 0x00, 'P', 1, 2}), B({0x1B, 0x02, 0x00, 'C', 2})}},
        {"CanonUFR", {"\x1b", "\x1b%", "\x1b&", "\x1b*", "\x1b" "E", "\x1b[1;2P"}},
        {"ESCP2", {"\x0c", "\x1b@", "\x1bJ\x10", "\r", "\n", "\x1b(U\x01\x00\x0a", "\x1b" "3\x18", "text"}},
        {"CANON", {"\x0c", "\x1b@", "\x1bJ\x10", "\r\n", "\x1b" "3\x18", "text"}},
        // Record streams: the smallest records there are, one page each.
        {"ZJSTREAM", {Be32(16) + Be32(3) + Be32(0) + Be32(0x5A5A)}, "JZJZ"},
        {"ZIMF", {B({0xCD, 0x9A, 0xA9, 0xDC}) + Le32(20) + std::string(8, '\0') + Le32(13)}, "ZIMF"},
        {"HBP", {"@F", B({'@', 'G', 0, 0, 2, 'a', 'b'})}},
        {"BrotherNCM", {B({0x1B, 0x7C, 0x01, 0x00, 0x06, 0x52}), B({'G', 2, 0, 'a', 'b'})}},
    };
    return table;
}

const DensePieces* FindDense(const std::string& tag) {
    for (const DensePieces& d : DenseTable())
        if (tag == d.tag) return &d;
    return nullptr;
}

std::string BuildDense(const DensePieces& d, size_t target) {
    std::mt19937 rng(7);
    std::string out = d.head;
    out.reserve(target + 64);
    while (out.size() < target) out += d.pieces[rng() % d.pieces.size()];
    return out;
}

struct Input {
    std::string bytes;
    std::string path;  // for the stream-read counters
    std::string label;
};

enum class Kind { Real, Dense };

// The input of the rows that run now; built on first use and replaced when
// the next counter's rows start, so only one input is held at a time.
std::string gKey;
Input gInput;

void ReleaseInput() {
    if (!gInput.path.empty()) ::unlink(gInput.path.c_str());
    gInput = Input{};
    gKey.clear();
}

const Input& GetInput(const qm::CounterInfo& c, Kind kind) {
    static const std::map<std::string, std::vector<std::string>> real = RealJobs();
    const std::string want = std::string(c.tag) + (kind == Kind::Dense ? "/dense" : "/real");
    if (gKey == want) return gInput;
    ReleaseInput();
    gKey = want;
    Input& in = gInput;
    const size_t target = qmbench::TargetBytes();
    if (kind == Kind::Dense) {
        in.bytes = BuildDense(*FindDense(c.tag), target);
        in.label = "dense";
    } else {
        const auto it = real.find(c.tag);
        in.bytes = BuildInput(it != real.end() ? it->second : std::vector<std::string>{}, target);
        in.label = it != real.end() ? "real jobs" : "random bytes";
    }
    if (c.scan == nullptr) {
        in.path = "/tmp/qmbench-" + std::to_string(::getpid()) + "-" + c.tag;
        std::ofstream(in.path, std::ios::binary).write(in.bytes.data(), static_cast<std::streamsize>(in.bytes.size()));
    }
    return in;
}

void Count(benchmark::State& state, const qm::CounterInfo* c, Kind kind) {
    const Input& in = GetInput(*c, kind);
    PageCountResult rec{};
    const double t0 = qmbench::CpuSeconds();
    for (auto _ : state) {
        const int32_t code = c->scan != nullptr ? qm::CountBytes(qm::Bytes(in.bytes), &rec, c->scan, c->skipLeadingNul)
                                                : c->entry(in.path.c_str(), &rec);
        benchmark::DoNotOptimize(code);
        benchmark::DoNotOptimize(rec);
    }
    const double elapsed = qmbench::CpuSeconds() - t0;
    const double total = static_cast<double>(state.iterations()) * static_cast<double>(in.bytes.size());
    state.SetBytesProcessed(static_cast<int64_t>(total));
    const double countRate = total / 1e6 / std::max(elapsed, 1e-9);
    const double bound = MemchrMBps(in.bytes);
    state.counters["MBps"] = countRate;
    state.counters["memchr_MBps"] = bound;
    state.counters["ratio"] = countRate / bound;
    state.counters["pages"] = rec.pages;
    state.SetLabel(in.label);
}

void Memchr(benchmark::State& state, const qm::CounterInfo* c, Kind kind) {
    const Input& in = GetInput(*c, kind);
    const int b = RarestByte(in.bytes);
    for (auto _ : state) {
        const size_t hits = MemchrPass(in.bytes, b);
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.bytes.size()));
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
    // Written through the kept descriptor itself (not a reopened path), so a
    // log file that standard output points to is neither truncated nor
    // overwritten.
    __gnu_cxx::stdio_filebuf<char> reportBuffer(keep, std::ios::out);
    std::ostream report(&reportBuffer);
    benchmark::Initialize(&argc, argv);
    for (const qm::CounterInfo& c : qm::Counters()) {
        for (Kind kind : {Kind::Real, Kind::Dense}) {
            if (kind == Kind::Dense && FindDense(c.tag) == nullptr) continue;
            const std::string name = std::string(c.tag);
            const char* row = kind == Kind::Dense ? "dense" : "count";
            // "memchr/PCL" and "memchr/PCL/dense": the filters count/ and
            // dense/ select the counter rows only.
            const std::string bound = "memchr/" + name + (kind == Kind::Dense ? "/dense" : "");
            benchmark::RegisterBenchmark(bound.c_str(), Memchr, &c, kind)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((std::string(row) + "/" + name).c_str(), Count, &c, kind)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::ConsoleReporter display(benchmark::ConsoleReporter::OO_Tabular);
    display.SetOutputStream(&report);
    display.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&display);
    ReleaseInput();
    benchmark::Shutdown();
    return 0;
}
