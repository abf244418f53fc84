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
#include "testutil.h"

namespace {

constexpr double kPaperSlack = 0.02;                              // inches

const std::string kCorpusDir = std::string(QM_SOURCE_DIR) + "/tests/corpus";
const std::string kSamplesDir = std::string(QM_SOURCE_DIR) + "/samples";

// The fields a row may state, in record order; "-" or empty is not stated.
constexpr const char* kFields[] = {"pages", "copies", "color", "duplex", "paperWidth", "paperLength"};

struct Row {
    std::string file, tag, driver, expected, reason, note;
    std::map<std::string, std::string> truth;  // field -> stated value
};

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> cols;
    size_t from = 0;
    for (;;) {
        const size_t tab = line.find('\t', from);
        cols.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) break;
        from = tab + 1;
    }
    return cols;
}

// Reads a truth table by its header names, so columns may be added or moved:
// the corpus's truth.tsv, or the samples' truth.tsv (which has a note column
// instead of driver, expected and reason, and the export's record in the
// fields' columns under "compatible.": read those with that prefix).
std::vector<Row> ReadTable(const std::string& path, const std::vector<std::string>& needed, std::string& error,
                           const std::string& fieldPrefix = "") {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return {};
    }
    std::string line;
    std::getline(in, line);
    const std::vector<std::string> header = SplitTabs(line);
    std::map<std::string, size_t> col;
    for (size_t i = 0; i < header.size(); ++i) col[header[i]] = i;
    std::vector<std::string> all = needed;
    for (const char* f : kFields) all.push_back(fieldPrefix + f);
    for (const std::string& need : all)
        if (!col.count(need)) error += path + " has no '" + need + "' column; ";
    if (!error.empty()) return {};

    std::vector<Row> rows;
    int lineNo = 1;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> cols = SplitTabs(line);
        auto at = [&](const char* name) {
            const auto k = col.find(name);
            return k != col.end() && k->second < cols.size() ? cols[k->second] : std::string();
        };
        Row r{at("file"), at("tag"), at("driver"), at("expected"), at("reason"), at("note"), {}};
        for (const char* f : kFields) {
            const std::string v = at((fieldPrefix + f).c_str());
            if (!v.empty() && v != "-") r.truth[f] = v;
        }
        if (r.file.empty() || r.tag.empty()) {
            error += path + " line " + std::to_string(lineNo) + " has no file or tag; ";
            continue;
        }
        rows.push_back(r);
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

// Counts one job through its exported entry point. Interpreter traces on
// standard output are sent to /dev/null meanwhile.
Outcome Count(const qm::CounterInfo& c, const std::string& path) {
    qmtest::SilenceStdout quiet;
    Outcome o;
    o.rec = qmtest::MarkedRecord();
    o.code = c.entry(path.c_str(), &o.rec);
    return o;
}

double Field(const PageCountResult& r, const std::string& name) {
    if (name == "pages") return r.pages;
    if (name == "copies") return r.copies;
    if (name == "color") return r.color;
    if (name == "duplex") return r.duplex;
    if (name == "paperWidth") return r.paperWidth;
    return r.paperLength;
}

bool Same(const std::string& name, const std::string& want, const PageCountResult& r) {
    char* end = nullptr;
    const double w = std::strtod(want.c_str(), &end);
    if (end == want.c_str() || *end != '\0') return false;  // not a number: never matches
    const double slack = name.rfind("paper", 0) == 0 ? kPaperSlack : 0.0;
    return std::fabs(Field(r, name) - w) <= slack;
}

// The truth holds when the count succeeded and every stated field agrees.
bool MatchesTruth(const Row& row, const Outcome& o) {
    if (o.code != QM_OK) return false;
    for (const auto& [name, want] : row.truth)
        if (!Same(name, want, o.rec)) return false;
    return true;
}

