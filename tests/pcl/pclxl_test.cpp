#include "casefile.h"

using namespace qmtest;

namespace {

std::string Id(int id) { return Bin({0xF8, id}); }
std::string Ubyte(int v, int id) { return Bin({0xC0, v}) + Id(id); }

const std::string kBeginPage = "\x43";
const std::string kEndPage = "\x44";

TEST(PclXlPages, PagesAndCopies) { ExpectRecordCases("PCLXL", "pcl/cases/pclxl_pages.tsv"); }

TEST(PclXlValues, EveryDataTypeIsConsumedWhole) {
    // Value bytes of 0x44 would count as EndPage if the value were cut
    // short; a value that ran long would swallow the real EndPage.
    const struct {
        int tag;
        size_t bytes;
    } scalars[] = {{0xC0, 1},  {0xC1, 2},  {0xC2, 4},  {0xC3, 2},  {0xC4, 4},  {0xC5, 4},
                   {0xD0, 2},  {0xD1, 4},  {0xD2, 8},  {0xD3, 4},  {0xD4, 8},  {0xD5, 8},
                   {0xE0, 4},  {0xE1, 8},  {0xE2, 16}, {0xE3, 8},  {0xE4, 16}, {0xE5, 16}};
    for (const auto& t : scalars) {
        const std::string value = Bin({t.tag}) + std::string(t.bytes, '\x44');
        ExpectRecord("PCLXL", "one-byte identifier", value + Id(0x44) + kEndPage, {1, 0});
        ExpectRecord("PCLXL", "two-byte identifier", value + Bin({0xF9, 0x44, 0x44}) + kEndPage, {1, 0});
    }
    const struct {
        int tag;
        std::string header;
        size_t bytes;
    } arrays[] = {
        {0xC8, Bin({0xC0, 3}), 3},           {0xC8, Bin({0xC1}) + Le16(300), 300},  {0xC9, Bin({0xC3}) + Le16(2), 4},
        {0xCA, Bin({0xC2}) + Le32(2), 8},    {0xCB, Bin({0xC0, 1}), 2},             {0xCC, Bin({0xC4}) + Le32(1), 4},
        {0xCD, Bin({0xC5}) + Le32(3), 12},   {0xC8, Bin({0xC0, 0}), 0},
    };
    for (const auto& a : arrays) {
        const std::string job = Bin({a.tag}) + a.header + std::string(a.bytes, '\x44') + Id(0x44) + kEndPage;
        ExpectRecord("PCLXL", "array", job, {1, 0});
    }
}

TEST(PclXlValues, EmbeddedDataAndOtherBlocksArePassedOver) { ExpectRecordCases("PCLXL", "pcl/cases/pclxl_blocks.tsv"); }

TEST(PclXlValues, TheAttributeListHoldsTwenty) {
    std::string nineteen;
    for (int k = 0; k < 19; ++k) nineteen += Ubyte(0, 1);
    ExpectRecord("PCLXL", "twentieth stored, twenty-first not", nineteen + Ubyte(2, 37) + Ubyte(5, 37) + kBeginPage,
                 {0, 0, 0, 0, 8.26, 11.69});
    ExpectRecord("PCLXL", "twenty-first not stored", nineteen + Ubyte(0, 1) + Ubyte(2, 37) + kBeginPage, {0, 0});
}

// Entries of the attribute list are reused from operator to operator; a
// short value reads as itself, never with bytes of a longer value that sat
// in the same entry before. Copies are an array's first two bytes.
TEST(PclXlValues, ShortValuesReadNothingOfEarlierLongOnes) { ExpectRecordCases("PCLXL", "pcl/cases/pclxl_reuse.tsv"); }

TEST(PclXlAttributes, MediaSizeDuplexColour) { ExpectRecordCases("PCLXL", "pcl/cases/pclxl_attributes.tsv"); }

TEST(PclXlDiagnostics, Lines) { ExpectLinesCases("PCLXL", "pcl/cases/pclxl_lines.tsv"); }

}  // namespace
