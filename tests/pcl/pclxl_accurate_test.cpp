// PCL XL's pages read one by one for colour and paper, and the raster row
// decoders PCL 5 and PCL XL share.
#include "pcl/pclxl_accurate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "casefile.h"
#include "pcl/jpeg_accurate.h"
#include "pcl/raster_accurate.h"
#include "testjpeg.h"

namespace {

std::string Letters(const qm::accurate::Result& r) {
    std::string s;
    for (const qm::accurate::PageLog::Run& run : r.pages.Runs())
        s.append(run.count, run.page.color == QM_PAGE_MONO ? 'M' : run.page.color == QM_PAGE_COLOR ? 'C' : 'U');
    return s;
}

// Each page's paper as delivered, "WxL" in hundredths of an inch, joined by commas.
std::string Papers(const qm::accurate::Result& r) {
    std::string s;
    uint32_t n = 0;
    for (const qm::accurate::PageLog::Run& run : r.pages.Runs()) {
        for (uint32_t k = 0; k < run.count; ++k) {
            const QuirometerPage p = qm::accurate::Deliver(r, run.page, ++n);
            char text[48];
            std::snprintf(text, sizeof text, "%s%.2fx%.2f", s.empty() ? "" : ",", p.paperWidth, p.paperLength);
            s += text;
        }
    }
    return s;
}

TEST(PclXlAccurate, ColourAndPaperPageByPage) {
    for (const qmtest::CaseRow& c : qmtest::ReadCases("pcl/cases/pclxl_colour.tsv")) {
        const std::string job = c.bytes("job");
        qm::accurate::Result r;
        {
            std::lock_guard<std::mutex> hold(qm::accurate::GroupLock(qm::FindCounter("PCLXL")->group));
            ASSERT_EQ(qm::accurate::AccuratePCLXL(qmtest::Guarded(job).bytes(), r), QM_OK) << c.name();
        }
        qm::accurate::Finish(r);
        EXPECT_EQ(Letters(r), c.text("pages")) << c.name();
        if (!c.text("paper").empty()) {
            EXPECT_EQ(Papers(r), c.text("paper")) << c.name();
        }
    }
}

// Every cut of a job that uses each decoder walks without reading past the
// cut (the sanitizer build sees any read beyond) and logs no more pages than
// the whole job.
TEST(PclXlAccurate, EveryCutIsWalked) {
    for (const qmtest::CaseRow& c : qmtest::ReadCases("pcl/cases/pclxl_colour.tsv")) {
        const std::string job = c.bytes("job");
        for (size_t n = 0; n <= job.size(); ++n) {
            qm::accurate::PageLog log;
            qm::pclxlaccurate::LogPages(qmtest::Guarded(std::string_view(job.data(), n)).bytes(), log);
            EXPECT_LE(log.Pages(), c.text("pages").size()) << c.name() << " cut at " << n;
        }
    }
}

// Each method into a row whose length is the row before's: the last byte
// of the row and of the data are the boundaries every row tests.
TEST(RasterRows, Decoders) {
    for (const qmtest::CaseRow& c : qmtest::ReadCases("pcl/cases/raster_rows.tsv")) {
        const std::string before = c.bytes("before"), data = c.bytes("data"), after = c.bytes("after");
        // The data and the row each end exactly where their buffers end.
        const qmtest::Guarded guardedIn(data);
        std::vector<uint8_t> row(before.begin(), before.end());
        qm::pclraster::Written w;
        ASSERT_TRUE(qm::pclraster::DecodeRow(static_cast<int>(c.num("method")),
                                             guardedIn.bytes(), row, &w))
            << c.name();
        EXPECT_EQ(std::string(row.begin(), row.end()), after) << c.name();
        // Near-lossless rows over a grey row: the pixels the decoding saw
        // tell what the whole row shows.
        const auto grey = [](const std::string& px) {
            return qm::pclraster::RgbNeutralPlain(reinterpret_cast<const uint8_t*>(px.data()), static_cast<uint32_t>(px.size() / 3), 1);
        };
        if (c.num("method") == 10 && grey(before)) {
            EXPECT_EQ(w.notGrey, !grey(after)) << c.name();
        }
        // Data said to write only zeros leaves a blank row blank.
        std::vector<uint8_t> blank(before.size(), 0);
        const int method = static_cast<int>(c.num("method"));
        qm::pclraster::DecodeRow(method, guardedIn.bytes(), blank);
        const bool stayedBlank = std::all_of(blank.begin(), blank.end(), [](uint8_t b) { return b == 0; });
        const bool zeros = qm::pclraster::WritesOnlyZeros(method, guardedIn.bytes());
        EXPECT_TRUE(stayedBlank || !zeros) << c.name();
    }
    // Zeros written by each method, and the one byte that is not.
    const struct {
        int method;
        std::string data;
        bool zeros;
    } writes[] = {
        {0, std::string(3, '\0'), true},         {0, std::string("\0\0\x01", 3), false},
        {1, std::string("\x05\0", 2), true},    {1, std::string("\0\x01", 2), false},
        {2, std::string("\xFE\0\x01\0\0", 5), true}, {2, std::string("\xFE\0\x01\0\x02", 5), false},
        {3, std::string("\x3F\x01\0\0", 4), true},   {3, std::string("\x20\0\x04", 3), false},
        {9, std::string("\x81\0\x09\0\0", 5), true}, {9, std::string("\x81\x07", 2), false},
        {9, std::string("\x9F\0\x05", 3), false},  // a run of 33 and more: its count takes the next byte
        {10, std::string(), false},
    };
    for (const auto& w : writes) EXPECT_EQ(qm::pclraster::WritesOnlyZeros(w.method, qmtest::Guarded(w.data).bytes()), w.zeros) << w.method;
    std::vector<uint8_t> row(2, 0x55);
    EXPECT_FALSE(qm::pclraster::DecodeRow(4, qm::Bytes(), row));
    EXPECT_EQ(row[0], 0x55);
}

// The wide neutral test against its pixel-by-pixel form: grey rows of every
// length around the eight-pixel blocks, each with one component moved by 1
// or 2 at every place, in buffers that end where the pixels end.
TEST(RasterRows, WideNeutralTestIsThePlainOne) {
    for (uint32_t count = 0; count <= 27; ++count) {
        std::vector<uint8_t> grey(size_t{count} * 3);
        for (uint32_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>(0x40 + i / 3);
        for (const int slack : {0, 1}) {
            EXPECT_TRUE(qm::pclraster::RgbNeutral(grey.data(), count, slack)) << count;
            for (uint32_t at = 0; at < grey.size(); ++at) {
                for (const int step : {1, 2}) {
                    std::vector<uint8_t> pixels(grey);
                    pixels[at] = static_cast<uint8_t>(pixels[at] + step);
                    EXPECT_EQ(qm::pclraster::RgbNeutral(pixels.data(), count, slack),
                              qm::pclraster::RgbNeutralPlain(pixels.data(), count, slack))
                        << count << " pixels, byte " << at << " +" << step << ", slack " << slack;
                }
            }
        }
    }
}

// PCL XL's JPEG images: decoded up to the pixel cap, Unknown past it.
TEST(RasterRows, JpegColourUpToThePixelCap) {
    using qm::pclraster::JpegColour;
    constexpr int kSide = 1 << 12;  // kSide * kSide is the cap
    static_assert(uint64_t{kSide} * kSide == qm::pclraster::kJpegMaxPixels);
    const struct {
        int w, h;
        std::array<uint8_t, 3> mark;
        JpegColour want;
    } cases[] = {
        {32, 32, {30, 30, 30}, JpegColour::Neutral},  {32, 32, {200, 30, 30}, JpegColour::Colour},
        {kSide, kSide, {200, 30, 30}, JpegColour::Colour}, {kSide + 1, kSide, {200, 30, 30}, JpegColour::Unknown},
    };
    for (const auto& c : cases) {
        const std::string jpeg = Jpeg(c.w, c.h, c.mark);
        const qm::Bytes b(reinterpret_cast<const uint8_t*>(jpeg.data()), static_cast<uint32_t>(jpeg.size()));
        EXPECT_EQ(qm::pclraster::ColourOfJpeg(b, 8), c.want) << c.w << " x " << c.h;
    }
}

// PackBits as PCL XL's RLE blocks run it: runs go on across rows.
TEST(RasterRows, PackBitsStreamRunsAcrossRows) {
    const std::string data = "\xFB\x07\x01\x08\x09";  // six 07 bytes, then 08 09
    const qmtest::Guarded guardedData(data);
    qm::pclraster::PackBitsStream in{guardedData.bytes()};
    std::vector<uint8_t> row(4);
    ASSERT_TRUE(in.Next(row));
    EXPECT_EQ(row, std::vector<uint8_t>({7, 7, 7, 7}));
    ASSERT_TRUE(in.Next(row));
    EXPECT_EQ(row, std::vector<uint8_t>({7, 7, 8, 9}));
    EXPECT_FALSE(in.Next(row));  // the data ends before a row is full

    // A literal whose last byte is all that is left for the next row.
    const qmtest::Guarded splitData(std::string_view("\x02\x08\x09\x0A\xFF\x0B"));
    qm::pclraster::PackBitsStream split{splitData.bytes()};
    std::vector<uint8_t> two(2);
    ASSERT_TRUE(split.Next(two));
    EXPECT_EQ(two, std::vector<uint8_t>({8, 9}));
    ASSERT_TRUE(split.Next(two));
    EXPECT_EQ(two, std::vector<uint8_t>({10, 11}));
}

}  // namespace
