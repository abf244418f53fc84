#include <gtest/gtest.h>
#include <sys/stat.h>

#include "jobfile/diag.h"
#include "testutil.h"

using namespace qmtest;

namespace {

// Every file failure: its code, its one diagnostic line, the record untouched.
struct FileFailure {
    const char* name;
    int32_t code;
    const char* line;
};

TEST(JobFileView, FileFailuresReportCodeAndOneLineAndLeaveTheRecord) {
    TempJob empty("");
    const std::string missing = empty.dir() + "/no-such-file.prn";
    const std::string missingDir = empty.dir() + "/no-such-folder/job.prn";
    const std::string folder = empty.dir();
    const struct {
        std::string path;
        FileFailure want;
    } cases[] = {
        {missing, {"missing file", QM_E_FILE_NOT_FOUND, "sheetler.dll!GetTotalPageCount: CreateFile() failed 80070002\n"}},
        {missingDir,
         {"missing folder", QM_E_PATH_NOT_FOUND, "sheetler.dll!GetTotalPageCount: CreateFile() failed 80070003\n"}},
        {folder, {"a folder", QM_E_ACCESS_DENIED, "sheetler.dll!GetTotalPageCount: CreateFile() failed 80070005\n"}},
        {"", {"empty path", QM_E_PATH_NOT_FOUND, "sheetler.dll!GetTotalPageCount: CreateFile() failed 80070003\n"}},
        {empty.path(),
         {"empty file", QM_E_EMPTY_FILE, "sheetler.dll!GetTotalPageCount: CreateFileMapping() failed 800703EE\n"}},
    };
    for (const auto& c : cases) {
        for (const qm::CounterInfo& counter : qm::Counters()) {
            if (counter.scan == nullptr) continue;  // the stream readers have their own failures
            SCOPED_TRACE(std::string(c.want.name) + " with " + counter.tag);
            CapturedLines captured;
            PageCountResult rec = MarkedRecord();
            EXPECT_EQ(counter.entry(c.path.c_str(), &rec), c.want.code);
            EXPECT_TRUE(IsMarked(rec));
            EXPECT_EQ(captured.lines(), std::vector<std::string>{c.want.line});
        }
    }
}

TEST(JobFileView, UnreadableFileIsAccessDenied) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    TempJob job("@F");
    ::chmod(job.path(), 0);
    PageCountResult rec = MarkedRecord();
    EXPECT_EQ(GetTotalPageCount_HBP(job.path(), &rec), QM_E_ACCESS_DENIED);
    EXPECT_TRUE(IsMarked(rec));
}

TEST(JobFileView, NullResultPointerIsRefusedWithoutReadingTheFile) {
    TempJob job("@F");
    EXPECT_EQ(GetTotalPageCount_HBP(job.path(), nullptr), QM_E_POINTER);
}

TEST(JobFileView, NulOnlyJobIsEmptyForSkippingCounters) {
    ExpectRecord("HBP", "NULs only", std::string(4096, '\0'), {0, 1, 1}, true);
    // Only the final byte is not NUL: the scan starts there and reads no further.
    ExpectRecord("HBP", "last byte alone", std::string(100, '\0') + "@", {0, 1, 1});
}

TEST(JobFileView, SuccessWritesTheWholeRecordOnce) {
    PageCountResult rec = MarkedRecord();
    ASSERT_EQ(CountFile("HBP", "@F@F", rec), QM_OK);
    EXPECT_EQ(rec.pages, 2u);
    for (uint8_t b : rec.reserved) EXPECT_EQ(b, 0);
}

struct FormatCase {
    const char* fmt;
    int a;
    const char* want;
};

TEST(Diagnostics, FormatsLikeWsprintf) {
    const FormatCase cases[] = {
        {"%X", static_cast<int>(0x800703EE), "800703EE"},
        {"%X", 0, "0"},
        {"%x", 255, "ff"},
        {"%d", -42, "-42"},
        {"%c", 'Q', "Q"},
        {"%4d|", 7, "   7|"},
        {"%10d|", 7, "         7|"},
        {"%04X", 10, "000A"},
        {"100%%", 0, "100%"},
    };
    for (const FormatCase& c : cases) {
        char buf[qm::kDiagBufferSize];
        std::memset(buf, '#', sizeof buf);
        qm::FormatDiagf(buf, sizeof buf, c.fmt, c.a);
        EXPECT_STREQ(buf, c.want) << c.fmt;
    }
    char buf[qm::kDiagBufferSize];
    qm::FormatDiagf(buf, sizeof buf, "%s=%d", "copies", 3);
    EXPECT_STREQ(buf, "copies=3");
}

TEST(Diagnostics, NeverOverrunsTheLineBuffer) {
    const std::string longText(1000, 'x');
    char buf[qm::kDiagBufferSize + 8];
    std::memset(buf, '#', sizeof buf);
    const size_t n = qm::FormatDiagf(buf, qm::kDiagBufferSize, "%s %s", longText.c_str(), longText.c_str());
    EXPECT_EQ(n, qm::kDiagBufferSize - 1);
    EXPECT_EQ(buf[qm::kDiagBufferSize - 1], '\0');
    for (size_t i = qm::kDiagBufferSize; i < sizeof buf; ++i) EXPECT_EQ(buf[i], '#');
}

TEST(Bytes, LookaheadNeverPassesTheEnd) {
    const qm::Bytes b("abcd");
    EXPECT_TRUE(b.has(0, 4));
    EXPECT_FALSE(b.has(1, 4));
    EXPECT_FALSE(b.has(4, 0));
    EXPECT_FALSE(b.has(2, 0xFFFFFFFFu));
    EXPECT_EQ(b.at(4), -1);
    EXPECT_FALSE(b.matches(2, "cde"));
    EXPECT_TRUE(b.matchesNoCase(1, "BcD"));
    EXPECT_TRUE(qm::Bytes("zZaA").matchesNoCase(0, "ZzAa"));
    EXPECT_FALSE(qm::Bytes("@[`{").matchesNoCase(0, "`{@["));
    EXPECT_EQ(qm::SkipBy(b, 3, 0xFFFFFFFFull), 4u);
    EXPECT_EQ(b.find(0, 'z'), 4u);
}

}  // namespace
