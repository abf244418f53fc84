// Failures the Linux library must report as the Windows DLL does (run under
// wine64, the DLL gives these texts; tests/win32/compare.sh checks the rest).
#include <gtest/gtest.h>

#include <string>

#include "pspdf/pdfread.h"
#include "testutil.h"

namespace {

std::string PdfLastError() {
    char text[qm::kPdfErrorTextSize];
    pdfreadLastError(text, sizeof text);
    return text;
}

TEST(PlatformParity, PdfFailuresToOpenReadAsOnWindows) {
    qmtest::TempJob empty("");
    const std::string folder = empty.dir();
    const struct {
        const char* name;
        std::string path;
        const char* text;
    } cases[] = {
        {"missing file", folder + "/missing.pdf", "can't open"},
        {"missing folder", folder + "/no-such-folder/job.pdf", "can't open"},
        // Linux opens a folder as a stream; Windows refuses it at open.
        {"a folder", folder, "can't open"},
        {"an empty file", empty.path(), "read failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qm::pdfreadSetError("stale");
        PageCountResult rec = qmtest::MarkedRecord();
        ASSERT_EQ(GetTotalPageCount_PDF(c.path.c_str(), &rec), QM_OK);
        EXPECT_EQ(rec.pages, 0xFFFFFFFFu);
        EXPECT_EQ(rec.copies, 0u);
        EXPECT_EQ(PdfLastError(), c.text);
        EXPECT_EQ(qm::pdfreadState().stream, nullptr);
    }

    // The reader itself keeps no stream on a folder it refused.
    EXPECT_EQ(qm::pdfreadOpen(folder.c_str()), 0);
    EXPECT_EQ(qm::pdfreadState().stream, nullptr);
    EXPECT_EQ(PdfLastError(), "can't open");
    qm::pdfreadClose();
}

}  // namespace
