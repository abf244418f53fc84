// The accurate count of PDF and PostScript jobs with and without reading
// their pages for colour, in one process on the same bytes in memory.
//   colour_peers REPS FILE...   per file: median microseconds with colour,
//                               without it, the pages, the colour pages, the
//                               pages left unknown, and the median
//                               microseconds of QuirometerCount on the file's
//                               path (what a host calls: the file opened and
//                               mapped, its language detected, colour read)
//                               and, for a PDF, the median microseconds of
//                               inflating its pages' content streams and
//                               nothing else: what any reader of the pages'
//                               content spends before it reads one operator
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "bench_jobs.h"
#include "pspdf/pdf_accurate.h"
#include "pspdf/pdf_accurate_document.h"
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

// Decodes the content streams of every page under `node` into `out`, timing
// the decoding alone.
void DecodeContents(qm::pdf::Document& doc, const qm::pdf::Value& node, int depth, std::string& out, double& micros) {
    using qm::pdf::Kind;
    qm::pdf::Object kh;
    const qm::pdf::Value& kids = doc.lookup(node, "Kids", kh);
    if (kids.kind == Kind::Array) {
        for (const qm::pdf::Value& kid : kids.items) {
            qm::pdf::Object one;
            if (depth < 64) DecodeContents(doc, doc.resolve(kid, one), depth + 1, out, micros);
        }
        return;
    }
    qm::pdf::Object ch;
    const qm::pdf::Value& contents = doc.lookup(node, "Contents", ch);
    std::vector<qm::pdf::Object> parts;
    if (ch.stream) parts.push_back(ch);
    for (size_t i = 0; contents.kind == Kind::Array && i < contents.items.size(); ++i) {
        qm::pdf::Object part;
        doc.resolve(contents.items[i], part);
        if (part.stream) parts.push_back(part);
    }
    for (const qm::pdf::Object& part : parts) {
        const auto a = std::chrono::steady_clock::now();
        doc.decode(part, out);
        micros += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - a).count();
    }
}

// Median microseconds of inflating the pages' content; 0 for a job that is
// no PDF or whose pages cannot be reached.
double InflateMicros(int reps, const std::string& bytes) {
    if (bytes.rfind("%PDF", 0) != 0) return 0;
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) {
        double micros = 0;
        try {
            qm::pdf::Document doc(qm::Bytes(bytes), 0);
            doc.readXref();
            qm::pdf::Object rh, ph;
            const qm::pdf::Value& root = doc.lookup(doc.trailer(), "Root", rh);
            std::string out;
            DecodeContents(doc, doc.lookup(root, "Pages", ph), 0, out, micros);
        } catch (const qm::pdf::Broken&) {
            return 0;
        }
        t.push_back(micros);
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
        const double inflate = InflateMicros(reps, bytes);
        std::printf("%s\t%.1f\t%.1f\t%u\t%u\t%u\t%.1f\t%.1f\n", argv[i], with, without, found.pages, found.colour,
                    found.unknown, host, inflate);
    }
    return 0;
}
