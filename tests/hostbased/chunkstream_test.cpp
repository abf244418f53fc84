#include "casefile.h"

using namespace qmtest;

namespace {

constexpr uint32_t kZjsSig = 0x5A5A, kTallySig = 0xA5A5;
const std::string kZjs = "JZJZ", kTally = "\xA5SL2";

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

// Chunks are walked by their sizes; items of 12 bytes give duplex, colour, copies and paper.
TEST(ZjStream, WalksChunksAndReadsItems) {
    ExpectRecordCases("ZJSTREAM", "hostbased/cases/zjstream_pages.tsv");
}

// Tally streams walk the same chunks with their own signature and item keys.
TEST(Tally, UsesItsOwnSignatureAndItems) {
    ExpectRecordCases("TALLYSTREAM", "hostbased/cases/tally_pages.tsv");
    ExpectAccurateCases(qm::accurate::AccurateTALLYSTREAM, "hostbased/cases/tally_accurate.tsv");
}

TEST(Oakt, SearchesRecordsAndStepsOverThem) {
    ExpectRecordCases("OAKT", "hostbased/cases/oakt_pages.tsv");

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
