// The accurate count of PDF and PostScript jobs with and without reading
// their pages for colour, in one process on the same bytes in memory.
//   colour_peers REPS FILE...   per file: median microseconds with colour,
//                               without it, the pages, the colour pages, the
//                               pages left unknown, and the median
//                               microseconds of QuirometerCount on the file's
//                               path (what a host calls: the file opened and
//                               mapped, its language detected, colour read)
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
#include "quirometer/quirometer.h"

namespace {

struct Found {
    uint32_t pages = 0, colour = 0, unknown = 0;
};

Found CountOnce(const std::string& bytes, bool colour) {
    qm::accurate::Result r;
    const qm::Bytes job(bytes);
    const bool pdf = bytes.rfind("%PDF", 0) == 0;
    const int32_t code = pdf ? qm::pdf::Count(job, r, colour ? qm::pdf::Colour::Read : qm::pdf::Colour::Skip)
                             : qm::psaccurate::CountPostScript(job, r, colour);
    if (code != QM_OK) return {};
    qm::accurate::Finish(r);
    return {r.rec.pages, r.pages.Count(QM_PAGE_COLOR), r.pages.Count(QM_PAGE_COLOR_UNKNOWN)};
}

double MedianMicros(int reps, const std::string& bytes, bool colour, Found& found) {
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) {
        const auto a = std::chrono::steady_clock::now();
        found = CountOnce(bytes, colour);
        t.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

double HostMicros(int reps, const char* path) {
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) {
        QuirometerJob job{};
        job.size = sizeof job;
        const auto a = std::chrono::steady_clock::now();
        QuirometerCount(path, nullptr, &job);
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
        Found found, none;
        const double with = MedianMicros(reps, bytes, true, found);
        const double without = MedianMicros(reps, bytes, false, none);
        const double host = HostMicros(reps, argv[i]);
        std::printf("%s\t%.1f\t%.1f\t%u\t%u\t%u\t%.1f\n", argv[i], with, without, found.pages, found.colour, found.unknown,
                    host);
    }
    return 0;
}
