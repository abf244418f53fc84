// Counts every job of the driver corpus (tests/corpus/jobs, written by real
// printer drivers) and checks each against tests/corpus/truth.tsv: a job must
// report its truth (the fields the truth states) or, where the counter cannot
// by its design, the record written in the row's "expected" column.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "casefile.h"

namespace {

constexpr double kPaperSlack = 0.02;  // inches

const std::string kCorpusDir = std::string(QM_SOURCE_DIR) + "/tests/corpus";
const std::string kSamplesDir = std::string(QM_SOURCE_DIR) + "/samples";

// The fields a row may state, in record order; "-" or empty is not stated.
const std::vector<std::string> kFields = {"pages", "copies", "color", "duplex", "paperWidth", "paperLength"};

struct Row {
    std::string file, tag, driver, expected, reason, note;
    std::map<std::string, std::string> truth;  // field -> stated value
};

bool IsNumber(const std::string& s, double& v) {
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end != s.c_str() && *end == '\0';
}

// Reads a truth table by its header names, so columns may be added or moved:
// the corpus's truth.tsv, or the samples' truth.tsv (which has a note column
// instead of driver, expected and reason, and the export's record in the
// fields' columns under "compatible.": read those with that prefix).
std::vector<Row> ReadTable(const std::string& path, std::vector<std::string> needed, std::string& error,
                           const std::string& fieldPrefix = "") {
    std::vector<std::string> header;
    const std::vector<qmtest::CaseRow> table = qmtest::ReadTsv(path, path, error, &header);
    for (const std::string& f : kFields) needed.push_back(fieldPrefix + f);
    for (const std::string& need : needed)
        if (std::find(header.begin(), header.end(), need) == header.end())
            error += path + " has no '" + need + "' column; ";
    if (!error.empty()) return {};
    std::vector<Row> rows;
    for (const qmtest::CaseRow& t : table) {
        Row r{t.text("file"), t.text("tag"), t.text("driver"), t.text("expected"), t.text("reason"), t.text("note"), {}};
        for (const std::string& f : kFields)
            if (const std::string& v = t.text(fieldPrefix + f); !v.empty() && v != "-") r.truth[f] = v;
        if (r.file.empty() || r.tag.empty()) error += t.where + " has no file or tag; ";
        else rows.push_back(r);
    }
    return rows;
}

std::vector<Row> ReadTruth(std::string& error) {
    return ReadTable(kCorpusDir + "/truth.tsv", {"file", "tag", "driver", "expected", "reason"}, error);
}

struct Outcome {
    int32_t code = 0;
    PageCountResult rec{};
};

// Counts one job through its exported entry point, interpreter traces silenced.
Outcome Count(const qm::CounterInfo& c, const std::string& path) {
    qmtest::SilenceStdout quiet;
    Outcome o{0, qmtest::MarkedRecord()};
    o.code = c.entry(path.c_str(), &o.rec);
    return o;
}

// A stated value agrees with the record's field (paper sizes within the slack).
bool Same(const std::string& name, const std::string& want, const PageCountResult& r) {
    const double got[] = {double(r.pages), double(r.copies), double(r.color), double(r.duplex), r.paperWidth,
                          r.paperLength};
    double w = 0;
    const double slack = name.rfind("paper", 0) == 0 ? kPaperSlack : 0.0;
    const size_t k = std::find(kFields.begin(), kFields.end(), name) - kFields.begin();
    return IsNumber(want, w) && std::fabs(got[k] - w) <= slack;  // not a number: never matches
}

// The row's truth with the fields `overrides` lists replaced ("pages=0
// copies=1"; "code=0x80004005" for a rejected job; "field=-" drops a field)
// holds when the code is the one wanted and, on success, every field left agrees.
bool Matches(const Row& row, const std::string& overrides, const Outcome& o, std::string& error) {
    std::istringstream in(overrides);
    int32_t code = QM_OK;
    std::map<std::string, std::string> want = row.truth;
    for (std::string item; in >> item;) {
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq), value = eq == std::string::npos ? "" : item.substr(eq + 1);
        char* end = nullptr;
        if (eq == std::string::npos) {
            error = "malformed expected item '" + item + "'";
        } else if (key == "code") {
            code = static_cast<int32_t>(std::strtoul(value.c_str(), &end, 0));
            if (end == value.c_str() || *end != '\0') error = "malformed code '" + value + "'";
        } else if (std::find(kFields.begin(), kFields.end(), key) == kFields.end()) {
            error = "unknown field '" + key + "' in expected";
        } else if (value == "-") {
            want.erase(key);
        } else {
            want[key] = value;
        }
        if (!error.empty()) return false;
    }
    if (o.code != code) return false;
    for (const auto& [name, value] : want)
        if (code == QM_OK && !Same(name, value, o.rec)) return false;
    return true;
}
bool MatchesTruth(const Row& row, const Outcome& o) {
    std::string unused;
    return Matches(row, "", o, unused);
}
bool MatchesExpected(const Row& row, const Outcome& o, std::string& error) {
    return !row.expected.empty() && Matches(row, row.expected, o, error);
}

