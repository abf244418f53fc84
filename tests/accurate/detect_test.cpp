// Detection: every job of the corpus, the samples and the fuzz seeds is
// named by its own tag; text, images, archives, executables, random bytes
// and zeros are unknown; the wrapper in front of a job is read in all its
// spellings; and the C entry points fail cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "testutil.h"

namespace {

using qm::Bytes;
using qm::accurate::Detect;
using qmtest::Lit;
using qmtest::TempJob;

const std::string kRoot = QM_SOURCE_DIR;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Detected(std::string_view bytes) {
    const auto d = Detect(Bytes(bytes));
    return d.winner ? d.winner->counter->tag : "unknown";
}

// Every job with a known language, as path and tag: the rows of the truth
// files (read now, so jobs added later are covered) and the seed folders,
// named by tag.
std::vector<std::pair<std::string, std::string>> KnownJobs() {
    std::vector<std::pair<std::string, std::string>> jobs;
    for (const std::string& dir : {kRoot + "/tests/corpus", kRoot + "/samples"}) {
        std::ifstream truth(dir + "/truth.tsv");
        std::string line;
        while (std::getline(truth, line)) {
            std::istringstream cols(line);
            std::string file, tag;
            if (!std::getline(cols, file, '\t') || !std::getline(cols, tag, '\t') || file == "file") continue;
            jobs.push_back({dir + "/" + file, tag});
        }
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
        const std::string bytes = ReadAll(path);
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
    // Nothing, zeros, text (with form feeds, HP-GL/2 words, a quoted or late
    // PDF header) and a wrapper with no job behind it.
    const std::string plain[] = {
        "", std::string(64 * 1024, '\0'), std::string(1, '\0'), Text(), "page one\r\n\fpage two\r\n\f",
        "IN THE BEGINNING; PA RT ONE;\n" + Text(), "A PDF starts %PDF-1.7 and then objects.\n" + Text(),
        Text() + "%PDF-1.4\n1 0 obj\n<<>>\nendobj\n", "\x1b%-12345X@PJL JOB\n@PJL ENTER LANGUAGE=PCLXL\n",
        "\x1b%-12345X\x1b%-12345X",
    };
    for (const auto& bytes : plain) EXPECT_EQ(Detected(bytes), "unknown") << testing::PrintToString(bytes.substr(0, 9));
    // Random bytes behind the lead bytes of an image, an archive, a program or
    // a language (rows 5 to 9, the loosest bids, over a whole head).
    const std::string leads[] = {
        "\x89PNG\r\n\x1a\n", "\xFF\xD8\xFF\xE0", "\x1F\x8B\x08", "\x7F" "ELF\x02\x01\x01", "PK\x03\x04",
        "", "\x1b" "E", "\x1b" "E\x1b&l1X", "\x1b@", Lit("\x1b[K\x02\x00\x00\x0f"),
        "%PDF-1.4\n", "%!", "JZJZ", "ZIMF", "OAKT", "INFO", "$", "@G", ") HP-PCL XL;2;0\n",
        "\x1b%-12345X@PJL ENTER LANGUAGE=PCL\n", "\x1b\x01@EJL\n@EJL EN LA=ESC/PAGE\n", "\x1b%8\x1b*rB",
        Lit("\x1b*\x80\0\0\0\0\0"),  // a Lexmark page reset
    };
    for (uint32_t i = 0; i < std::size(leads); ++i) {
        const size_t size = i >= 5 && i < 10 ? 64 * 1024 : 4096;
        EXPECT_EQ(Detected(Random(size, i + 1, leads[i])), "unknown") << testing::PrintToString(leads[i]);
    }
    for (uint32_t seed = 100; seed < 400; ++seed) EXPECT_EQ(Detected(Random(2048, seed)), "unknown") << seed;
}

// The wrapper in front of a job, in the spellings spoolers and drivers use:
// where the job starts, the language the PJL (or EJL) names, a bounded head
// and tail, and the job behind it detected.
TEST(Unwrap, ReadsEveryWrapper) {
    const struct {
        std::string wrapper;
        const char* language;
    } cases[] = {
        {"", ""},
        {Lit("\0\0\x04\r\n\xEF\xBB\xBF\x04\n"), ""},  // NULs, Ctrl-D, line ends and a UTF-8 BOM
        {"\x1b%-12345X", ""},
        {"\x1b%-12345X@PJL JOB NAME=\"x\"\r\n@PJL SET COPIES=2\r\n@PJL ENTER LANGUAGE=PCLXL\r\n", "PCLXL"},
        {"\x1b%-12345X@PJL  ENTER\tLANGUAGE \t=\t PCLXL  \r\n", "PCLXL"},
        {"@pjl enter language=pclxl\x7F\n", "PCLXL"},  // lower case, no UEL, the name ends at DEL
        {"\x1b%-12345X@PJL ENTER\n", ""},
        {"\x1b%-12345X@PJL ENTER LANGUAGE=ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\n", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"},
        {Lit("\0\0\x1b" "E\x1b%-12345X@PJL ENTER LANGUAGE=PCLXL\n"), "PCLXL"},  // a reset before the UEL
        {"\x1b\x01@EJL \n@EJL SE LA=ESC/PAGE\n@EJL EN LA=ESC/PAGE\n", "ESC/PAGE"},
        {"\x1b\x01@EJL \n@EJL SET LAYOUT=1 LA = ESC/PAGE\n@EJL EN LA = ESC/PAGE\n", "ESC/PAGE"},
        {"\x1b\x01@EJL \r\n@EJL SELECT LANGUAGE=ESC/PAGE\r\n@EJL ENTER LANGUAGE=ESC/PAGE\r\n", "ESC/PAGE"},
    };
    // A PCL XL stream, longer than the head, behind every wrapper.
    const std::string job = ReadAll(kRoot + "/samples/letter-memo-1.pxlmono-copies3.pxl");
    const std::string stream = job.substr(job.find(") HP-PCL XL"));
    ASSERT_GT(stream.size(), qm::accurate::kHeadBytes);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.wrapper));
        const std::string wrapped = c.wrapper + stream;
        char pjl[32], ejl[32];
        const auto in = qm::accurate::Unwrap(Bytes(wrapped), pjl, ejl);
        const bool ejlHeader = c.wrapper.starts_with("\x1b\x01");
        EXPECT_EQ(in.body, c.wrapper.size());
        EXPECT_EQ(ejlHeader ? in.ejlLanguage : in.pjlLanguage, c.language);
        EXPECT_EQ(ejlHeader ? in.pjlLanguage : in.ejlLanguage, "");
        EXPECT_EQ(in.size, wrapped.size());
        EXPECT_EQ(in.head.size, qm::accurate::kHeadBytes);
        EXPECT_EQ(in.tail.size, qm::accurate::kTailBytes);
        EXPECT_EQ(in.tail.data + in.tail.size, reinterpret_cast<const uint8_t*>(wrapped.data()) + wrapped.size());
        if (!ejlHeader) {
            EXPECT_EQ(Detected(wrapped), "PCLXL");  // PCL XL does not belong behind EJL
        }
    }
}