// The expected record is the truth with the fields the row's "expected"
// column lists replaced ("pages=0 copies=1"; "code=0x80004005" for a rejected
// job; "field=-" drops a field). Every other field the truth states must hold.
bool MatchesExpected(const Row& row, const Outcome& o, std::string& error) {
    if (row.expected.empty()) return false;
    std::istringstream in(row.expected);
    std::string item;
    int32_t code = QM_OK;
    std::map<std::string, std::string> want = row.truth;
    while (in >> item) {
        const size_t eq = item.find('=');
        if (eq == std::string::npos) {
            error = "malformed expected item '" + item + "'";
            return false;
        }
        const std::string key = item.substr(0, eq);
        const std::string value = item.substr(eq + 1);
        if (key == "code") {
            char* end = nullptr;
            code = static_cast<int32_t>(std::strtoul(value.c_str(), &end, 0));
            if (end == value.c_str() || *end != '\0') {
                error = "malformed code '" + value + "'";
                return false;
            }
            continue;
        }
        bool known = false;
        for (const char* f : kFields) known = known || key == f;
        if (!known) {
            error = "unknown field '" + key + "' in expected";
            return false;
        }
        if (value == "-") want.erase(key);
        else want[key] = value;
    }
    if (o.code != code) return false;
    if (code != QM_OK) return true;
    for (const auto& [name, value] : want)
        if (!Same(name, value, o.rec)) return false;
    return true;
}

std::string Describe(const Outcome& o) {
    char buf[160];
    if (o.code != QM_OK) {
        std::snprintf(buf, sizeof buf, "code=0x%08X", static_cast<unsigned>(o.code));
    } else {
        const PageCountResult& r = o.rec;
        std::snprintf(buf, sizeof buf, "pages=%u copies=%u color=%u duplex=%u paperWidth=%g paperLength=%g", r.pages,
                      r.copies, r.color, r.duplex, r.paperWidth, r.paperLength);
    }
    return buf;
}

std::string DescribeTruth(const Row& row) {
    std::string s;
    for (const auto& [name, want] : row.truth) s += (s.empty() ? "" : " ") + name + "=" + want;
    return s;
}

struct Tally {
    int jobs = 0, exact = 0, byDesign = 0, wrong = 0;
};

// Counts every job of one tag through its export.
void CheckTag(const std::string& tag, Tally& t) {
    std::string error;
    const std::vector<Row> rows = ReadTruth(error);
    EXPECT_TRUE(error.empty()) << error;
    const qm::CounterInfo* c = qm::FindCounter(tag);
    EXPECT_NE(c, nullptr) << "no counter for tag " << tag;
    if (c == nullptr) return;
    for (const Row& row : rows) {
        if (row.tag != tag) continue;
        const Outcome o = Count(*c, kCorpusDir + "/" + row.file);
        ++t.jobs;
        std::string expError;
        if (MatchesTruth(row, o)) {
            ++t.exact;
        } else if (MatchesExpected(row, o, expError)) {
            ++t.byDesign;
        } else {
            ++t.wrong;
            ADD_FAILURE() << row.file << " (" << row.driver << "): counted " << Describe(o) << "; truth "
                          << DescribeTruth(row)
                          << (row.expected.empty() ? std::string() : "; expected by design " + row.expected)
                          << (expError.empty() ? std::string() : " [" + expError + "]");
        }
    }
    EXPECT_GT(t.jobs, 0) << "the corpus has no " << tag << " jobs";
}

void RunTag(const char* tag) {
    Tally t;
    CheckTag(tag, t);
    std::printf("[ corpus   ] %-10s %3d jobs, %3d exactly right, %3d as designed, %3d wrong\n", tag, t.jobs, t.exact,
                t.byDesign, t.wrong);
}

TEST(Corpus, TruthFileIsWellFormed) {
    std::string error;
    const std::vector<Row> rows = ReadTruth(error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_FALSE(rows.empty());
    std::map<std::string, int> seen;
    for (const Row& row : rows) {
        EXPECT_EQ(seen[row.file]++, 0) << row.file << " is listed twice";
        EXPECT_NE(qm::FindCounter(row.tag), nullptr) << row.file << ": unknown tag " << row.tag;
        EXPECT_TRUE(row.truth.count("pages")) << row.file << ": the truth must state the pages";
        EXPECT_EQ(row.expected.empty(), row.reason.empty())
            << row.file << ": an expected record needs its reason, and a reason its record";
        std::ifstream job(kCorpusDir + "/" + row.file, std::ios::binary);
        EXPECT_TRUE(job.good()) << row.file << " is listed but missing";
        for (const auto& [name, want] : row.truth) {
            char* end = nullptr;
            std::strtod(want.c_str(), &end);
            EXPECT_TRUE(end != want.c_str() && *end == '\0') << row.file << ": " << name << "=" << want;
        }
    }
    // Every job on disk has its row: nothing in jobs/ goes unchecked.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kCorpusDir + "/jobs")) {
        if (!entry.is_regular_file()) continue;
        const std::string rel = "jobs/" + std::filesystem::relative(entry.path(), kCorpusDir + "/jobs").generic_string();
        EXPECT_TRUE(seen.count(rel)) << rel << " has no row in truth.tsv";
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
        EXPECT_TRUE(MatchesTruth(row, o) && !pdfFailed)
            << row.file << ": counted " << Describe(o) << "; truth " << DescribeTruth(row) << " (" << row.note << ")";
    }
    EXPECT_LT(bytes, 2u * 1000 * 1000) << "the samples are meant to stay under 2 MB";
}

