// Entries of the PCL XL attribute list are reused from operator to operator;
// a short value must read as itself, never with bytes of a longer value that
// sat in the same entry before.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

namespace {

using qmtest::Bin;
using qmtest::Le16;

std::string UbyteArray(const std::string& bytes, int id) {
    return Bin({0xC8, 0xC1}) + Le16(static_cast<uint32_t>(bytes.size())) + bytes + Bin({0xF8, id});
}

TEST(PclXlReference, ShortValuesReadNothingOfEarlierLongOnes) {
    const std::string ff(16, '\xFF');
    struct Row {
        const char* name;
        std::string job;
        uint32_t copies;
    };
    const Row rows[] = {
        // One element of an array: copies are its first two bytes, the second zero.
        {"one-byte copies after a long array", UbyteArray(ff, 1) + "\x41" + UbyteArray("\x05", 49) + "\x44", 5},
        {"two-byte copies after a long array", UbyteArray(ff, 1) + "\x41" + UbyteArray(Bin({7, 1}), 49) + "\x44",
         0x107},
        {"empty copies after a long array", UbyteArray(ff, 1) + "\x41" + UbyteArray("", 49) + "\x44", 0},
        {"second entry after two long arrays",
         UbyteArray(ff, 1) + UbyteArray(ff, 1) + "\x41" + UbyteArray("", 1) + UbyteArray("\x03", 49) + "\x44", 3},
    };
    for (const Row& r : rows) {
        PageCountResult rec{};
        ASSERT_EQ(qmtest::CountWith("PCLXL", r.job, rec), QM_OK) << r.name;
        EXPECT_EQ(rec.pages, 1u) << r.name;
        EXPECT_EQ(rec.copies, r.copies) << r.name;
    }
}

}  // namespace