// PJL or EJL that names one language over a stream of another: the stream
// decides; a name that agrees raises the bid.
TEST(Unwrap, StreamDecidesOverTheName) {
    const std::string job = ReadAll(kRoot + "/samples/letter-memo-1.ps");
    const auto& ps = *qm::accurate::FindLanguage("POSTSCRIPT");
    const std::pair<std::string, int> cases[] = {
        {"", qm::accurate::kBidStructure},
        {"\x1b%-12345X@PJL ENTER LANGUAGE=PCL\n", qm::accurate::kBidStructure},
        {"\x1b%-12345X@PJL ENTER LANGUAGE=POSTSCRIPT\n", qm::accurate::kBidDeclared},
        {"\x1b\x01@EJL \n@EJL EN LA=PS\n", qm::accurate::kBidDeclared},
    };
    for (const auto& [wrapper, bid] : cases) {
        EXPECT_EQ(Detected(wrapper + job), "POSTSCRIPT") << wrapper;
        EXPECT_EQ(qm::accurate::BidOf(ps, Bytes(wrapper + job)), bid) << wrapper;
    }
}

// Languages that share their first bytes, decided by the rule at their bids.
TEST(Detect, TellsNeighboursApart) {
    const std::string hpglBody = "IN;PS21000,14800;SP1;PA0,0;PD100,100;PG;";
    // A PCL raster page: six sequences, two rows of data.
    const std::string raster = "\x1b*t75R\x1b*r1A\x1b*b2W\x0c\x0c\x1b*b2W\x0f\x0f\x1b*rB\x0c\x1b" "E";
    // Lexmark's checked command: ESC, code, five parameters, their sum.
    const auto checked = [](std::string c) {
        int sum = 0;
        for (unsigned char b : c) sum += b;
        return "\x1b" + c + static_cast<char>(sum & 0xFF);
    };
    const std::string lexmark = Lit("\x1b*\x80\0\0\0\0\0") + checked(Lit("3\0\0\0\0\0")) +
                                checked(Lit("0\x80\x0c\x02\0\0")) + checked(Lit("C\0\0\x02\0\0")) + "\xff\x01" +
                                checked(Lit("\"\0\0\0\0\0"));
    const std::string pdf = ReadAll(kRoot + "/samples/two-pages-one-key-per-line.pdf");
    const std::string ppa = ReadAll(kRoot + "/samples/letter-memo-1.pnm2ppa.prn");
    const struct {
        const char* name;
        std::string bytes;
        const char* tag;
    } cases[] = {
        {"HP-GL/2 entered at once, with a plot size", "\x1b" "E\x1b%0B" + hpglBody + "\x1b%0A\x1b" "E", "HPGL"},
        {"standalone plotter entry", "\x1b" "E\x1b%-1BIN;SP1;PA0,0;PD100,100;SP0;\x1b" "E", "HPGL"},
        {"bare HP-GL/2", "IN;SP1;PU0,0;PD100,100,200,200;PU;SP0;PG;", "HPGL"},
        {"PCL page with an HP-GL/2 figure",
         "\x1b" "E\x1b&l2A\x1b*t75R\x1b*r1A\x1b*b2W\x0c\x0c\x1b*rB Caption\x1b%1B" + hpglBody + "\x1b%1A\f\x1b" "E", "PCL"},
        {"text for a PCL printer", "\x1b" "E\x1b&l2A one\r\ntwo\r\n\x1b&l0h1three\r\n\x1b&l0h1four\r\n", "UnixTextPCL"},
        {"PCL text without the text filter's page eject", "\x1b" "E\x1b&l2A one\r\ntwo\r\n\fthree\r\n\x1b" "E", "PCL"},
        {"Canon after ESC @",
         Lit("\x1b@\x1b[K\x02\x00\x00\x0f\x1b(a\x01\x00\x01\x1b(b\x01\x00\x01\x1b(A\x03\x00K\x01\x02\x0d\x0c"),
         "CANON"},
        {"Epson with graphics", Lit("\x1b@\x1bP\x1bl\x00\x1bQ\x50\x1bJ\x10\x1b*\x00\x03\x00\x01\x02\x03\r\n\f\0"),
         "ESCP2"},
        {"PPA cut where LIDIL reads it too: a tie", ppa.substr(0, 256), "unknown"},
        {"PPA chain", Lit("$\x01\x00\x04" "abcd" "$\x00\x00\x02" "xy"), "PPA"},
        {"LIDIL chain", Lit("$\x00\x0cx\x00\x01yyyyyy" "$\x00\x0cx\x00\x02yyyyyy"), "LIDIL"},
        {"PCL after a reset before the UEL", std::string(8, '\0') + "\x1b" "E\x1b%-12345X@PJL ENTER LANGUAGE=PCL3GUI\n" + raster,
         "PCL"},
        {"PCL after a reset-only HP-GL/2 passage", "\x1b%1BBPIN;\x1b%1A\x1b" "E" + raster, "PCL"},
        {"a plot after the same passage", "\x1b%1BBPIN;PS21000,14800;SP1;PD100,100;\x1b%1A\x1b" "E", "HPGL"},
        {"reset-only passage cut short", "\x1b%1BBPIN;\x1b%1", "unknown"},
        {"PCL after an unfinished ESC %", "\x1b%8" + raster, "PCL"},
        {"PCL's raster start alone is no Epson job", "\x1b%8\x1b*rB\x1b*t180R\x1b*", "unknown"},
        {"PCL with a sequence it does not define", "\x1bu300D" + raster, "PCL"},
        {"rows chained after a vertical skip", "\x1b*r1A\x1b*b3Y2v\x01\x02" "2w\x03\x04" + raster, "PCL"},
        {"Lexmark checked commands", lexmark, "Lexmark"},
        {"Lexmark with a broken checksum", lexmark.substr(0, 15) + "\x01" + lexmark.substr(16), "unknown"},
        {"PDF after a few lines of junk", "spooler junk\r\nmore junk\r\n" + pdf, "PDF"},
    };
    for (const auto& c : cases) EXPECT_EQ(Detected(c.bytes), c.tag) << c.name;
}

