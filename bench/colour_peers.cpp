// The accurate count of PDF and PostScript jobs with and without reading
// their pages for colour, in one process on the same bytes in memory.
//   colour_peers REPS FILE...   per file: median microseconds with colour,
//                               without it, and the colour pages found
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "bench_jobs.h"
#include "pspdf/pdf_accurate.h"
#include "pspdf/postscript_accurate.h"

namespace {

uint32_t CountOnce(const std::string& bytes, bool colour) {
    qm::accurate::Result r;
    const qm::Bytes job(bytes);
    const bool pdf = bytes.rfind("%PDF", 0) == 0;
    const int32_t code = pdf ? qm::pdf::Count(job, r, colour ? qm::pdf::Colour::Read : qm::pdf::Colour::Skip)
                             : qm::psaccurate::CountPostScript(job, r, colour);
    if (code != QM_OK) return UINT32_MAX;
    qm::accurate::Finish(r);
    return r.pages.Count(QM_PAGE_COLOR);
}

double MedianMicros(int reps, const std::string& bytes, bool colour, uint32_t& found) {
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) {
        const auto a = std::chrono::steady_clock::now();
        found = CountOnce(bytes, colour);
        t.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: colour_peers REPS FILE...\n");
        return 2;
    }
    const int reps = std::max(1, std::atoi(argv[1]));
    for (int i = 2; i < argc; ++i) {
        const std::string bytes = qmbench::ReadFile(argv[i]);
        uint32_t colourPages = 0, none = 0;
        const double with = MedianMicros(reps, bytes, true, colourPages);
        const double without = MedianMicros(reps, bytes, false, none);
        std::printf("%s\t%.1f\t%.1f\t%u\n", argv[i], with, without, colourPages);
    }
    return 0;
}
