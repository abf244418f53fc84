// Shared checks of the accurate counters' own tests: a job built in the test,
// the record (after Finish) and the certainty it must give.
#pragma once

#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "guarded.h"
#include "testutil.h"

namespace qmtest {

struct AccurateWant {
    int32_t code = QM_OK;
    uint32_t pages = 0, copies = 1;
    int colour = 0, duplex = 0;
    double width = 0.0, length = 0.0;
    bool estimated = false;
};
inline const AccurateWant kNotUnderstood{.code = QM_E_NOT_UNDERSTOOD};

struct AccurateCase {
    const char* name;
    std::string job;
    AccurateWant want;
};

// Counts c.job with `count` and compares the code and, on success, every
// field of the finished record and whether it was estimated.
inline void ExpectAccurate(int32_t (*count)(qm::Bytes, qm::accurate::Result&), const AccurateCase& c) {
    qm::accurate::Result r;
    const Guarded job(c.job);  // a read past its end faults
    const int32_t code = count(job.bytes(), r);
    ASSERT_EQ(code, c.want.code) << c.name;
    if (code != QM_OK) return;
    qm::accurate::Finish(r);
    EXPECT_EQ(r.rec.pages, c.want.pages) << c.name;
    EXPECT_EQ(r.rec.copies, c.want.copies) << c.name;
    EXPECT_EQ(r.rec.color, c.want.colour) << c.name;
    EXPECT_EQ(r.rec.duplex, c.want.duplex) << c.name;
    EXPECT_NEAR(r.rec.paperWidth, c.want.width, 0.01) << c.name;
    EXPECT_NEAR(r.rec.paperLength, c.want.length, 0.01) << c.name;
    EXPECT_EQ(r.estimated, c.want.estimated) << c.name;
}

}  // namespace qmtest
