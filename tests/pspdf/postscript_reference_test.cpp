// The PostScript counter jumps to the next byte that may start a pattern; it
// must read what a lookup of every byte reads.
#include <gtest/gtest.h>

#include <string>

#include "pcl/reference_scan.h"

namespace qm {
int32_t ScanPOSTSCRIPTEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

namespace {

TEST(PostScriptReference, CountsWhatALookupOfEveryByteCounts) {
    qmtest::ExpectSameOnCorpusAndRandom(
        "POSTSCRIPT", qm::ScanPOSTSCRIPTEveryByte,
        {"%%Page: 1 1\n", "%%Pages: 3\n", "%%[Page: 2]%%", "%%PageBoundingBox: 0 0 612 792\n", "/PageSize [595 842]",
         "/Duplex true", "#copies 2 ", "/NumCopies 3 ", "numcopies", "cupsgetnumcopies", "90 rotate", "1 0 0 scol ",
         "setABCcs ", "[ 0 0 0 ]", "*EFDuplex Top", "[{", "%", "*", "/", "#", "N", "n", "[", "r", "s", " "});
}

}  // namespace
