#include "pcl/pjl.h"

#include <gtest/gtest.h>

#include "casefile.h"
#include "guarded.h"

using namespace qmtest;

namespace {

constexpr qm::PjlKey kRenderMode{qm::kRenderModeKey, qm::kRenderModeThreshold, qm::PjlAction::ValueTest,
                                 qm::PjlFlag::None, 0,
                                 {{"COLO", qm::PjlFlag::Colour, qm::kPclColourLine},
                                  {"GRAY", qm::PjlFlag::Grey, qm::kGreyLine}}};
constexpr qm::PjlKey kPaperLength{"@PJL SET PAPERLENGTH", 22, qm::PjlAction::PaperLength, qm::PjlFlag::None, 1};
constexpr qm::PjlKey kKeys[] = {qm::kPjlQty,
                                qm::kPjlColorModeColor,
                                qm::kPjlCopies,
                                qm::kPjlPaper,
                                kRenderMode,
                                qm::kPjlDuplexOn,
                                qm::kPjlPlanesInUse1,
                                qm::kPjlDataModeGrayscale,
                                qm::kPjlPaperWidth,
                                kPaperLength,
                                qm::kPjlOther};

// Walks the bytes as a counter would: the matcher at every "@".
qm::PjlAttributes Scan(const std::string& job) {
    qm::PjlAttributes a;
    const Guarded guarded(job);  // a read past the last byte faults
    const qm::Bytes b = guarded.bytes();
    for (uint32_t i = 0; i < b.size; ++i) {
        if (b[i] == '@') qm::MatchPjl(b, i, kKeys, a);
    }
    return a;
}

// Where a counter's scan resumes after the "@" at 0 (-1: the "@" was ordinary).
int64_t ResumeAt(const std::string& job) {
    qm::PjlAttributes a;
    uint32_t i = 0;
    if (!qm::MatchPjl(Guarded(job).bytes(), i, kKeys, a)) return -1;
    return int64_t{i} + 1;
}

TEST(PjlKeys, Attributes) {
    for (const CaseRow& r : ReadCases("pcl/cases/pjl_attributes.tsv")) {
        const qm::PjlAttributes a = Scan(r.bytes("job"));
        EXPECT_EQ(a.quantity, int32_t(r.num("quantity"))) << r.name();
        EXPECT_EQ(a.copies, int32_t(r.num("copies"))) << r.name();
        EXPECT_EQ(a.duplex, Yes(r, "duplex")) << r.name();
        EXPECT_EQ(a.colour, Yes(r, "colour")) << r.name();
        EXPECT_EQ(a.grey, Yes(r, "grey")) << r.name();
        EXPECT_EQ(a.colourModeColour, Yes(r, "colour mode")) << r.name();
        EXPECT_DOUBLE_EQ(a.paperWidth, r.num("width")) << r.name();
        EXPECT_DOUBLE_EQ(a.paperLength, r.num("length")) << r.name();
    }
}

TEST(PjlKeys, WhereScanningResumes) {
    for (const CaseRow& r : ReadCases("pcl/cases/pjl_resume.tsv"))
        EXPECT_EQ(ResumeAt(r.bytes("job")), int64_t(r.num("resume"))) << r.name();
}

TEST(PjlKeys, DiagnosticLines) {
    for (const CaseRow& r : ReadCases("pcl/cases/pjl_lines.tsv")) {
        CapturedLines cap;
        Scan(r.bytes("job"));
        EXPECT_EQ(cap.lines(), LinesOf(r)) << r.name();
    }
}

}  // namespace