// The comparison itself: a stated field must agree, an unstated one is free,
// and an expected record is matched item by item.
TEST(Corpus, ComparesRecordsAsDocumented) {
    Row row;
    row.truth = {{"pages", "3"}, {"paperWidth", "8.27"}};
    Outcome o;
    o.rec = PageCountResult{};
    o.rec.pages = 3;
    o.rec.copies = 7;
    o.rec.paperWidth = 8.26;
    EXPECT_TRUE(MatchesTruth(row, o));
    o.rec.paperWidth = 8.5;
    EXPECT_FALSE(MatchesTruth(row, o));
    o.code = QM_E_FAIL;
    EXPECT_FALSE(MatchesTruth(row, o));

    struct Case {
        const char* expected;
        int32_t code;
        uint32_t pages;
        double width;
        bool matches;
    };
    // The truth: 3 pages on paper 8.27 wide.
    const Case cases[] = {
        {"pages=0", QM_OK, 0, 8.27, true},            // a listed field replaces the truth
        {"pages=0", QM_OK, 0, 8.5, false},            // unlisted fields keep the truth
        {"pages=0 paperWidth=-", QM_OK, 0, 8.5, true},  // "-" drops a field
        {"pages=0", QM_OK, 3, 8.27, false},
        {"code=0x80004005", QM_E_FAIL, 0, 0, true},   // a rejected job: no record compared
        {"code=0x80004005", QM_OK, 3, 8.27, false},
        {"pages=0", QM_E_FAIL, 0, 8.27, false},
        {"", QM_OK, 3, 8.27, false},                  // no expected record: never matches
        {"pages", QM_OK, 3, 8.27, false},             // malformed items never match
        {"sheets=3", QM_OK, 3, 8.27, false},
        {"code=none", QM_E_FAIL, 0, 0, false},
    };
    for (const Case& c : cases) {
        Row r = row;
        r.expected = c.expected;
        Outcome e;
        e.code = c.code;
        e.rec = PageCountResult{};
        e.rec.pages = c.pages;
        e.rec.paperWidth = c.width;
        std::string err;
        EXPECT_EQ(MatchesExpected(r, e, err), c.matches) << c.expected << " / " << c.code;
    }
}

// The accurate count must meet the truth itself on every job of its language:
// no "expected" record excuses it.
Outcome CountAccurately(const std::string& tag, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const qm::accurate::Language* lang = qm::accurate::FindLanguage(tag);
    Outcome o;
    if (lang == nullptr) {
        o.code = QM_E_INVALIDARG;
        return o;
    }
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

void RunAccurateTag(const char* tag) {
    std::string error;
    int jobs = 0, right = 0;
    for (const Row& row : ReadTruth(error)) {
        if (row.tag != tag) continue;
        ++jobs;
        const Outcome o = CountAccurately(tag, kCorpusDir + "/" + row.file);
        if (MatchesTruth(row, o)) {
            ++right;
        } else {
            ADD_FAILURE() << row.file << " (" << row.driver << "): counted " << Describe(o) << "; truth "
                          << DescribeTruth(row);
        }
    }
    EXPECT_TRUE(error.empty()) << error;
    std::printf("[ accurate ] %-10s %3d jobs, %3d right\n", tag, jobs, right);
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
TEST_P(CorpusTag, ExportGivesTruthOrDesign) { RunTag(GetParam().c_str()); }
TEST_P(CorpusTag, AccurateGivesTruth) { RunAccurateTag(GetParam().c_str()); }
INSTANTIATE_TEST_SUITE_P(Corpus, CorpusTag, testing::ValuesIn(CorpusTags()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
