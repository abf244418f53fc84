#include "testutil.h"

using namespace qmtest;

namespace {

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

TEST(ZjStream, WalksChunksAndReadsItems) {
    auto page = [](uint32_t key, uint32_t v) { return Zjs(2, Item(key, v)) + kZjsPage; };
    const Case cases[] = {
        {"final chunk ending the file is not read", kZjs + kZjsPage, {0, 1}},
        {"page hidden in a raster body", kZjs + Zjs(5, kZjsPage) + kZjsPage + kZjsEnd, {1, 1}},
        {"wrong signature steps 16 bytes", kZjs + Chunk(3, 0x12345A5A, "", 64) + kZjsPage + kZjsEnd, {1, 1}},
        {"zero-size chunk ends the walk", kZjs + Zjs(3, "", 0) + kZjsPage + kZjsEnd, {1, 1}},
        {"chunk past the end", kZjs + kZjsPage + Zjs(4, "", 0xFFFFFFFF) + kZjsPage + kZjsEnd, {1, 1}},
        {"duplex 1 is simplex", kZjs + Zjs(0, Item(0x00020100, 1)) + kZjsEnd, {0, 1}},
        {"duplex 2", kZjs + Zjs(0, Item(0x00020100, 2)) + kZjsEnd, {0, 1, 0, 1}},
        {"colour 4", kZjs + page(0x00070100, 4) + kZjsEnd, {1, 1, 1}},
        {"last copies wins", kZjs + page(0x00040100, 3) + page(0x00040100, 2) + kZjsEnd, {2, 2}},
        {"items end at the declared chunk end",
         kZjs + Zjs(2, Item(1, 1), 28) + Be32(16) + Be32(0x00040100) + Be32(7) + Be32(kZjsSig) + kZjsEnd, {0, 1}},
        {"zero-size item ends the items",
         kZjs + Zjs(2, Be32(0) + Be32(1) + Be32(1) + Item(0x00040100, 5)) + kZjsEnd, {0, 1}},
        {"item cut by the end of file", kZjs + Zjs(2, Be32(12) + Be32(0x00040100) + "\0\0", 40), {0, 1}},
        {"header and one byte", kZjs + "x", {0, 1}},
        {"header alone", kZjs, kRejected},
        {"wrong header", "JZJz" + kZjsPage + kZjsEnd, kRejected},
        {"Tally header", kTally + kZjsPage + kZjsEnd, kRejected},
    };
    for (const Case& c : cases) ExpectRecord("ZJSTREAM", c);
}

TEST(Tally, UsesItsOwnSignatureAndItems) {
    auto page = [](const std::string& items) { return Tly(2, items) + Tly(3); };
    const Case cases[] = {
        {"X variant", "\xA5SLX" + Tly(3) + kTallyEnd, {1, 1}},
        {"ZjStream chunks are not Tally chunks", kTally + kZjsPage + kTallyEnd, {0, 1}},
        {"duplex 1 sets it", kTally + Tly(0, Item(0x00020100, 1)) + kTallyEnd, {0, 1, 0, 1}},
        {"copies", kTally + page(Item(0x01010100, 6)) + kTallyEnd, {1, 6}},
        {"ZjStream copies key", kTally + page(Item(0x00040100, 6)) + kTallyEnd, {1, 1}},
        {"colour 2", kTally + page(Item(0x01040100, 2)) + kTallyEnd, {1, 1, 1}},
        {"last page's paper",
         kTally + page(Item(0x010D0100, 4862)) + page(Item(0x010D0100, 0) + Item(0x010E0100, 362)) + kTallyEnd, {2, 1, 0, 0, 238.0 * 0.0016666666666666668, 1.0}},
        {"fourth byte 1", "\xA5SL1" + Tly(3) + kTallyEnd, kRejected},
        {"ZjStream header", kZjs + Tly(3) + kTallyEnd, kRejected},
    };
    for (const Case& c : cases) ExpectRecord("TALLYSTREAM", c);
}

TEST(Oakt, SearchesRecordsAndStepsOverThem) {
    const Case cases[] = {
        {"final record ending the file is not read", kOaktPage + kOaktPage, {1, 0}},
        {"bytes between records", "xyzOAK" + kOaktPage + std::string("O\0O", 3) + kOaktPage + kOaktEnd, {2, 0}},
        {"record hidden in another's body", Oakt(77, 0, kOaktPage) + kOaktEnd, {0, 0}},
        {"data block hides a page", OaktBlock(32) + kOaktPage + kOaktPage + kOaktPage + kOaktEnd, {1, 0}},
        {"zero-length record ends the walk", Oakt(20, 0, "", 0) + kOaktPage + kOaktEnd, {1, 0}},
        {"block length past the end", kOaktPage + OaktBlock(0xFFFFFFFF) + kOaktPage + kOaktEnd, {1, 0}},
        {"block length cut by the end", kOaktPage + Oakt(60, 0, "hhhh"), {1, 0}},
        {"attributes", Oakt(42, 4) + Oakt(30) + Oakt(50) + kOaktEnd, {0, 4, 1, 1}},
        {"second paper wins", Oakt(43, 0, Le32(9921) + Le32(1)) + Oakt(43, 0, Le32(10200) + Le32(13200)) + kOaktEnd, {0, 0, 0, 0, 8.5, 11.0}},
        {"paper cut by the end", kOaktPage + Oakt(43, 0, "\x10\x27", 24), {1, 0}},
    };
    for (const Case& c : cases) ExpectRecord("OAKT", c);

    // The record after a 36-byte type-60 record with block length 1000 is
    // 1036 bytes on; one byte earlier it is jumped over.
    for (int shift : {-1, 0, 1}) {
        const Case c{"block", OaktBlock(1000) + std::string(1000 + shift, 'h') + kOaktPage + kOaktEnd, {shift < 0 ? 0u : 1u, 0}};
        ExpectRecord("OAKT", c);
    }
}

TEST(ZjStream, SendsOneEndOfPageLinePerPage) {
    const std::string zjsLine = "plathorn.dll!GetTotalPageCount_ZJSTREAM: Found End of Page ";
    ExpectLines("ZJSTREAM", "two pages", kZjs + kZjsPage + Zjs(4, "abcd") + kZjsPage + kZjsEnd,
                {zjsLine + "14\n", zjsLine + "38\n"});
    ExpectLines("TALLYSTREAM", "one page", kTally + Tly(3) + kTallyEnd, {zjsLine + "14\n"});
    ExpectLines("OAKT", "one page", "ab" + kOaktPage + kOaktEnd,
                {"plathorn.dll!GetTotalPageCount_OAKT: Found End of Page 12\n"});
}

// Bodies are skipped by their declared sizes, never read: a body lying on an
// unreadable page must not fault, whatever the stream.
TEST(ZjStream, NeverTouchesSkippedBodies) {
    const uint32_t page = uint32_t(::sysconf(_SC_PAGESIZE));
    const std::string zimfMark = "\xCD\x9A\xA9\xDC", zimfPage = zimfMark + Le32(20) + std::string(8, 0) + Le32(13);
    EXPECT_EQ(PagesAcrossHole("ZJSTREAM", kZjs + Zjs(4, "", 16 + page), page, kZjsPage + kZjsEnd), 1);
    EXPECT_EQ(PagesAcrossHole("TALLYSTREAM", kTally + Chunk(4, kTallySig, "", 16 + page), page, Tly(3) + kTallyEnd), 1);
    EXPECT_EQ(PagesAcrossHole("ZIMF", "ZIMF" + zimfMark + Le32(20 + page) + std::string(8, 0) + Le32(4), page, zimfPage),
              1);
}

}  // namespace
