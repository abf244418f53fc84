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

struct KnownJob {
    std::string path;
    std::string tag;
};

// Every job with a known language: the rows of the truth files (read now,
// so jobs added later are covered) and the seed folders, named by tag.
std::vector<KnownJob> KnownJobs() {
    std::vector<KnownJob> jobs;
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
        for (const auto& seed : std::filesystem::directory_iterator(folder.path())) {
            jobs.push_back({seed.path().string(), folder.path().filename().string()});
        }
    }
    return jobs;
}

TEST(Detect, NamesEveryKnownJob) {
    const auto jobs = KnownJobs();
    ASSERT_GT(jobs.size(), 100u);
    std::set<std::string> tags;
    for (const auto& job : jobs) {
        const std::string bytes = ReadAll(job.path);
        ASSERT_FALSE(bytes.empty()) << job.path;
        const auto* lang = qm::accurate::FindLanguage(job.tag);
        ASSERT_NE(lang, nullptr) << job.tag;
        EXPECT_EQ(Detected(bytes), lang->counter->tag) << job.path;
        tags.insert(lang->counter->tag);
        // A job cut short is its own language or unknown, never another;
        // text for a PCL printer cut before its first page eject is PCL.
        for (size_t cut : {16, 64, 512, 4096}) {
            if (cut >= bytes.size()) break;
            const std::string_view part = std::string_view(bytes).substr(0, cut);
            const std::string got = Detected(part);
            const bool beforeEject = part.find("\x1b&l0h1") == std::string_view::npos;
            const bool pclText = got == "PCL" && lang->counter->tag == std::string("UnixTextPCL") && beforeEject;
            EXPECT_TRUE(got == lang->counter->tag || got == "unknown" || pclText)
                << job.path << " cut to " << cut << ": " << got;
        }
    }
    // Every language has at least one job of its own to be detected from.
    EXPECT_EQ(tags.size(), qm::accurate::Languages().size());
}

