// The accurate PDF count timed beside libqpdf's own page count, in one
// process on the same bytes in memory.
//   pdf_peers time REPS FILE...   per file, median microseconds: the whole
//                                 accurate count, the count without reading
//                                 content for colour, libqpdf; then the pages
//                                 of ours and of libqpdf
//   pdf_count FILE                one accurate count, as a process of its own
//                                 (built without libqpdf; prints the pages)
#ifndef QM_COUNT_ONLY
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "pspdf/pdf_accurate.h"

namespace {

std::string Read(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

long Ours(const std::string& bytes) {
    qm::accurate::Result r;
    return qm::accurate::AccuratePDF(qm::Bytes(bytes), r) == QM_OK ? static_cast<long>(r.rec.pages) : -1;
}

#ifndef QM_COUNT_ONLY
long Structure(const std::string& bytes) {
    qm::accurate::Result r;
    return qm::pdf::Count(qm::Bytes(bytes), r, qm::pdf::Colour::Skip) == QM_OK ? static_cast<long>(r.rec.pages) : -1;
}

long Qpdf(const std::string& bytes) {
    try {
        QPDF q;
        q.setSuppressWarnings(true);
        q.processMemoryFile("job", bytes.data(), bytes.size(), "");
        return static_cast<long>(QPDFPageDocumentHelper(q).getAllPages().size());
    } catch (...) {
        return -1;
    }
}

template <typename F>
double MedianMicros(int reps, const std::string& bytes, F f, long& pages) {
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) {
        const auto a = std::chrono::steady_clock::now();
        pages = f(bytes);
        const auto b = std::chrono::steady_clock::now();
        t.push_back(std::chrono::duration<double, std::micro>(b - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef QM_COUNT_ONLY
    if (argc != 2) {
        std::fprintf(stderr, "usage: pdf_count FILE\n");
        return 2;
    }
    const long pages = Ours(Read(argv[1]));
    std::printf("%ld\n", pages);
    return pages < 0;
#else
    if (argc < 4 || std::string(argv[1]) != "time") {
        std::fprintf(stderr, "usage: pdf_peers time REPS FILE...\n");
        return 2;
    }
    const int reps = std::max(1, std::atoi(argv[2]));
    for (int i = 3; i < argc; ++i) {
        const std::string bytes = Read(argv[i]);
        long ours = 0, structure = 0, theirs = 0;
        const double a = MedianMicros(reps, bytes, Ours, ours);
        const double s = MedianMicros(reps, bytes, Structure, structure);
        const double b = MedianMicros(reps, bytes, Qpdf, theirs);
        std::printf("%s\t%.1f\t%.1f\t%.1f\t%ld\t%ld\n", argv[i], a, s, b, ours, theirs);
    }
    return 0;
#endif
}
