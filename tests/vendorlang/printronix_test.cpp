#include "casefile.h"
#include "vendorlang/vendor_accurate.h"

using namespace qmtest;

namespace {

TEST(PrintronixPages, CopiesReadWhileBelowTwo) {
    ExpectRecordCases("PrintronixGL", "vendorlang/cases/printronix_pages.tsv");
    ExpectRecord("PrintronixGL", "NULs only, through the file", std::string(64, '\0'), {0, 1}, true);
}

// The accurate count takes copies only from fields of digits: a field that
// holds anything else or that the job cuts short leaves them unknown.
TEST(AccuratePrintronix, CopiesOnlyFromFieldsOfDigits) {
    for (const CaseRow& r : ReadCases("vendorlang/cases/printronix_accurate.tsv")) {
        qm::accurate::Result out;
        ASSERT_EQ(qm::accurate::CountPrintronix(qmtest::Guarded(r.bytes("job")).bytes(), out), QM_OK) << r.name();
        EXPECT_EQ(out.rec.pages, r.num("pages")) << r.name();
        EXPECT_EQ(out.rec.copies, r.num("copies")) << r.name();
        EXPECT_EQ((out.unknown & QM_FIELD_COPIES) != 0, Yes(r, "copies unknown")) << r.name();
    }
}

}  // namespace
