#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "api/scanners.h"
#include "testutil.h"

using namespace qmtest;

namespace {

std::string Be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

constexpr uint32_t kZjsSig = 0x5A5A, kTallySig = 0xA5A5;
const std::string kZjs = "JZJZ", kTally = "\xA5SL2";

std::string Item(uint32_t key, uint32_t value) { return Be32(12) + Be32(key) + Be32(value); }
// A chunk of its real size unless `size` says otherwise.
std::string Chunk(uint32_t type, uint32_t sig, const std::string& body = "", int64_t size = -1) {
    return Be32(size < 0 ? uint32_t(16 + body.size()) : uint32_t(size)) + Be32(type) + Be32(0) + Be32(sig) + body;
}
std::string Zjs(uint32_t type, const std::string& body = "", int64_t size = -1) {
    return Chunk(type, kZjsSig, body, size);
}
std::string Tly(uint32_t type, const std::string& body = "") { return Chunk(type, kTallySig, body); }
std::string Oakt(uint32_t type, uint32_t value = 0, const std::string& data = "", int64_t length = -1) {
    return "OAKT" + Le32(length < 0 ? uint32_t(16 + data.size()) : uint32_t(length)) + Le32(type) + Le32(value) +
           data;
}
// Type 60: the block length sits at record offset 32.
std::string OaktBlock(uint32_t blockLength) { return Oakt(60, 0, std::string(16, 'h') + Le32(blockLength)); }

// A final 16-byte chunk or record is never read: these close the jobs.
const std::string kZjsEnd = Zjs(1), kTallyEnd = Tly(1), kOaktEnd = Oakt(21);
const std::string kZjsPage = Zjs(3), kOaktPage = Oakt(20);

struct Case {
    const char* name;
    std::string job;
    int32_t code;
    uint32_t pages, copies;
    uint8_t color, duplex;
    double width, length;
};

void Check(const char* tag, const Case& c) {
    PageCountResult rec = MarkedRecord();
    ASSERT_EQ(CountWith(tag, c.job, rec), c.code) << c.name;
    if (c.code != QM_OK) {
        EXPECT_TRUE(IsMarked(rec)) << c.name;
        return;
    }
    EXPECT_EQ(rec.pages, c.pages) << c.name;
    EXPECT_EQ(rec.copies, c.copies) << c.name;
    EXPECT_EQ(rec.color, c.color) << c.name;
    EXPECT_EQ(rec.duplex, c.duplex) << c.name;
    EXPECT_EQ(rec.paperWidth, c.width) << c.name;
    EXPECT_EQ(rec.paperLength, c.length) << c.name;
}

TEST(ZjStream, WalksChunksAndReadsItems) {
    auto page = [](uint32_t key, uint32_t v) { return Zjs(2, Item(key, v)) + kZjsPage; };
    const Case cases[] = {
        {"page then end of document", kZjs + kZjsPage + kZjsEnd, QM_OK, 1, 1, 0, 0, 0, 0},
        {"final chunk ending the file is not read", kZjs + kZjsPage, QM_OK, 0, 1, 0, 0, 0, 0},
        {"page hidden in a raster body", kZjs + Zjs(5, kZjsPage) + kZjsPage + kZjsEnd, QM_OK, 1, 1, 0, 0, 0, 0},
        {"wrong signature steps 16 bytes", kZjs + Chunk(3, 0x12345A5A, "", 64) + kZjsPage + kZjsEnd, QM_OK, 1, 1, 0,
         0, 0, 0},
        {"zero-size chunk ends the walk", kZjs + Zjs(3, "", 0) + kZjsPage + kZjsEnd, QM_OK, 1, 1, 0, 0, 0, 0},
        {"chunk past the end", kZjs + kZjsPage + Zjs(4, "", 0xFFFFFFFF) + kZjsPage + kZjsEnd, QM_OK, 1, 1, 0, 0, 0,
         0},
        {"duplex 1 is simplex", kZjs + Zjs(0, Item(0x00020100, 1)) + kZjsEnd, QM_OK, 0, 1, 0, 0, 0, 0},
        {"duplex 2", kZjs + Zjs(0, Item(0x00020100, 2)) + kZjsEnd, QM_OK, 0, 1, 0, 1, 0, 0},
        {"colour 4", kZjs + page(0x00070100, 4) + kZjsEnd, QM_OK, 1, 1, 1, 0, 0, 0},
        {"last copies wins", kZjs + page(0x00040100, 3) + page(0x00040100, 2) + kZjsEnd, QM_OK, 2, 2, 0, 0, 0, 0},
        {"items end at the declared chunk end",
         kZjs + Zjs(2, Item(1, 1), 28) + Be32(16) + Be32(0x00040100) + Be32(7) + Be32(kZjsSig) + kZjsEnd, QM_OK, 0,
         1, 0, 0, 0, 0},
        {"zero-size item ends the items",
         kZjs + Zjs(2, Be32(0) + Be32(1) + Be32(1) + Item(0x00040100, 5)) + kZjsEnd, QM_OK, 0, 1, 0, 0, 0, 0},
        {"item cut by the end of file", kZjs + Zjs(2, Be32(12) + Be32(0x00040100) + "\0\0", 40), QM_OK, 0, 1, 0, 0,
         0, 0},
        {"header and one byte", kZjs + "x", QM_OK, 0, 1, 0, 0, 0, 0},
        {"header alone", kZjs, QM_E_FAIL, 0, 0, 0, 0, 0, 0},
        {"wrong header", "JZJz" + kZjsPage + kZjsEnd, QM_E_FAIL, 0, 0, 0, 0, 0, 0},
        {"Tally header", kTally + kZjsPage + kZjsEnd, QM_E_FAIL, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) Check("ZJSTREAM", c);
}

TEST(Tally, UsesItsOwnSignatureAndItems) {
    auto page = [](const std::string& items) { return Tly(2, items) + Tly(3); };
    const Case cases[] = {
        {"page", kTally + Tly(3) + kTallyEnd, QM_OK, 1, 1, 0, 0, 0, 0},
        {"X variant", "\xA5SLX" + Tly(3) + kTallyEnd, QM_OK, 1, 1, 0, 0, 0, 0},
        {"ZjStream chunks are not Tally chunks", kTally + kZjsPage + kTallyEnd, QM_OK, 0, 1, 0, 0, 0, 0},
        {"duplex 1 sets it", kTally + Tly(0, Item(0x00020100, 1)) + kTallyEnd, QM_OK, 0, 1, 0, 1, 0, 0},
        {"copies", kTally + page(Item(0x01010100, 6)) + kTallyEnd, QM_OK, 1, 6, 0, 0, 0, 0},
        {"ZjStream copies key", kTally + page(Item(0x00040100, 6)) + kTallyEnd, QM_OK, 1, 1, 0, 0, 0, 0},
        {"colour 2", kTally + page(Item(0x01040100, 2)) + kTallyEnd, QM_OK, 1, 1, 1, 0, 0, 0},
        {"letter", kTally + page(Item(0x010D0100, 4862) + Item(0x010E0100, 6362)) + kTallyEnd, QM_OK, 1, 1, 0, 0,
         8.5, 11.0},
        {"last page's paper",
         kTally + page(Item(0x010D0100, 4862)) + page(Item(0x010D0100, 0) + Item(0x010E0100, 362)) + kTallyEnd, QM_OK,
         2, 1, 0, 0, 238.0 * 0.0016666666666666668, 1.0},
        {"fourth byte 1", "\xA5SL1" + Tly(3) + kTallyEnd, QM_E_FAIL, 0, 0, 0, 0, 0, 0},
        {"ZjStream header", kZjs + Tly(3) + kTallyEnd, QM_E_FAIL, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) Check("TALLYSTREAM", c);
}

TEST(Oakt, SearchesRecordsAndStepsOverThem) {
    const Case cases[] = {
        {"page then end", kOaktPage + kOaktEnd, QM_OK, 1, 0, 0, 0, 0, 0},
        {"final record ending the file is not read", kOaktPage + kOaktPage, QM_OK, 1, 0, 0, 0, 0, 0},
        {"bytes between records", "xyzOAK" + kOaktPage + std::string("O\0O", 3) + kOaktPage + kOaktEnd, QM_OK, 2, 0,
         0, 0, 0, 0},
        {"record hidden in another's body", Oakt(77, 0, kOaktPage) + kOaktEnd, QM_OK, 0, 0, 0, 0, 0, 0},
        {"data block hides a page", OaktBlock(32) + kOaktPage + kOaktPage + kOaktPage + kOaktEnd, QM_OK, 1, 0, 0, 0,
         0, 0},
        {"zero-length record ends the walk", Oakt(20, 0, "", 0) + kOaktPage + kOaktEnd, QM_OK, 1, 0, 0, 0, 0, 0},
        {"block length past the end", kOaktPage + OaktBlock(0xFFFFFFFF) + kOaktPage + kOaktEnd, QM_OK, 1, 0, 0, 0, 0,
         0},
        {"block length cut by the end", kOaktPage + Oakt(60, 0, "hhhh"), QM_OK, 1, 0, 0, 0, 0, 0},
        {"attributes", Oakt(42, 4) + Oakt(30) + Oakt(50) + kOaktEnd, QM_OK, 0, 4, 1, 1, 0, 0},
        {"second paper wins", Oakt(43, 0, Le32(9921) + Le32(1)) + Oakt(43, 0, Le32(10200) + Le32(13200)) + kOaktEnd,
         QM_OK, 0, 0, 0, 0, 8.5, 11.0},
        {"paper cut by the end", kOaktPage + Oakt(43, 0, "\x10\x27", 24), QM_OK, 1, 0, 0, 0, 0, 0},
        {"no records", "plain text without any record", QM_OK, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) Check("OAKT", c);

    // The record after a 36-byte type-60 record with block length 1000 is
    // 1036 bytes on; one byte earlier it is jumped over.
    for (int shift : {-1, 0, 1}) {
        const Case c{"block", OaktBlock(1000) + std::string(1000 + shift, 'h') + kOaktPage + kOaktEnd, QM_OK,
                     shift < 0 ? 0u : 1u, 0, 0, 0, 0, 0};
        Check("OAKT", c);
    }
}

TEST(ZjStream, SendsOneEndOfPageLinePerPage) {
    const std::string zjsLine = "plathorn.dll!GetTotalPageCount_ZJSTREAM: Found End of Page ";
    struct LineCase {
        const char* tag;
        std::string job;
        std::vector<std::string> lines;
    };
    const LineCase cases[] = {
        {"ZJSTREAM", kZjs + kZjsPage + Zjs(4, "abcd") + kZjsPage + kZjsEnd, {zjsLine + "14\n", zjsLine + "38\n"}},
        {"TALLYSTREAM", kTally + Tly(3) + kTallyEnd, {zjsLine + "14\n"}},
        {"OAKT", "ab" + kOaktPage + kOaktEnd, {"plathorn.dll!GetTotalPageCount_OAKT: Found End of Page 12\n"}},
    };
    for (const LineCase& c : cases) {
        CapturedLines lines;
        PageCountResult rec{};
        ASSERT_EQ(CountFile(c.tag, c.job, rec), QM_OK) << c.tag;
        EXPECT_EQ(lines.lines(), c.lines) << c.tag;
    }
}

// Bodies are skipped by their declared sizes, never read: a body lying on an
// unreadable page must not fault, whatever the stream.
TEST(ZjStream, NeverTouchesSkippedBodies) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    struct Layout {
        qm::MappedScan scan;
        std::string head;  // ends with a chunk or record whose body spans the hole
        std::string tail;
        uint32_t pages;
    };
    const std::string zimfMark = "\xCD\x9A\xA9\xDC", zimfPage = zimfMark + Le32(20) + std::string(8, 0) + Le32(13);
    const Layout layouts[] = {
        {qm::ScanZJSTREAM, kZjs + Zjs(4, "", 16 + page), kZjsPage + kZjsEnd, 1},
        {qm::ScanTALLYSTREAM, kTally + Chunk(4, kTallySig, "", 16 + page), Tly(3) + kTallyEnd, 1},
        {qm::ScanZIMF, "ZIMF" + zimfMark + Le32(20 + uint32_t(page)) + std::string(8, 0) + Le32(4), zimfPage, 1},
    };
    void* map = ::mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto* base = static_cast<uint8_t*>(map);
    for (const Layout& l : layouts) {
        ASSERT_EQ(::mprotect(base, 3 * page, PROT_READ | PROT_WRITE), 0);
        const size_t start = page - l.head.size();
        std::memcpy(base + start, l.head.data(), l.head.size());
        std::memcpy(base + 2 * page, l.tail.data(), l.tail.size());
        ASSERT_EQ(::mprotect(base + page, page, PROT_NONE), 0);
        PageCountResult rec{};
        ASSERT_EQ(l.scan(qm::Bytes(base + start, uint32_t(2 * page - start + l.tail.size())), 0, rec), QM_OK);
        EXPECT_EQ(rec.pages, l.pages);
    }
    ::munmap(map, 3 * page);
}

}  // namespace
