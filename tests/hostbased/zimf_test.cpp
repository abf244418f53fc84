#include "casefile.h"

using namespace qmtest;

namespace {

// Records are walked by their sizes: a page hidden in another record, a wrong mark or a size that
// cannot be walked ends the count.
TEST(Zimf, WalksRecordsBySize) {
    ExpectRecordCases("ZIMF", "hostbased/cases/zimf_records.tsv");
}

// The device-mode block of the last readable settings record gives paper, copies, colour and duplex.
TEST(Zimf, ReadsTheDeviceModeBlock) {
    ExpectRecordCases("ZIMF", "hostbased/cases/zimf_devmode.tsv");
}

}  // namespace
