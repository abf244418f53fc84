#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "api/scanners.h"
#include "testutil.h"

using namespace qmtest;

namespace {

std::string Be32(uint32_t v) {
    return {char(v >> 24), char((v >> 16) & 0xFF), char((v >> 8) & 0xFF), char(v & 0xFF)};
}
std::string Le32(uint32_t v) {
    return {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
}

constexpr uint32_t kZjsSig = 0x5A5A;
constexpr uint32_t kTallySig = 0xA5A5;
const std::string kZjsHeader = "JZJZ";
const std::string kTallyHeader = "\xA5SL2";

std::string Item(uint32_t key, uint32_t value) { return Be32(12) + Be32(key) + Be32(value); }

// A chunk whose declared size is its real size unless `size` says otherwise.
std::string Chunk(uint32_t type, uint32_t sig, const std::string& body = "", int64_t size = -1) {
    const uint32_t n = size < 0 ? uint32_t(16 + body.size()) : uint32_t(size);
    return Be32(n) + Be32(type) + Be32(0) + Be32(sig) + body;
}
std::string Zjs(uint32_t type, const std::string& body = "", int64_t size = -1) {
    return Chunk(type, kZjsSig, body, size);
}
// End of document: keeps a page's chunk from being the file's last 16 bytes.
const std::string kZjsEnd = Zjs(1);

struct StreamCase {
    const char* name;
    std::string job;
    uint32_t pages;
    uint32_t copies;
    uint8_t color;
    uint8_t duplex;
};

void ExpectCounts(const char* tag, const StreamCase& c, double width = 0.0, double length = 0.0) {
    PageCountResult rec = MarkedRecord();
    ASSERT_EQ(CountWith(tag, c.job, rec), QM_OK) << c.name;
    EXPECT_EQ(rec.pages, c.pages) << c.name;
    EXPECT_EQ(rec.copies, c.copies) << c.name;
    EXPECT_EQ(rec.color, c.color) << c.name;
    EXPECT_EQ(rec.duplex, c.duplex) << c.name;
    EXPECT_EQ(rec.paperWidth, width) << c.name;
    EXPECT_EQ(rec.paperLength, length) << c.name;
}

TEST(ZjStream, WalksChunksBySize) {
    const std::string page = Zjs(3);
    const StreamCase cases[] = {
        {"page then end of document", kZjsHeader + page + kZjsEnd, 1, 1, 0, 0},
        {"final chunk ending the file is not read", kZjsHeader + page, 0, 1, 0, 0},
        {"one byte more makes it readable", kZjsHeader + page + "x", 1, 1, 0, 0},
        {"header only plus sixteen bytes", kZjsHeader + std::string(16, '\0'), 0, 1, 0, 0},
        {"three pages", kZjsHeader + page + page + page + kZjsEnd, 3, 1, 0, 0},
        {"page chunk hidden in a raster body", kZjsHeader + Zjs(5, page + page) + page + kZjsEnd, 1, 1, 0, 0},
        {"wrong signature steps 16 bytes", kZjsHeader + Chunk(3, 0x12345A5A, "", 64) + page + kZjsEnd, 1, 1, 0, 0},
        {"Tally signature is not a ZjStream chunk", kZjsHeader + Chunk(3, kTallySig) + page + kZjsEnd, 1, 1, 0, 0},
        {"zero-size chunk ends the walk", kZjsHeader + Zjs(3, "", 0) + page + kZjsEnd, 1, 1, 0, 0},
        {"chunk past the end", kZjsHeader + page + Zjs(4, "", 0xFFFFFFFF) + page + kZjsEnd, 1, 1, 0, 0},
        // Size 4 puts the next header 4 bytes on; its signature field is the
        // zero word, so the walk steps 16 bytes to the page chunk.
        {"short chunk size advances by its size", kZjsHeader + Zjs(9, "", 4) + Be32(0) + page + kZjsEnd, 1, 1, 0, 0},
    };
    for (const StreamCase& c : cases) ExpectCounts("ZJSTREAM", c);
}

TEST(ZjStream, ReadsDocumentAndPageItems) {
    auto doc = [](uint32_t key, uint32_t v) { return Zjs(0, Item(key, v)); };
    auto page = [](uint32_t key, uint32_t v) { return Zjs(2, Item(key, v)) + Zjs(3); };
    const StreamCase cases[] = {
        {"duplex 1 is simplex", kZjsHeader + doc(0x00020100, 1) + kZjsEnd, 0, 1, 0, 0},
        {"duplex 2", kZjsHeader + doc(0x00020100, 2) + kZjsEnd, 0, 1, 0, 1},
        {"duplex 3", kZjsHeader + doc(0x00020100, 3) + kZjsEnd, 0, 1, 0, 1},
        {"duplex only in the document chunk", kZjsHeader + page(0x00020100, 2) + kZjsEnd, 1, 1, 0, 0},
        {"colour 1 is mono", kZjsHeader + page(0x00070100, 1) + kZjsEnd, 1, 1, 0, 0},
        {"colour 4", kZjsHeader + page(0x00070100, 4) + kZjsEnd, 1, 1, 1, 0},
        {"copies in every page", kZjsHeader + page(0x00040100, 3) + page(0x00040100, 3) + kZjsEnd, 2, 3, 0, 0},
        {"last copies wins", kZjsHeader + page(0x00040100, 3) + page(0x00040100, 2) + kZjsEnd, 2, 2, 0, 0},
        {"copies only in page chunks", kZjsHeader + doc(0x00040100, 3) + kZjsEnd, 0, 1, 0, 0},
        {"Tally copies key means nothing", kZjsHeader + page(0x01010100, 3) + kZjsEnd, 1, 1, 0, 0},
        // 16 bytes after the declared end read as a copies item or as a chunk.
        {"items end at the chunk's declared end",
         kZjsHeader + Zjs(2, Item(0x00070100, 1), 28) + Be32(16) + Be32(0x00040100) + Be32(7) + Be32(kZjsSig) +
             Zjs(3) + kZjsEnd,
         1, 1, 0, 0},
        {"several items", kZjsHeader + Zjs(2, Item(1, 1) + Item(0x00070100, 2) + Item(0x00040100, 4)) + Zjs(3) + kZjsEnd,
         1, 4, 1, 0},
        {"zero-size item ends the items",
         kZjsHeader + Zjs(2, Be32(0) + Be32(0x00070100) + Be32(1) + Item(0x00040100, 5)) + Zjs(3) + kZjsEnd, 1, 1, 0,
         0},
        {"item header cut by the end of file", kZjsHeader + Zjs(2, Be32(12) + Be32(0x00040100) + "\0\0", 40), 0, 1, 0,
         0},
    };
    for (const StreamCase& c : cases) ExpectCounts("ZJSTREAM", c);
}

TEST(ZjStream, SendsOneLinePerPageWithTheIndexAfterTheHeader) {
    CapturedLines lines;
    PageCountResult rec{};
    ASSERT_EQ(CountWith("ZJSTREAM", kZjsHeader + Zjs(3) + Zjs(4, "abcd") + Zjs(3) + kZjsEnd, rec), QM_OK);
    const std::vector<std::string> expected = {
        "plathorn.dll!GetTotalPageCount_ZJSTREAM: Found End of Page 14\n",
        "plathorn.dll!GetTotalPageCount_ZJSTREAM: Found End of Page 38\n",
    };
    EXPECT_EQ(lines.lines(), expected);
}

TEST(Tally, ReadsItsOwnItemsAndPaper) {
    auto doc = [](uint32_t key, uint32_t v) { return Chunk(0, kTallySig, Item(key, v)); };
    auto page = [](const std::string& items) { return Chunk(2, kTallySig, items) + Chunk(3, kTallySig); };
    const std::string end = Chunk(1, kTallySig);
    const StreamCase cases[] = {
        {"duplex 1 sets it", kTallyHeader + doc(0x00020100, 1) + end, 0, 1, 0, 1},
        {"duplex 0", kTallyHeader + doc(0x00020100, 0) + end, 0, 1, 0, 0},
        {"copies", kTallyHeader + page(Item(0x01010100, 6)) + end, 1, 6, 0, 0},
        {"ZjStream copies key means nothing", kTallyHeader + page(Item(0x00040100, 6)) + end, 1, 1, 0, 0},
        {"colour 2", kTallyHeader + page(Item(0x01040100, 2)) + end, 1, 1, 1, 0},
        {"colour 1", kTallyHeader + page(Item(0x01040100, 1)) + end, 1, 1, 0, 0},
        {"ZjStream chunks are not Tally chunks", kTallyHeader + Zjs(3) + end, 0, 1, 0, 0},
        {"X variant", "\xA5SLX" + Chunk(3, kTallySig) + end, 1, 1, 0, 0},
    };
    for (const StreamCase& c : cases) ExpectCounts("TALLYSTREAM", c);

    const StreamCase letter = {"letter", kTallyHeader + page(Item(0x010D0100, 4862) + Item(0x010E0100, 6362)) + end,
                               1, 1, 0, 0};
    ExpectCounts("TALLYSTREAM", letter, 8.5, 11.0);
    const StreamCase last = {"last page's paper",
                             kTallyHeader + page(Item(0x010D0100, 4862) + Item(0x010E0100, 6362)) +
                                 page(Item(0x010D0100, 0) + Item(0x010E0100, 362)) + end,
                             2, 1, 0, 0};
    ExpectCounts("TALLYSTREAM", last, 238.0 * 0.0016666666666666668, 1.0);
}

TEST(Tally, NamesTheZjStreamEntryPointInItsLine) {
    CapturedLines lines;
    PageCountResult rec{};
    ASSERT_EQ(CountWith("TALLYSTREAM", kTallyHeader + Chunk(3, kTallySig) + Chunk(1, kTallySig), rec), QM_OK);
    const std::vector<std::string> expected = {"plathorn.dll!GetTotalPageCount_ZJSTREAM: Found End of Page 14\n"};
    EXPECT_EQ(lines.lines(), expected);
}

TEST(ZjStream, RejectsJobsWithoutTheFileHeader) {
    struct Rejection {
        const char* tag;
        std::string job;
    };
    const std::string zjsPage = Zjs(3) + kZjsEnd;
    const Rejection cases[] = {
        {"ZJSTREAM", "J"},
        {"ZJSTREAM", "JZJZ"},
        {"ZJSTREAM", "JZJz" + zjsPage},
        {"ZJSTREAM", std::string("\0JZJZ", 5) + zjsPage},
        {"ZJSTREAM", kTallyHeader + zjsPage},
        {"TALLYSTREAM", "\xA5SL1" + Chunk(3, kTallySig) + Chunk(1, kTallySig)},
        {"TALLYSTREAM", "\xA5SL2"},
        {"TALLYSTREAM", kZjsHeader + Chunk(3, kTallySig) + Chunk(1, kTallySig)},
    };
    for (const Rejection& c : cases) {
        PageCountResult rec = MarkedRecord();
        EXPECT_EQ(CountWith(c.tag, c.job, rec), QM_E_FAIL) << c.tag << " " << c.job.size();
        EXPECT_TRUE(IsMarked(rec)) << c.tag << " " << c.job.size();
        rec = MarkedRecord();
        EXPECT_EQ(CountFile(c.tag, c.job, rec), QM_E_FAIL) << c.tag;
        EXPECT_TRUE(IsMarked(rec)) << c.tag;
    }
    // Five bytes with the right header: nothing to walk, but a job.
    for (const char* tag : {"ZJSTREAM", "TALLYSTREAM"}) {
        PageCountResult rec = MarkedRecord();
        const std::string job = std::string(tag[0] == 'Z' ? kZjsHeader : kTallyHeader) + "\x01";
        ASSERT_EQ(CountWith(tag, job, rec), QM_OK) << tag;
        EXPECT_EQ(rec.pages, 0u);
        EXPECT_EQ(rec.copies, 1u);
    }
}

// Raster bodies are skipped by their sizes, never read: a body that lies on
// an unreadable page must not fault.
TEST(ZjStream, NeverTouchesSkippedBodies) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    void* map = ::mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto* base = static_cast<uint8_t*>(map);
    struct Layout {
        const char* tag;
        std::string header;
        uint32_t sig;
    };
    for (const Layout& l : {Layout{"ZJSTREAM", kZjsHeader, kZjsSig}, Layout{"TALLYSTREAM", kTallyHeader, kTallySig}}) {
        ASSERT_EQ(::mprotect(base, 3 * page, PROT_READ | PROT_WRITE), 0);
        const size_t start = page - 20;  // header and raster chunk header end the first page
        const std::string head = l.header + Chunk(4, l.sig, "", 16 + page);
        std::memcpy(base + start, head.data(), head.size());
        const std::string tail = Chunk(3, l.sig) + Chunk(1, l.sig);
        std::memcpy(base + 2 * page, tail.data(), tail.size());
        ASSERT_EQ(::mprotect(base + page, page, PROT_NONE), 0);
        const qm::Bytes job(base + start, static_cast<uint32_t>(2 * page - start + tail.size()));
        PageCountResult rec{};
        const auto scan = l.tag[0] == 'Z' ? qm::ScanZJSTREAM : qm::ScanTALLYSTREAM;
        ASSERT_EQ(scan(job, 0, rec), QM_OK) << l.tag;
        EXPECT_EQ(rec.pages, 1u) << l.tag;
    }
    ::munmap(map, 3 * page);
}

// ---------------------------------------------------------------------------

std::string Oakt(uint32_t type, uint32_t value = 0, const std::string& data = "", int64_t length = -1) {
    const uint32_t n = length < 0 ? uint32_t(16 + data.size()) : uint32_t(length);
    return "OAKT" + Le32(n) + Le32(type) + Le32(value) + data;
}
const std::string kOaktPage = Oakt(20);
const std::string kOaktEnd = Oakt(21);

std::string OaktPaper(uint32_t width, uint32_t length) { return Oakt(43, 0, Le32(width) + Le32(length)); }
std::string OaktBlock(const std::string& block) {
    return Oakt(60, 0, std::string(16, 'h') + Le32(uint32_t(block.size()))) + block;
}

TEST(Oakt, SearchesRecordsAndStepsOverThem) {
    const StreamCase cases[] = {
        {"page then end", kOaktPage + kOaktEnd, 1, 0, 0, 0},
        {"final page record ending the file is not counted", kOaktPage + kOaktPage, 1, 0, 0, 0},
        {"junk between records", "xyzOAK" + kOaktPage + std::string("O\0O", 3) + kOaktPage + kOaktEnd, 2, 0, 0, 0},
        {"record hidden in another's body", Oakt(77, 0, kOaktPage) + kOaktEnd, 0, 0, 0, 0},
        {"data block hides a page", OaktBlock(kOaktPage + kOaktPage) + kOaktPage + kOaktEnd, 1, 0, 0, 0},
        {"zero-length record ends the walk", Oakt(20, 0, "", 0) + kOaktPage + kOaktEnd, 1, 0, 0, 0},
        {"record length past the end", kOaktPage + Oakt(9, 0, "", 0x7FFFFFFF) + kOaktPage + kOaktEnd, 1, 0, 0, 0},
        {"block length past the end",
         kOaktPage + Oakt(60, 0, std::string(16, 'h') + Le32(0xFFFFFFFF) + "hhhh") + kOaktPage + kOaktEnd, 1, 0, 0, 0},
        {"block length field cut by the end", kOaktPage + Oakt(60, 0, "hhhh"), 1, 0, 0, 0},
        {"attributes", Oakt(42, 4) + Oakt(30) + Oakt(50) + kOaktPage + kOaktEnd, 1, 4, 1, 1},
        {"last copies wins", Oakt(42, 4) + Oakt(42, 2) + kOaktEnd, 0, 2, 0, 0},
        {"sixteen bytes are not scanned", kOaktPage, 0, 0, 0, 0},
        {"no records", "plain text, no records at all", 0, 0, 0, 0},
    };
    for (const StreamCase& c : cases) ExpectCounts("OAKT", c);
}

TEST(Oakt, DataBlockMovesTheNextRecordByItsLength) {
    // A 36-byte record whose block length is 1000: the next record is 1036
    // bytes on; a record one byte earlier is jumped over, one byte later the
    // search finds it.
    const std::string head = Oakt(60, 0, std::string(16, 'h') + Le32(1000));
    ASSERT_EQ(head.size(), 36u);
    for (int shift : {-1, 0, 1}) {
        std::string job = head + std::string(1000 + shift, 'h') + kOaktPage + kOaktEnd;
        PageCountResult rec{};
        ASSERT_EQ(CountWith("OAKT", job, rec), QM_OK);
        EXPECT_EQ(rec.pages, shift < 0 ? 0u : 1u) << shift;
    }
}

TEST(Oakt, TakesTheLastPaperSize) {
    struct PaperCase {
        const char* name;
        std::string job;
        double width, length;
    };
    const PaperCase cases[] = {
        {"letter", OaktPaper(10200, 13200) + kOaktEnd, 8.5, 11.0},
        {"second wins", OaktPaper(10200, 13200) + OaktPaper(9921, 14031) + kOaktEnd, 9921 * 0.0008333333333333334,
         14031 * 0.0008333333333333334},
        {"sizes cut by the end", kOaktPage + Oakt(43, 0, "\x10\x27", 24), 0.0, 0.0},
        {"none", kOaktPage + kOaktEnd, 0.0, 0.0},
    };
    for (const PaperCase& c : cases) {
        PageCountResult rec{};
        ASSERT_EQ(CountWith("OAKT", c.job, rec), QM_OK) << c.name;
        EXPECT_EQ(rec.paperWidth, c.width) << c.name;
        EXPECT_EQ(rec.paperLength, c.length) << c.name;
    }
}

TEST(Oakt, SendsOneLinePerPage) {
    CapturedLines lines;
    PageCountResult rec{};
    ASSERT_EQ(CountWith("OAKT", "ab" + kOaktPage + kOaktEnd, rec), QM_OK);
    const std::vector<std::string> expected = {"plathorn.dll!GetTotalPageCount_OAKT: Found End of Page 12\n"};
    EXPECT_EQ(lines.lines(), expected);
}

}  // namespace
