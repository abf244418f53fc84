// libFuzzer target for one counter (QM_FUZZ_TAG), or for all of them when the
// tag is empty (the first byte then picks the counter). Memory-mapped
// counters get the bytes in memory through the same shell as the entry
// point; the stream-read counters get them through a real file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "api/registry.h"
#include "jobfile/jobview.h"
#include "quirometer/quirometer.h"

#ifndef QM_FUZZ_TAG
#define QM_FUZZ_TAG ""
#endif

namespace {

std::string gJobPath;

// Takes every diagnostic line and reads it whole, so that the lines are
// formatted as the Windows library always formats them (without a listener
// nothing is formatted) and a line that is not terminated shows up.
size_t gLineBytes = 0;
void TakeLine(const char* line, void*) { gLineBytes += std::strlen(line); }

void CountOne(const qm::CounterInfo& c, const uint8_t* data, size_t size) {
    PageCountResult rec{};
    if (c.scan != nullptr) {
        qm::CountBytes(qm::Bytes(data, static_cast<uint32_t>(size)), &rec, c.scan, c.skipLeadingNul);
        return;
    }
    FILE* f = std::fopen(gJobPath.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
    c.entry(gJobPath.c_str(), &rec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    gJobPath = std::string(tmp && *tmp ? tmp : "/tmp") + "/qmfuzz-" + std::to_string(::getpid()) + ".job";
    QuirometerSetDebugOutput(&TakeLine, nullptr);
    // Interpreter traces would flood the fuzzer's output.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string tag = QM_FUZZ_TAG;
    if (!tag.empty()) {
        CountOne(*qm::FindCounter(tag), data, size);
        return 0;
    }
    if (size == 0) return 0;
    const auto counters = qm::Counters();
    CountOne(counters[data[0] % counters.size()], data + 1, size - 1);
    return 0;
}
