// libFuzzer target for the colour pass of the raster streams: the accurate
// count of ESC/P2, Canon, ZjStream, OAKT, HIPERC, PPA, Lexmark, QPDL or
// ESC/Page (the language detection finds, or else the one the first byte
// picks over the bytes after it), then the page log checked against the
// record it settles: one entry per page, each colour and side a known code,
// and the job's colour what its pages make it.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "accurate/accurate.h"
#include "fuzz_count.h"
#include "quirometer/quirometer.h"

namespace {

using namespace qm::accurate;

constexpr std::string_view kStreams[] = {"ESCP2", "CANON", "ZJSTREAM", "OAKT", "HIPERC",
                                         "PPA", "Lexmark", "QPDL", "ESC_PAGE"};

void TakeLine(const char*, void*) {}

void Check(const Result& r) {
    if (r.pages.Pages() != r.rec.pages) __builtin_trap();
    uint32_t colour = 0, unknown = 0, number = 0;
    for (const PageLog::Run& run : r.pages.Runs()) {
        if (run.count == 0) __builtin_trap();
        const QuirometerPage p = Deliver(r, run.page, ++number);
        number += run.count - 1;
        if (p.color > QM_PAGE_COLOR_UNKNOWN || p.side > QM_SIDE_BACK) __builtin_trap();
        if (!(p.paperWidth >= 0.0) || !(p.paperLength >= 0.0) || !std::isfinite(p.paperWidth) ||
            !std::isfinite(p.paperLength))
            __builtin_trap();
        if (p.color == QM_PAGE_COLOR) colour += run.count;
        if (p.color == QM_PAGE_COLOR_UNKNOWN) unknown += run.count;
    }
    if (number != r.rec.pages || r.pages.Runs().size() > PageLog::kMaxRuns) __builtin_trap();
    // Colour when a page is; never mono when one is open (the job's colour
    // may still be known when its pages were made from a colour record);
    // mono when every page is.
    const bool unknownColour = (r.unknown & QM_FIELD_COLOR) != 0;
    if (colour > 0 && (r.rec.color != 1 || unknownColour)) __builtin_trap();
    if (colour == 0 && unknown > 0 && r.rec.color != 1) __builtin_trap();
    if (colour == 0 && unknown == 0 && (r.rec.color != 0 || unknownColour)) __builtin_trap();
}

void CountWith(const Language& lang, qm::Bytes bytes) {
    Result r;
    if (qmfuzz::CountAndSettle(lang, bytes, r)) Check(r);
}

bool IsStream(const Language& lang) {
    for (std::string_view tag : kStreams)
        if (tag == lang.counter->tag) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QuirometerSetDebugOutput(&TakeLine, nullptr);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 0;  // interpreter traces
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const qm::Bytes job(data, static_cast<uint32_t>(size));
    const Detection found = Detect(job);
    if (found.winner != nullptr && IsStream(*found.winner)) {
        CountWith(*found.winner, job);
    } else if (size > 0) {
        const Language* lang = FindLanguage(kStreams[data[0] % std::size(kStreams)]);
        if (lang != nullptr) CountWith(*lang, qm::Bytes(data + 1, static_cast<uint32_t>(size - 1)));
    }
    return 0;
}