// The C entry points: codes, and a record untouched on failure but for the
// tags, whatever the job.
TEST(EntryPoints, FailCleanly) {
    const std::string pxl = ReadAll(kRoot + "/samples/letter-memo-1.pxlmono-copies3.pxl");
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
            EXPECT_STREQ(job.pdl, "PCLXL") << c.name;
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
    TempJob file(ReadAll(kRoot + "/samples/letter-memo-1.ps"));
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
    job.size = sizeof job - 1;
    EXPECT_EQ(QuirometerCount(file.path(), nullptr, &job), QM_E_INVALIDARG);
    EXPECT_EQ(job.pages, 0xABABABABu);
    EXPECT_EQ(QuirometerCount(file.path(), nullptr, nullptr), QM_E_INVALIDARG);
    job.size = sizeof job;
    EXPECT_EQ(QuirometerCount(nullptr, nullptr, &job), QM_E_INVALIDARG);
    EXPECT_EQ(QuirometerCount((file.dir() + "/missing.prn").c_str(), nullptr, &job), QM_E_FILE_NOT_FOUND);
    EXPECT_EQ(QuirometerCount(empty.path(), nullptr, &job), QM_E_EMPTY_FILE);
}

TEST(EntryPoints, NameTagsAndCodes) {
    const struct {
        const char* alias;
        const char* tag;
    } aliases[] = {{"PS", "POSTSCRIPT"}, {"ps", "POSTSCRIPT"}, {"pcl6", "PCLXL"}, {"PCL5e", "PCL"},
                   {"EscPage", "ESC_PAGE"}, {"ESC/P2", "ESCP2"}, {"pdf", "PDF"}, {"canonufr", "CanonUFR"},
                   {"hp-gl/2", "HPGL"}, {"NOSUCH", nullptr}, {"", nullptr}};
    for (const auto& a : aliases) EXPECT_STREQ(QuirometerCanonicalTag(a.alias), a.tag) << a.alias;
    EXPECT_EQ(QuirometerCanonicalTag(nullptr), nullptr);

    // Every code has its own sentence; an unknown code has one too.
    const int32_t codes[] = {QM_OK, QM_E_FILE_NOT_FOUND, QM_E_PATH_NOT_FOUND, QM_E_ACCESS_DENIED,
                             QM_E_SHARING_VIOLATION, QM_E_EMPTY_FILE, QM_E_POINTER, QM_E_FAIL, QM_E_INVALIDARG,
                             QM_E_UNKNOWN_PDL, QM_E_NOT_UNDERSTOOD, QM_E_ENCRYPTED};
    std::set<std::string> texts;
    for (int32_t code : codes) {
        const char* text = QuirometerErrorText(code);
        ASSERT_NE(text, nullptr);
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), std::size(codes));
    EXPECT_STRNE(QuirometerErrorText(0x12345678), "");
}

}  // namespace