// What a job counted against what its truth states.
std::string Failure(const Row& row, const Outcome& o) {
    char got[160];
    const PageCountResult& r = o.rec;
    if (o.code != QM_OK) std::snprintf(got, sizeof got, "code=0x%08X", static_cast<unsigned>(o.code));
    else
        std::snprintf(got, sizeof got, "pages=%u copies=%u color=%u duplex=%u paperWidth=%g paperLength=%g", r.pages,
                      r.copies, r.color, r.duplex, r.paperWidth, r.paperLength);
    std::string s = row.file + " (" + row.driver + "): counted " + got + "; truth";
    for (const auto& [name, want] : row.truth) s += " " + name + "=" + want;
    return s;
}

TEST(Corpus, TruthFileIsWellFormed) {
    std::string error;
    const std::vector<Row> rows = ReadTruth(error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_FALSE(rows.empty());
    std::map<std::string, int> seen;
    for (const Row& row : rows) {
        EXPECT_EQ(seen[row.file]++, 0) << row.file << " is listed twice";
        EXPECT_NE(qm::accurate::FindLanguage(row.tag), nullptr) << row.file << ": unknown tag " << row.tag;
        EXPECT_TRUE(row.truth.count("pages")) << row.file << ": the truth must state the pages";
        EXPECT_EQ(row.expected.empty(), row.reason.empty())
            << row.file << ": an expected record needs its reason, and a reason its record";
        EXPECT_TRUE(std::ifstream(kCorpusDir + "/" + row.file).good()) << row.file << " is listed but missing";
        double v = 0;
        for (const auto& [name, want] : row.truth)
            EXPECT_TRUE(IsNumber(want, v)) << row.file << ": " << name << "=" << want;
    }
    // Every job on disk has its row: nothing in jobs/ goes unchecked.
    const std::string jobs = kCorpusDir + "/jobs";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(jobs)) {
        const std::string rel = "jobs/" + std::filesystem::relative(entry.path(), jobs).generic_string();
        EXPECT_TRUE(!entry.is_regular_file() || seen.count(rel)) << rel << " has no row in truth.tsv";
    }
}

// The bundled samples agree with their truth table, as "quirometer samples"
// checks them, and stay small.
TEST(Corpus, SamplesAgreeWithTheirTruth) {
    std::string error;
    const std::vector<Row> rows = ReadTable(kSamplesDir + "/truth.tsv", {"file", "tag", "note"}, error, "compatible.");
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_FALSE(rows.empty());
    uint64_t bytes = 0;
    for (const Row& row : rows) {
        const qm::CounterInfo* c = qm::FindCounter(row.tag);
        ASSERT_NE(c, nullptr) << row.file << ": unknown tag " << row.tag;
        const std::string path = kSamplesDir + "/" + row.file;
        std::ifstream job(path, std::ios::binary | std::ios::ate);
        ASSERT_TRUE(job.good()) << row.file << " is listed but missing";
        bytes += static_cast<uint64_t>(job.tellg());
        const Outcome o = Count(*c, path);
        // A PDF count that failed reports all ones: the samples never hold one.
        const bool pdfFailed = c->group == qm::Group::Pdf && o.rec.pages == 0xFFFFFFFFu;
        EXPECT_TRUE(MatchesTruth(row, o) && !pdfFailed) << Failure(row, o) << " (" << row.note << ")";
    }
    EXPECT_LT(bytes, 2u * 1000 * 1000) << "the samples are meant to stay under 2 MB";
}

