#include "casefile.h"

using namespace qmtest;

namespace {

// "@F" ends a page; "@G" and a three-byte length open a data block stepped over whole.
TEST(HBP, CountsPageEndsAndSkipsDataBlocks) {
    ExpectRecordCases("HBP", "hostbased/cases/hbp_pages.tsv");
}

// Headers ESC | 01 00 06 52 are pages; the paper code at offset 27 of the last one and the colour
// mark at byte 9 of the file give the record; "G" blocks are stepped over by their length.
TEST(BrotherNCM, CountsHeadersAndTakesTheLastPaper) {
    ExpectRecordCases("BrotherNCM", "hostbased/cases/ncm_pages.tsv");
}

}  // namespace