// A job is detected the same through the entry point, which maps the file.
TEST(Detect, EntryPointAgreesOnEveryKnownJob) {
    for (const auto& job : KnownJobs()) {
        char tag[QM_TAG_SIZE];
        const int32_t code = QuirometerDetect(job.path.c_str(), tag, sizeof tag);
        EXPECT_EQ(code, QM_OK) << job.path;
        EXPECT_STREQ(tag, qm::accurate::FindLanguage(job.tag)->counter->tag) << job.path;
    }
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

struct Negative {
    const char* name;
    std::string bytes;
};

TEST(Detect, UnknownForWhatIsNoPrintJob) {
    const Negative cases[] = {
        {"empty", ""},
        {"zeros", std::string(64 * 1024, '\0')},
        {"one zero", std::string(1, '\0')},
        {"plain text", Text()},
        {"text with form feeds only", "page one\r\n\fpage two\r\n\f"},
        {"text that starts with HP-GL/2 words", "IN THE BEGINNING; PA RT ONE;\n" + Text()},
        {"PNG", "\x89PNG\r\n\x1a\n" + Random(4096, 1)},
        {"JPEG", "\xFF\xD8\xFF\xE0" + Random(4096, 2)},
        {"gzip", "\x1F\x8B\x08\x00" + Random(4096, 3)},
        {"ELF", "\x7F" "ELF\x02\x01\x01" + Random(4096, 4)},
        {"ZIP", "PK\x03\x04" + Random(4096, 5)},
        {"random", Random(64 * 1024, 6)},
        {"random after ESC E", Random(64 * 1024, 7, "\x1b" "E")},
        {"random after ESC E and one PCL command", Random(64 * 1024, 8, "\x1b" "E\x1b&l1X")},
        {"random after ESC @", Random(64 * 1024, 9, "\x1b@")},
        {"random after ESC [ K", Random(64 * 1024, 10, std::string("\x1b[K\x02\x00\x00\x0f", 7))},
        {"random after a PDF header", Random(4096, 11, "%PDF-1.4\n")},
        {"random after %!", Random(4096, 12, "%!")},
        {"random after JZJZ", Random(4096, 13, "JZJZ")},
        {"random after ZIMF", Random(4096, 14, "ZIMF")},
        {"random after OAKT", Random(4096, 15, "OAKT")},
        {"random after INFO", Random(4096, 16, "INFO")},
        {"random after $", Random(4096, 17, "$")},
        {"random after @G", Random(4096, 18, "@G")},
        {"random after a PCL XL header", Random(4096, 19, ") HP-PCL XL;2;0\n")},
        {"random after PJL naming PCL", Random(4096, 20, "\x1b%-12345X@PJL ENTER LANGUAGE=PCL\n")},
        {"random after an EJL header", Random(4096, 21, "\x1b\x01@EJL\n@EJL EN LA=ESC/PAGE\n")},
        {"PJL only", "\x1b%-12345X@PJL JOB\n@PJL ENTER LANGUAGE=PCLXL\n"},
        {"UEL only", "\x1b%-12345X\x1b%-12345X"},
        {"text that quotes a PDF header", "A PDF starts %PDF-1.7 and then objects.\n" + Text()},
        {"a PDF header after 1024 bytes of text", Text() + "%PDF-1.4\n1 0 obj\n<<>>\nendobj\n"},
        {"random after an unfinished ESC %", Random(4096, 22, "\x1b%8\x1b*rB")},
        {"random after a Lexmark page reset", Random(4096, 23, std::string("\x1b*\x80\0\0\0\0\0", 8))},
    };
    for (const auto& c : cases) EXPECT_EQ(Detected(c.bytes), "unknown") << c.name;
    // Many random jobs: none may be taken for a language.
    for (uint32_t seed = 100; seed < 400; ++seed) EXPECT_EQ(Detected(Random(2048, seed)), "unknown") << seed;
}

// Detection's cost does not grow with the job: a gigabyte of zeros is looked
// at no more than its head and tail.
TEST(Detect, ReadsOnlyTheHeadAndTail) {
    std::string job = ReadAll(kRoot + "/samples/letter-memo-1.pxlmono-copies3.pxl");
    char pjl[32], ejl[32];
    const auto in = qm::accurate::Unwrap(Bytes(job), pjl, ejl);
    EXPECT_LE(in.head.size, qm::accurate::kHeadBytes);
    EXPECT_LE(in.tail.size, qm::accurate::kTailBytes);
    EXPECT_EQ(in.size, job.size());
    EXPECT_EQ(in.tail.data + in.tail.size, reinterpret_cast<const uint8_t*>(job.data()) + job.size());
}

struct WrapCase {
    const char* name;
    std::string wrapper;
    const char* pjlLanguage;
};

// The wrapper in front of a job, in the spellings spoolers and drivers use;
// the job behind it is found and detected.
TEST(Unwrap, ReadsEveryWrapper) {
    const WrapCase cases[] = {
        {"nothing", "", ""},
        {"NULs", std::string(300, '\0'), ""},
        {"Ctrl-D", "\x04", ""},
        {"UTF-8 BOM", "\xEF\xBB\xBF", ""},
        {"NULs, Ctrl-D and BOM", std::string("\0\0\x04\xEF\xBB\xBF\x04", 7), ""},
        {"UEL", "\x1b%-12345X", ""},
        {"UEL and PJL", "\x1b%-12345X@PJL JOB NAME=\"x\"\r\n@PJL SET COPIES=2\r\n@PJL ENTER LANGUAGE=PCLXL\r\n",
         "PCLXL"},
        {"PJL with blanks", "\x1b%-12345X@PJL ENTER LANGUAGE = PCLXL\n", "PCLXL"},
        {"PJL with many blanks", "\x1b%-12345X@PJL  ENTER   LANGUAGE  =  PCLXL  \n", "PCLXL"},
        {"PJL in lower case", "\x1b%-12345X@pjl enter language=pclxl\n", "PCLXL"},
        {"PJL with tabs", "\x1b%-12345X@PJL\tENTER\tLANGUAGE\t=\tPCLXL\r\n", "PCLXL"},
        {"PJL without UEL", "@PJL ENTER LANGUAGE=PCLXL\n", "PCLXL"},
        {"PJL naming no language", "\x1b%-12345X@PJL ENTER\n", ""},
        {"PJL with a name longer than its buffer",
         "\x1b%-12345X@PJL ENTER LANGUAGE=ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\n", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"},
        {"PJL after NULs", std::string("\0\0\0", 3) + "\x1b%-12345X@PJL ENTER LANGUAGE=PCLXL\n", "PCLXL"},
        {"reset before the UEL", std::string("\0\0", 2) + "\x1b" "E\x1b%-12345X@PJL ENTER LANGUAGE=PCLXL\n", "PCLXL"},
        {"EJL short", "\x1b\x01@EJL \n@EJL SE LA=ESC/PAGE\n@EJL EN LA=ESC/PAGE\n", ""},
        {"EJL with blanks", "\x1b\x01@EJL \n@EJL SET LAYOUT=1 LA = ESC/PAGE\n@EJL EN LA = ESC/PAGE\n", ""},
        {"EJL in full", "\x1b\x01@EJL \r\n@EJL SELECT LANGUAGE=ESC/PAGE\r\n@EJL ENTER LANGUAGE=ESC/PAGE\r\n", ""},
    };
    // A PCL XL stream behind every wrapper.
    const std::string job = ReadAll(kRoot + "/samples/letter-memo-1.pxlmono-copies3.pxl");
    const size_t header = job.find(") HP-PCL XL");
    ASSERT_NE(header, std::string::npos);
    const std::string stream = job.substr(header);
    for (const auto& c : cases) {
        const std::string wrapped = c.wrapper + stream;
        char pjl[32], ejl[32];
        const auto in = qm::accurate::Unwrap(Bytes(wrapped), pjl, ejl);
        EXPECT_EQ(in.body, c.wrapper.size()) << c.name;
        EXPECT_EQ(in.pjlLanguage, c.pjlLanguage) << c.name;
        if (std::string_view(c.name).substr(0, 3) == "EJL") {
            EXPECT_EQ(in.ejlLanguage, "ESC/PAGE") << c.name;
            continue;  // a PCL XL stream does not belong behind EJL
        }
        EXPECT_EQ(Detected(wrapped), "PCLXL") << c.name;
    }
}

// PJL that names one language over a stream of another: the stream decides.
TEST(Unwrap, StreamDecidesOverTheName) {
    const std::string job = ReadAll(kRoot + "/samples/letter-memo-1.ps");
    ASSERT_EQ(Detected(job), "POSTSCRIPT");
    EXPECT_EQ(Detected("\x1b%-12345X@PJL ENTER LANGUAGE=PCL\n" + job), "POSTSCRIPT");
    EXPECT_EQ(Detected("\x1b%-12345X@PJL ENTER LANGUAGE=POSTSCRIPT\n" + job), "POSTSCRIPT");
    const std::string declared = "\x1b%-12345X@PJL ENTER LANGUAGE=POSTSCRIPT\n" + job;
    EXPECT_EQ(qm::accurate::BidOf(*qm::accurate::FindLanguage("POSTSCRIPT"), Bytes(declared)),
              qm::accurate::kBidDeclared);
}

// Languages that share their first bytes, decided by the rule at their bids.
TEST(Detect, TellsNeighboursApart) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* tag;
    };
    const std::string hpglBody = "IN;PS21000,14800;SP1;PA0,0;PD100,100;PG;";
    // A PCL raster page: six sequences, two rows of data.
    const std::string raster = "\x1b*t75R\x1b*r1A\x1b*b2W\x0c\x0c\x1b*b2W\x0f\x0f\x1b*rB\x0c\x1b" "E";
    // Lexmark's checked command: ESC, code, five parameters, their sum.
    const auto checked = [](std::string c) {
        int sum = 0;
        for (unsigned char b : c) sum += b;
        return "\x1b" + c + static_cast<char>(sum & 0xFF);
    };
    const std::string lexmark = std::string("\x1b*\x80\0\0\0\0\0", 8) + checked(std::string("3\0\0\0\0\0", 6)) +
                                checked(std::string("0\x80\x0c\x02\0\0", 6)) +
                                checked(std::string("C\0\0\x02\0\0", 6)) + "\xff\x01" +
                                checked(std::string("\"\0\0\0\0\0", 6));
    const std::string pdf = ReadAll(kRoot + "/samples/two-pages-one-key-per-line.pdf");
    const Case cases[] = {
        {"HP-GL/2 entered at once, with a plot size", "\x1b" "E\x1b%0B" + hpglBody + "\x1b%0A\x1b" "E", "HPGL"},
        {"standalone plotter entry", "\x1b" "E\x1b%-1BIN;SP1;PA0,0;PD100,100;SP0;\x1b" "E", "HPGL"},
        {"bare HP-GL/2", "IN;SP1;PU0,0;PD100,100,200,200;PU;SP0;PG;", "HPGL"},
        {"PCL page with an HP-GL/2 figure",
         "\x1b" "E\x1b&l2A\x1b*t75R\x1b*r1A\x1b*b2W\x0c\x0c\x1b*rB Caption\x1b%1B" + hpglBody + "\x1b%1A\f\x1b" "E", "PCL"},
        {"text for a PCL printer", "\x1b" "E\x1b&l2A one\r\ntwo\r\n\x1b&l0h1three\r\n\x1b&l0h1four\r\n", "UnixTextPCL"},
        {"PCL text without the text filter's page eject", "\x1b" "E\x1b&l2A one\r\ntwo\r\n\fthree\r\n\x1b" "E", "PCL"},
        {"Canon after ESC @", std::string("\x1b@\x1b[K\x02\x00\x00\x0f\x1b(a\x01\x00\x01\x1b(b\x01\x00\x01", 21) +
                                  std::string("\x1b(A\x03\x00K\x01\x02\x0d\x0c", 10), "CANON"},
        {"Epson with graphics", std::string("\x1b@\x1bP\x1bl\x00\x1bQ\x50\x1bJ\x10\x1b*\x00\x03\x00\x01\x02\x03\r\n\f", 25),
         "ESCP2"},
        {"PPA chain", std::string("$\x01\x00\x04" "abcd" "$\x00\x00\x02" "xy", 14), "PPA"},
        {"LIDIL chain", std::string("$\x00\x0cx\x00\x01yyyyyy" "$\x00\x0cx\x00\x02yyyyyy", 24), "LIDIL"},
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

struct EntryCase {
    const char* name;
    std::string bytes;
    const char* pdl;
    int32_t code;
    const char* detected;
};

// The C entry points: codes, and a record untouched on failure but for the
// tags, whatever the job.
TEST(EntryPoints, FailCleanly) {
    const std::string pxl = ReadAll(kRoot + "/samples/letter-memo-1.pxlmono-copies3.pxl");
    const EntryCase cases[] = {
        {"detected job", pxl, nullptr, QM_OK, "PCLXL"},
        {"detected job, empty pdl", pxl, "", QM_OK, "PCLXL"},
        {"forced by alias", pxl, "pcl6", QM_OK, "PCLXL"},
        {"unknown tag", pxl, "NOSUCH", QM_E_INVALIDARG, ""},
        {"zeros", std::string(8192, '\0'), nullptr, QM_E_UNKNOWN_PDL, "unknown"},
        {"zeros forced", std::string(8192, '\0'), "PCL", QM_E_NOT_UNDERSTOOD, "unknown"},
        {"junk forced", Random(8192, 77), "ESCP2", QM_E_NOT_UNDERSTOOD, "unknown"},
        {"junk forced as PCL", Random(8192, 78, "\x1b" "E"), "PCL", QM_E_NOT_UNDERSTOOD, "unknown"},
        {"text", Text(), nullptr, QM_E_UNKNOWN_PDL, "unknown"},
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

    // A short buffer takes the tag cut to fit.
    char small[4];
    EXPECT_EQ(QuirometerDetect(file.path(), small, sizeof small), QM_OK);
    EXPECT_STREQ(small, "POS");

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
    for (const auto& a : aliases) {
        const char* got = QuirometerCanonicalTag(a.alias);
        if (a.tag == nullptr) {
            EXPECT_EQ(got, nullptr) << a.alias;
        } else {
            EXPECT_STREQ(got, a.tag) << a.alias;
        }
    }
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
