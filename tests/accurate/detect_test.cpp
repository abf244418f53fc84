// Detection: every job of the corpus, the samples and the fuzz seeds is
// named by its own tag; text, images, archives, executables, random bytes
// and zeros are unknown; the wrapper in front of a job is read in all its
// spellings; and the C entry points fail cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "casefile.h"
#include "guarded.h"
#include "testutil.h"

namespace {

using qm::Bytes;
using qm::accurate::Detect;
using qmtest::CaseRow;
using qmtest::ReadCases;
using qmtest::ReadFile;
using qmtest::TempJob;

const std::string kRoot = QM_SOURCE_DIR;


// The job ends where readable memory ends: a bid that looks past it faults.
std::string Detected(std::string_view bytes) {
    const qmtest::Guarded job(bytes);
    const auto d = Detect(job.bytes());
    return d.winner ? d.winner->counter->tag : "unknown";
}

// Every job with a known language, as path and tag: the rows of the truth
// files (read now, so jobs added later are covered) and the seed folders,
// named by tag.
std::vector<std::pair<std::string, std::string>> KnownJobs() {
    std::vector<std::pair<std::string, std::string>> jobs;
    for (const std::string& dir : {kRoot + "/tests/corpus", kRoot + "/samples"}) {
        std::string error;  // the corpus test reports a malformed truth file
        for (const qmtest::CaseRow& row : qmtest::ReadTsv(dir + "/truth.tsv", "truth.tsv", error))
            jobs.push_back({dir + "/" + row.text("file"), row.text("tag")});
    }
    for (const auto& folder : std::filesystem::directory_iterator(kRoot + "/fuzz/seeds")) {
        if (!folder.is_directory()) continue;
        for (const auto& seed : std::filesystem::directory_iterator(folder.path()))
            jobs.push_back({seed.path().string(), folder.path().filename().string()});
    }
    return jobs;
}

// In memory and through the entry point, which maps the file.
TEST(Detect, NamesEveryKnownJob) {
    const auto jobs = KnownJobs();
    ASSERT_GT(jobs.size(), 100u);
    std::set<std::string> tags;
    for (const auto& [path, name] : jobs) {
        const std::string bytes = ReadFile(path);
        ASSERT_FALSE(bytes.empty()) << path;
        const auto* lang = qm::accurate::FindLanguage(name);
        ASSERT_NE(lang, nullptr) << name;
        const std::string tag = lang->counter->tag;
        tags.insert(tag);
        EXPECT_EQ(Detected(bytes), tag) << path;
        char mapped[QM_TAG_SIZE] = "";
        EXPECT_EQ(QuirometerDetect(path.c_str(), mapped, sizeof mapped), QM_OK) << path;
        EXPECT_EQ(mapped, tag) << path;
        // A job cut short is its own language or unknown, never another;
        // text for a PCL printer cut before its first page eject is PCL.
        for (size_t cut : {16, 64, 512, 4096}) {
            if (cut >= bytes.size()) break;
            const std::string_view part = std::string_view(bytes).substr(0, cut);
            const std::string got = Detected(part);
            const bool pclText = got == "PCL" && tag == "UnixTextPCL" && part.find("\x1b&l0h1") == part.npos;
            EXPECT_TRUE(got == tag || got == "unknown" || pclText) << path << " cut to " << cut << ": " << got;
        }
    }
    // Every language has at least one job of its own to be detected from.
    EXPECT_EQ(tags.size(), qm::accurate::Languages().size());
}

std::string Random(size_t n, uint32_t seed, std::string prefix = {}) {
    std::mt19937 rng(seed);
    std::string s = std::move(prefix);
    while (s.size() < n) s.push_back(static_cast<char>(rng() & 0xFF));
    return s;
}

std::string Text() {
    std::string s;
    for (int line = 0; line < 400; ++line) {
        s += "Line " + std::to_string(line) + " of a plain report, with words, numbers 12.5 and tabs\t.\r\n";
        if (line % 60 == 59) s += "\f";
    }
    return s;
}

TEST(Detect, UnknownForWhatIsNoPrintJob) {
    // Text (with form feeds, HP-GL/2 words, a quoted or late PDF header).
    const std::string text[] = {Text(), "IN THE BEGINNING; PA RT ONE;\n" + Text(),
                                "A PDF starts %PDF-1.7 and then objects.\n" + Text(),
                                Text() + "%PDF-1.4\n1 0 obj\n<<>>\nendobj\n"};
    for (const auto& bytes : text) EXPECT_EQ(Detected(bytes), "unknown") << testing::PrintToString(bytes.substr(0, 9));
    // Jobs of bytes that are no print job, some followed by random bytes.
    uint32_t seed = 0;
    for (const CaseRow& c : ReadCases("accurate/cases/unknown.tsv"))
        EXPECT_EQ(Detected(Random(size_t(c.num("size")), ++seed, c.bytes("lead"))), "unknown") << c.name();
    for (uint32_t seed = 100; seed < 400; ++seed) EXPECT_EQ(Detected(Random(2048, seed)), "unknown") << seed;
}

// The wrapper in front of a job, in the spellings spoolers and drivers use:
// where the job starts, the language the PJL (or EJL) names, a bounded head
// and tail, and the job behind it detected.
TEST(Unwrap, ReadsEveryWrapper) {
    // A PCL XL stream, longer than the head, behind every wrapper.
    const std::string job = ReadFile(kRoot + "/samples/letter-memo-1.pxlmono-copies3.pxl");
    const std::string stream = job.substr(job.find(") HP-PCL XL"));
    ASSERT_GT(stream.size(), qm::accurate::kHeadBytes);
    for (const CaseRow& c : ReadCases("accurate/cases/wrappers.tsv")) {
        SCOPED_TRACE(c.name());
        const std::string wrapper = c.bytes("wrapper");
        const std::string wrapped = wrapper + stream;
        char pjl[32] = "stale", ejl[32] = "stale";  // what a caller's buffers held before
        const auto in = qm::accurate::Unwrap(Bytes(wrapped), pjl, ejl);
        const bool ejlHeader = wrapper.starts_with("\x1b\x01");
        EXPECT_EQ(std::string(ejlHeader ? pjl : ejl), "");
        EXPECT_EQ(in.body, wrapper.size());
        EXPECT_EQ(ejlHeader ? in.ejlLanguage : in.pjlLanguage, c.text("language"));
        EXPECT_EQ(ejlHeader ? in.pjlLanguage : in.ejlLanguage, "");
        EXPECT_EQ(in.pjl, qmtest::Yes(c, "pjl"));
        EXPECT_EQ(in.size, wrapped.size());
        EXPECT_EQ(in.head.size, qm::accurate::kHeadBytes);
        EXPECT_EQ(in.tail.size, qm::accurate::kTailBytes);
        EXPECT_EQ(in.tail.data + in.tail.size, reinterpret_cast<const uint8_t*>(wrapped.data()) + wrapped.size());
        if (!ejlHeader) {
            EXPECT_EQ(Detected(wrapped), c.text("detected"));  // PCL XL does not belong behind EJL
        }
    }
}

// PJL or EJL that names one language over a stream of another: the stream
// decides; a name that agrees raises the bid.
TEST(Unwrap, StreamDecidesOverTheName) {
    const std::string job = ReadFile(kRoot + "/samples/letter-memo-1.ps");
    const auto& ps = *qm::accurate::FindLanguage("POSTSCRIPT");
    for (const CaseRow& c : ReadCases("accurate/cases/declared.tsv")) {
        const std::string wrapped = c.bytes("wrapper") + job;
        EXPECT_EQ(Detected(wrapped), "POSTSCRIPT") << c.name();
        const int bid = c.num("declared") != 0 ? qm::accurate::kBidDeclared : qm::accurate::kBidStructure;
        EXPECT_EQ(qm::accurate::BidOf(ps, Bytes(wrapped)), bid) << c.name();
    }
}

// Languages that share their first bytes, decided by the rule at their bids.
TEST(Detect, TellsNeighboursApart) {
    for (const CaseRow& c : ReadCases("accurate/cases/neighbours.tsv"))
        EXPECT_EQ(Detected(c.bytes("job")), c.text("tag")) << c.name();
    // A PPA job cut where LIDIL reads it too: a tie.
    EXPECT_EQ(Detected(ReadFile(kRoot + "/samples/letter-memo-1.pnm2ppa.prn").substr(0, 256)), "unknown");
    const std::string pdf = ReadFile(kRoot + "/samples/two-pages-one-key-per-line.pdf");
    EXPECT_EQ(Detected("spooler junk\r\nmore junk\r\n" + pdf), "PDF");  // PDF after a few lines of junk
}

// The C entry points: codes, and a record untouched on failure but for the
// tags, whatever the job.
TEST(EntryPoints, FailCleanly) {
    const std::string pxl = ReadFile(kRoot + "/samples/letter-memo-1.pxlmono-copies3.pxl");
    const struct {
        const char* name;
        std::string bytes;
        const char* pdl;
        int32_t code;
        const char* detected;
    } cases[] = {
        {"detected job", pxl, nullptr, QM_OK, "PCLXL"},
        {"detected job, empty pdl", pxl, "", QM_OK, "PCLXL"},
        {"forced by alias", pxl, "pcl6", QM_OK, "PCLXL"},
        {"forced over another language, bold text on an ESC/P printer", "\x1b" "Epage\f\x1b" "E", "ESCP2", QM_OK,
         "PCL"},
        {"unknown tag", pxl, "NOSUCH", QM_E_INVALIDARG, ""},
        {"zeros", std::string(8192, '\0'), nullptr, QM_E_UNKNOWN_PDL, "unknown"},
        {"zeros forced", std::string(8192, '\0'), "PCL", QM_E_NOT_UNDERSTOOD, "unknown"},
        {"junk forced", Random(8192, 77), "ESCP2", QM_E_NOT_UNDERSTOOD, "unknown"},
        {"junk forced as PCL", Random(8192, 78, "\x1b" "E"), "PCL", QM_E_NOT_UNDERSTOOD, "unknown"},
    };
    for (const auto& c : cases) {
        TempJob file(c.bytes);
        QuirometerJob job;
        std::memset(&job, 0xAB, sizeof job);
        job.size = sizeof job;
        const int32_t code = QuirometerCount(file.path(), c.pdl, &job);
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_STREQ(job.detected, c.detected) << c.name;
        if (code == QM_OK) {
            EXPECT_GE(job.copies, 1u) << c.name;
            const bool forced = c.pdl != nullptr && *c.pdl != '\0';
            EXPECT_STREQ(job.pdl, forced ? QuirometerCanonicalTag(c.pdl) : c.detected) << c.name;
            continue;
        }
        EXPECT_EQ(job.size, sizeof job) << c.name;
        EXPECT_EQ(job.pages, 0xABABABABu) << c.name;
        EXPECT_EQ(job.copies, 0xABABABABu) << c.name;
        EXPECT_EQ(job.unknown, 0xABABABABu) << c.name;
        char tag[QM_TAG_SIZE];
        const int32_t detect = QuirometerDetect(file.path(), tag, sizeof tag);
        EXPECT_EQ(detect, Detected(c.bytes) == "unknown" ? QM_E_UNKNOWN_PDL : QM_OK) << c.name;
    }
}

TEST(EntryPoints, RefuseBadArguments) {
    TempJob file(ReadFile(kRoot + "/samples/letter-memo-1.ps"));
    char tag[QM_TAG_SIZE] = "x";
    EXPECT_EQ(QuirometerDetect(nullptr, tag, sizeof tag), QM_E_INVALIDARG);
    EXPECT_EQ(QuirometerDetect(file.path(), nullptr, 16), QM_E_INVALIDARG);
    EXPECT_EQ(QuirometerDetect(file.path(), tag, 0), QM_E_INVALIDARG);
    EXPECT_EQ(QuirometerDetect("/nonexistent/dir/job.prn", tag, sizeof tag), QM_E_PATH_NOT_FOUND);
    EXPECT_EQ(QuirometerDetect((file.dir() + "/missing.prn").c_str(), tag, sizeof tag), QM_E_FILE_NOT_FOUND);
    TempJob empty("");
    EXPECT_EQ(QuirometerDetect(empty.path(), tag, sizeof tag), QM_E_EMPTY_FILE);

    // A short buffer takes the tag cut to fit, down to one byte.
    EXPECT_EQ(QuirometerDetect(file.path(), tag, 4), QM_OK);
    EXPECT_STREQ(tag, "POS");
    EXPECT_EQ(QuirometerDetect(file.path(), tag, 1), QM_OK);
    EXPECT_STREQ(tag, "");

    QuirometerJob job;
    std::memset(&job, 0xAB, sizeof job);
    job.size = QM_JOB_SIZE_V1 - 1;
    EXPECT_EQ(QuirometerCount(file.path(), nullptr, &job), QM_E_INVALIDARG);
    EXPECT_EQ(job.pages, 0xABABABABu);
    // A caller of the first version gets its 72 bytes and nothing past them.
    job.size = QM_JOB_SIZE_V1;
    EXPECT_EQ(QuirometerCount(file.path(), nullptr, &job), QM_OK);
    EXPECT_EQ(job.size, QM_JOB_SIZE_V1);
    EXPECT_EQ(job.colorPages, 0xABABABABu);
    EXPECT_EQ(job.colorUnknownPages, 0xABABABABu);
    EXPECT_EQ(QuirometerCount(file.path(), nullptr, nullptr), QM_E_INVALIDARG);
    job.size = sizeof job;
    EXPECT_EQ(QuirometerCount(nullptr, nullptr, &job), QM_E_INVALIDARG);
    EXPECT_EQ(QuirometerCount((file.dir() + "/missing.prn").c_str(), nullptr, &job), QM_E_FILE_NOT_FOUND);
    EXPECT_EQ(QuirometerCount(empty.path(), nullptr, &job), QM_E_EMPTY_FILE);
}

TEST(EntryPoints, NameTagsAndCodes) {
    for (const CaseRow& a : ReadCases("accurate/cases/aliases.tsv")) {
        const std::string& tag = a.text("tag");
        EXPECT_STREQ(QuirometerCanonicalTag(a.text("alias").c_str()), tag.empty() ? nullptr : tag.c_str()) << a.name();
    }
    EXPECT_EQ(QuirometerCanonicalTag(nullptr), nullptr);

    // Every code has its own sentence; another error of the file system
    // (a name too long) has one, and an unknown code one more.
    const int32_t codes[] = {QM_OK, QM_E_FILE_NOT_FOUND, QM_E_PATH_NOT_FOUND, QM_E_ACCESS_DENIED,
                             QM_E_SHARING_VIOLATION, QM_E_EMPTY_FILE, QM_E_POINTER, QM_E_FAIL, QM_E_INVALIDARG,
                             QM_E_UNKNOWN_PDL, QM_E_NOT_UNDERSTOOD, QM_E_ENCRYPTED, QM_HRESULT_FROM_WIN32(206),
                             0x12345678};
    std::set<std::string> texts;
    for (int32_t code : codes) {
        const char* text = QuirometerErrorText(code);
        ASSERT_NE(text, nullptr);
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), std::size(codes));
    EXPECT_STRNE(QuirometerErrorText(0x12345678), "");
    EXPECT_STREQ(QuirometerErrorText(QM_HRESULT_FROM_WIN32(206)), "operating-system error on the job file");
    // Any code of the file system's facility, odd or even, has its sentence; the next facility's none.
    EXPECT_STREQ(QuirometerErrorText(QM_HRESULT_FROM_WIN32(207)), QuirometerErrorText(QM_HRESULT_FROM_WIN32(206)));
    EXPECT_STREQ(QuirometerErrorText(static_cast<int32_t>(0x80080000u)), QuirometerErrorText(0x12345678));
}

}  // namespace
