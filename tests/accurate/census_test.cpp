// The census: what a real CUPS sends for every Debian driver
// (tests/corpus/census, written by scripts/corpus/census.sh). Every job of a
// language we count is named and counted right; every job of a language
// outside ours is unknown; every cut of a job is its own language or unknown.
// known.tsv lists the jobs we still miss, with what we report today, so a
// change either way is seen.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "accurate/accurate.h"
#include "casefile.h"
#include "testutil.h"

namespace {

using qmtest::CaseRow;

const std::string kCensus = std::string(QM_SOURCE_DIR) + "/tests/corpus/census/";
constexpr double kPaperSlack = 0.05;  // inches: drivers round the sheet to their dots

std::string Detected(const std::string& bytes) {
    const auto d = qm::accurate::Detect(qm::Bytes(bytes));
    return d.winner ? d.winner->counter->tag : "unknown";
}

bool IsOurTag(const std::string& language) {
    const auto* l = qm::accurate::FindLanguage(language);
    return l != nullptr && l->counter->tag == language;
}

// What is expected of a job: its truth, or what known.tsv says we report today.
struct Want {
    std::string tag;
    uint32_t pages = 0, copies = 1, duplex = 0;
    int colour = -1;             // -1: not checked
    double width = 0, length = 0;  // 0: not checked
};

TEST(Census, EveryJobNamedAndCountedRightOrUnknown) {
    std::string error;
    const auto truth = qmtest::ReadTsv(kCensus + "truth.tsv", "census truth.tsv", error);
    std::map<std::string, CaseRow> known;
    for (const CaseRow& k : qmtest::ReadTsv(kCensus + "known.tsv", "census known.tsv", error)) known[k.text("file")] = k;
    ASSERT_EQ(error, "");
    ASSERT_GE(truth.size(), 60u);
    int ours = 0;  // every census language is one of ours now; a foreign row must come out unknown
    for (const CaseRow& row : truth) {
        const std::string file = row.text("file");
        SCOPED_TRACE(file);
        const std::string bytes = qmtest::ReadFile(kCensus + file);
        if (bytes.empty()) {
            ADD_FAILURE() << "no job";
            continue;
        }
        const std::string& language = row.text("language");
        const bool own = IsOurTag(language);
        ours += own;
        Want w;
        w.tag = own ? language : "unknown";
        w.pages = uint32_t(row.num("pages"));
        w.copies = uint32_t(row.num("copies"));
        w.duplex = uint32_t(row.num("duplex"));
        // "-": the truth does not say.
        const auto stated = [&](const char* column, double otherwise) {
            return row.text(column) == "-" ? otherwise : row.num(column, otherwise);
        };
        w.colour = int(stated("colour", -1));
        w.width = stated("width", 0);
        w.length = stated("length", 0);
        if (const auto k = known.find(file); k != known.end()) {
            w.tag = k->second.text("detected");
            w.pages = uint32_t(k->second.num("pages"));
            w.copies = uint32_t(k->second.num("copies", 1));
            w.duplex = uint32_t(k->second.num("duplex"));
            w.colour = -1;
            w.width = w.length = 0;
        }
        const std::string got = Detected(bytes);
        EXPECT_EQ(got, w.tag);
        // A cut is its own language or unknown, never another.
        for (size_t cut : {16, 64, 512}) {
            const std::string part = Detected(bytes.substr(0, cut));
            EXPECT_TRUE(part == got || part == "unknown" || (own && part == language)) << "cut to " << cut << ": " << part;
        }
        if (got == "unknown") continue;
        QuirometerJob job{};
        job.size = sizeof job;
        const std::string path = kCensus + file;
        ASSERT_EQ(QuirometerCount(path.c_str(), nullptr, &job), QM_OK);
        EXPECT_EQ(job.pages, w.pages);
        // Copies, duplex, colour and paper the count says it knows must be the job's.
        if (!(job.unknown & QM_FIELD_COPIES)) {
            EXPECT_EQ(job.copies, w.copies);
        }
        if (!(job.unknown & QM_FIELD_DUPLEX)) {
            EXPECT_EQ(job.duplex, w.duplex);
        }
        if (w.colour >= 0 && !(job.unknown & QM_FIELD_COLOR)) {
            EXPECT_EQ(int(job.color), w.colour);
        }
        if (w.width > 0 && !(job.unknown & QM_FIELD_PAPER)) {
            EXPECT_NEAR(job.paperWidth, w.width, kPaperSlack);
            EXPECT_NEAR(job.paperLength, w.length, kPaperSlack);
        }
    }
    EXPECT_GT(ours, 0);
}

}  // namespace
