#include <gtest/gtest.h>

#include "testutil.h"

using namespace qmtest;

namespace {

struct Case {
    const char* name;
    std::string job;
    uint32_t pages;
    uint8_t color;
    double width;
    double length;
};

std::string HbpBlock(const std::string& data) {
    const size_t n = data.size();
    return std::string("@G") + char((n >> 16) & 0xFF) + char((n >> 8) & 0xFF) + char(n & 0xFF) + data;
}

TEST(HBP, CountsPageEndsAndSkipsDataBlocks) {
    const Case cases[] = {
        {"three pages", "@F@F@F", 3, 1, 0, 0},
        {"block hides @F", HbpBlock("@F@F") + "@F", 1, 1, 0, 0},
        {"empty block", HbpBlock("") + "@F", 1, 1, 0, 0},
        {"byte after @ is not rescanned", "@@F", 0, 1, 0, 0},
        {"block past the end", std::string("@F@G\xFF\xFF\xFF@F", 9), 1, 1, 0, 0},
        {"length cut short", "@F@G\x01", 1, 1, 0, 0},
        {"leading NULs", std::string(5, '\0') + "@F", 1, 1, 0, 0},
        {"nothing", "hello", 0, 1, 0, 0},
    };
    for (const Case& c : cases) {
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(CountWith("HBP", c.job, rec), QM_OK) << c.name;
        EXPECT_EQ(rec.pages, c.pages) << c.name;
        EXPECT_EQ(rec.copies, 1u) << c.name;
        EXPECT_EQ(rec.color, c.color) << c.name;
        EXPECT_EQ(rec.duplex, 0) << c.name;
        EXPECT_EQ(rec.paperWidth, 0.0) << c.name;
    }
}

std::string NcmHeader(uint8_t paper) {
    std::string h("\x1B\x7C\x01\x00\x06\x52", 6);
    h.resize(27, 'x');
    h += static_cast<char>(paper);
    h += "yyyy";
    return h;
}

std::string NcmBlock(const std::string& data) {
    const size_t n = data.size();
    return std::string("G") + char(n & 0xFF) + char((n >> 8) & 0xFF) + data;
}

TEST(BrotherNCM, CountsHeadersAndTakesTheLastPaper) {
    std::string colourFile = NcmHeader(0);
    colourFile[9] = 0x10;  // the file's byte 9 marks colour
    const Case cases[] = {
        {"last header wins", NcmHeader(2) + NcmHeader(1), 2, 0, 8.27, 11.69},
        {"unknown code clears the size", NcmHeader(2) + NcmHeader(5), 2, 0, 0.0, 0.0},
        {"card", NcmHeader(19), 1, 0, 3.0, 5.0},
        {"no header", "abc", 0, 0, 0.0, 0.0},
        {"colour mark", colourFile, 1, 1, 8.5, 11.0},
        {"block hides a header", NcmBlock(NcmHeader(1)) + "z" + NcmHeader(3), 1, 0, 7.25, 10.5},
        {"header cut before its paper code", std::string("\x1B\x7C\x01\x00\x06\x52", 6), 1, 0, 0.0, 0.0},
        {"block length past the end", NcmHeader(1) + "G\xFF\xFF" + NcmHeader(2), 1, 0, 8.27, 11.69},
    };
    for (const Case& c : cases) {
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(CountWith("BrotherNCM", c.job, rec), QM_OK) << c.name;
        EXPECT_EQ(rec.pages, c.pages) << c.name;
        EXPECT_EQ(rec.copies, 1u) << c.name;
        EXPECT_EQ(rec.color, c.color) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperWidth, c.width) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperLength, c.length) << c.name;
    }
}

TEST(BrotherNCM, ResumesFourBytesAfterTheBlockLength) {
    // "G", length 2, two data bytes: the byte right after the data is not
    // examined; the one after it is.
    const std::string hdr = NcmHeader(1);
    const std::string skipped = std::string("G\x02\x00", 3) + "dd" + hdr;
    PageCountResult rec{};
    ASSERT_EQ(CountWith("BrotherNCM", skipped, rec), QM_OK);
    EXPECT_EQ(rec.pages, 0u);  // the ESC right after the data is passed over
    const std::string seen = std::string("G\x02\x00", 3) + "dd" + "z" + hdr;
    ASSERT_EQ(CountWith("BrotherNCM", seen, rec), QM_OK);
    EXPECT_EQ(rec.pages, 1u);
}

}  // namespace