// The comparison itself: a stated field must agree, an unstated one is free,
// and an expected record is matched item by item. The truth: 3 pages on paper
// 8.27 wide; every record counted has 7 copies, which the truth leaves free.
TEST(Corpus, ComparesRecordsAsDocumented) {
    const struct {
        const char* expected;  // nullptr: the truth itself
        int32_t code;
        uint32_t pages;
        double width;
        bool matches;
    } cases[] = {
        {nullptr, QM_OK, 3, 8.26, true},  // paper sizes within the slack
        {nullptr, QM_OK, 3, 8.5, false},
        {nullptr, QM_E_FAIL, 3, 8.5, false},
        {"pages=0", QM_OK, 0, 8.27, true},              // a listed field replaces the truth
        {"pages=0", QM_OK, 0, 8.5, false},              // unlisted fields keep the truth
        {"pages=0 paperWidth=-", QM_OK, 0, 8.5, true},  // "-" drops a field
        {"pages=0", QM_OK, 3, 8.27, false},
        {"code=0x80004005", QM_E_FAIL, 0, 0, true},  // a rejected job: no record compared
        {"code=0x80004005", QM_OK, 3, 8.27, false},
        {"pages=0", QM_E_FAIL, 0, 8.27, false},
        {"", QM_OK, 3, 8.27, false},  // no expected record: never matches
        {"pages", QM_OK, 3, 8.27, false},  // malformed items never match
        {"sheets=3", QM_OK, 3, 8.27, false},
        {"code=none", QM_E_FAIL, 0, 0, false},
    };
    for (const auto& c : cases) {
        Row row;
        row.truth = {{"pages", "3"}, {"paperWidth", "8.27"}};
        row.expected = c.expected != nullptr ? c.expected : "";
        Outcome o{c.code, {}};
        o.rec.pages = c.pages;
        o.rec.copies = 7;
        o.rec.paperWidth = c.width;
        std::string err;
        const bool got = c.expected != nullptr ? MatchesExpected(row, o, err) : MatchesTruth(row, o);
        EXPECT_EQ(got, c.matches) << (c.expected ? c.expected : "truth") << " / " << c.code << " / " << c.width;
    }
}

// Counts one job with the accurate path, interpreter traces silenced.
Outcome CountAccurately(const std::string& tag, const std::string& path) {
    const std::string bytes = qmtest::ReadFile(path);
    const qm::accurate::Language* lang = qm::accurate::FindLanguage(tag);
    if (lang == nullptr) return {QM_E_INVALIDARG, {}};
    Outcome o;
    qm::accurate::Result r;
    try {
        qmtest::SilenceStdout quiet;
        o.code = lang->count(qm::Bytes(bytes), r);
    } catch (...) {
        o.code = QM_E_NOT_UNDERSTOOD;
    }
    qm::accurate::Finish(r);
    o.rec = r.rec;
    return o;
}

// Every job of one tag: through its export, the truth or the record expected
// by design; through the accurate path, the truth itself (nothing excuses it).
void RunTag(const std::string& tag, bool accurate) {
    std::string error;
    int jobs = 0, exact = 0, byDesign = 0, wrong = 0;
    const qm::CounterInfo* c = qm::FindCounter(tag);
    ASSERT_TRUE(c != nullptr || qm::accurate::FindLanguage(tag) != nullptr) << "no counter for tag " << tag;
    // A language without an export has only the accurate count.
    if (c == nullptr && !accurate) GTEST_SKIP() << tag << " has no export";
    for (const Row& row : ReadTruth(error)) {
        if (row.tag != tag) continue;
        const std::string path = kCorpusDir + "/" + row.file;
        const Outcome o = accurate ? CountAccurately(tag, path) : Count(*c, path);
        ++jobs;
        std::string expError;
        if (MatchesTruth(row, o)) {
            ++exact;
        } else if (!accurate && MatchesExpected(row, o, expError)) {
            ++byDesign;
        } else {
            ++wrong;
            ADD_FAILURE() << Failure(row, o)
                          << (row.expected.empty() || accurate ? "" : "; expected by design " + row.expected)
                          << (expError.empty() ? std::string() : " [" + expError + "]");
        }
    }
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_GT(jobs, 0) << "the corpus has no " << tag << " jobs";
    std::printf("[ %-8s ] %-10s %3d jobs, %3d exactly right, %3d as designed, %3d wrong\n",
                accurate ? "accurate" : "corpus", tag.c_str(), jobs, exact, byDesign, wrong);
}

// The languages of the corpus, in the order of the truth file.
std::vector<std::string> CorpusTags() {
    std::string error;
    std::vector<std::string> tags;
    for (const Row& row : ReadTruth(error))
        if (std::find(tags.begin(), tags.end(), row.tag) == tags.end()) tags.push_back(row.tag);
    return tags;
}

// One test per language and path, so that a language's failures show alone.
class CorpusTag : public testing::TestWithParam<std::string> {};
TEST_P(CorpusTag, ExportGivesTruthOrDesign) { RunTag(GetParam(), false); }
TEST_P(CorpusTag, AccurateGivesTruth) { RunTag(GetParam(), true); }
INSTANTIATE_TEST_SUITE_P(Corpus, CorpusTag, testing::ValuesIn(CorpusTags()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
