#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>


#include "jobfile/diag.h"
#include "jobfile/jobview.h"
#include "pspdf/pdfread.h"
#include "casefile.h"
#include "testutil.h"

using namespace qmtest;

namespace {

// Every file failure: its code, its one diagnostic line, the record untouched.
TEST(JobFileView, FileFailuresReportCodeAndOneLineAndLeaveTheRecord) {
    TempJob empty("");
    // A size whose low 32 bits are all ones reads as the size query failing.
    TempJob huge("");
    ASSERT_EQ(::truncate(huge.path(), 0xFFFFFFFF), 0);
    std::string size = qm::kSizeFailed;
    size.replace(size.find("%X"), 2, "0");
    const std::string open = "sheetler.dll!GetTotalPageCount: CreateFile() failed 8007000";
    const struct {
        const char* name;
        std::string path;
        int32_t code;
        std::string line;
    } cases[] = {
        {"missing file", empty.dir() + "/no-such-file.prn", QM_E_FILE_NOT_FOUND, open + "2\n"},
        {"missing folder", empty.dir() + "/no-such-folder/job.prn", QM_E_PATH_NOT_FOUND, open + "3\n"},
        {"missing file in the root folder", "/no-such-quirometer-job.prn", QM_E_FILE_NOT_FOUND, open + "2\n"},
        {"missing file of a one-byte name", "\x01", QM_E_FILE_NOT_FOUND, open + "2\n"},
        {"a file taken for a folder", empty.path() + std::string("/job.prn"), QM_E_PATH_NOT_FOUND, open + "3\n"},
        {"a folder", empty.dir(), QM_E_ACCESS_DENIED, open + "5\n"},
        {"empty path", "", QM_E_PATH_NOT_FOUND, open + "3\n"},
        {"a file of 2^32 - 1 bytes", huge.path(), QM_E_FAIL, size},
        {"empty file", empty.path(), QM_E_EMPTY_FILE,
         "sheetler.dll!GetTotalPageCount: CreateFileMapping() failed 800703EE\n"},
    };
    for (const auto& c : cases) {
        for (const qm::CounterInfo& counter : qm::Counters()) {
            if (counter.scan == nullptr) continue;  // the stream readers have their own failures
            SCOPED_TRACE(std::string(c.name) + " with " + counter.tag);
            CapturedLines captured;
            PageCountResult rec = MarkedRecord();
            EXPECT_EQ(counter.entry(c.path.c_str(), &rec), c.code);
            EXPECT_TRUE(IsMarked(rec));
            EXPECT_EQ(captured.lines(), std::vector<std::string>{c.line});
        }
    }
}

// With standard input closed a job opens on descriptor 0: the count closes it too.
TEST(JobFileView, ClosesAJobOpenedOnDescriptorZero) {
    TempJob job("\x1b" "E\f");
    ASSERT_NE(qm::FindCounter("ZIMF")->scan, nullptr);  // a counter that maps the file
    const int saved = ::dup(0);
    ::close(0);
    PageCountResult rec = MarkedRecord();
    qm::FindCounter("ZIMF")->entry(job.path(), &rec);
    const bool open = ::fcntl(0, F_GETFD) != -1;
    ::dup2(saved, 0), ::close(saved);
    EXPECT_FALSE(open);
}

// The PDF export fails to open as the Windows DLL does under wine64 (the
// comparison in tests/win32 checks the rest): all pages, the reason, no stream.
TEST(PlatformParity, PdfFailuresToOpenReadAsOnWindows) {
    TempJob empty("");
    const std::string folder = empty.dir();
    auto lastError = [] {
        char text[qm::kPdfErrorTextSize];
        pdfreadLastError(text, sizeof text);
        return std::string(text);
    };
    const struct {
        const char* name;
        std::string path;
        const char* text;
    } cases[] = {
        {"missing file", folder + "/missing.pdf", "can't open"},
        {"a folder", folder, "can't open"},  // Linux opens a folder as a stream; Windows refuses it
        {"an empty file", empty.path(), "read failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qm::pdfreadSetError("stale");
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(GetTotalPageCount_PDF(c.path.c_str(), &rec), QM_OK);
        EXPECT_EQ(rec.pages, 0xFFFFFFFFu);
        EXPECT_EQ(rec.copies, 0u);
        EXPECT_EQ(lastError(), c.text);
        EXPECT_EQ(qm::pdfreadState().stream, nullptr);
    }
    // The reader itself keeps no stream on a folder it refused.
    EXPECT_EQ(qm::pdfreadOpen(folder.c_str()), 0);
    EXPECT_EQ(qm::pdfreadState().stream, nullptr);
    EXPECT_EQ(lastError(), "can't open");
    qm::pdfreadClose();
}

TEST(JobFileView, UnreadableFileIsAccessDenied) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    TempJob job("@F");
    ::chmod(job.path(), 0);
    PageCountResult rec = MarkedRecord();
    EXPECT_EQ(GetTotalPageCount_HBP(job.path(), &rec), QM_E_ACCESS_DENIED);
    EXPECT_TRUE(IsMarked(rec));
}

TEST(JobFileView, NulOnlyJobIsEmptyForSkippingCounters) {
    ExpectRecord("HBP", "NULs only", std::string(4096, '\0'), {0, 1, 1}, true);
    // Only the final byte is not NUL: the scan starts there and reads no further.
    ExpectRecord("HBP", "last byte alone", std::string(100, '\0') + "@", {0, 1, 1});
    // A host running with its standard input closed gets descriptor 0 for the job.
    const int input = ::dup(0);
    ::close(0);
    ExpectRecord("HBP", "a file of one byte", "@", {0, 1, 1}, true);
    ::dup2(input, 0);
    ::close(input);
}

// The record is written whole (reserved bytes zeroed), and the job's view is
// unmapped after the count: a host counts job after job. No record, no count.
TEST(JobFileView, SuccessWritesTheWholeRecordAndUnmapsTheJob) {
    TempJob job("@F@F");
    EXPECT_EQ(GetTotalPageCount_HBP(job.path(), nullptr), QM_E_POINTER);
    PageCountResult rec = MarkedRecord();
    ASSERT_EQ(GetTotalPageCount_HBP(job.path(), &rec), QM_OK);
    EXPECT_EQ(rec.pages, 2u);
    for (uint8_t b : rec.reserved) EXPECT_EQ(b, 0);
    EXPECT_EQ(ReadFile("/proc/self/maps").find(job.path()), std::string::npos);
}

TEST(Diagnostics, FormatsLikeWsprintf) {
    for (const CaseRow& r : ReadCases("jobfile/cases/diag.tsv")) {
        char buf[qm::kDiagBufferSize];
        std::memset(buf, '#', sizeof buf);
        const int a = static_cast<int>(static_cast<int64_t>(r.num("a")));
        const std::string fmt = r.text("fmt"), text = r.text("text");
        const size_t n = text.empty() ? qm::FormatDiagf(buf, sizeof buf, fmt.c_str(), a)
                                      : qm::FormatDiagf(buf, sizeof buf, fmt.c_str(), text.c_str(), a);
        EXPECT_EQ(std::string(buf, n), r.bytes("want")) << r.name();
        EXPECT_EQ(buf[n], '\0') << r.name();
    }
    char one[1] = {'#'};
    EXPECT_EQ(qm::FormatDiagf(one, 0, "x"), 0u);  // no room at all: not even the terminator
    EXPECT_EQ(one[0], '#');
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

// The lookahead rule, and the readers at an offset (each byte in its place).
TEST(Bytes, LookaheadNeverPassesTheEndAndReadersKeepTheirOrder) {
    const qm::Bytes b("abcd");
    EXPECT_TRUE(b.has(0, 4));
    EXPECT_FALSE(b.has(1, 4));
    EXPECT_FALSE(b.has(4, 0));
    EXPECT_FALSE(b.has(2, 0xFFFFFFFFu));
    EXPECT_EQ(b.at(4), -1);
    EXPECT_TRUE(b.matches(1, "bcd"));
    EXPECT_FALSE(b.matches(2, "cde"));
    EXPECT_TRUE(b.matchesNoCase(1, "BcD"));
    EXPECT_TRUE(qm::Bytes("zZaA").matchesNoCase(0, "ZzAa"));
    EXPECT_FALSE(qm::Bytes("@[`{").matchesNoCase(0, "`{@["));
    EXPECT_EQ(qm::SkipBy(b, 3, 0xFFFFFFFFull), 4u);
    EXPECT_EQ(b.find(0, 'z'), 4u);
    EXPECT_EQ(b.find(2, 'd'), 3u);
    const std::string raw = Bin({0x01, 0x12, 0x34, 0x56, 0x78});
    const qm::Bytes n(raw);
    EXPECT_EQ(n.le16(1), 0x3412u);
    EXPECT_EQ(n.be16(1), 0x1234u);
    EXPECT_EQ(n.be24(1), 0x123456u);
    EXPECT_EQ(n.le32(1), 0x78563412u);
    EXPECT_EQ(n.be32(1), 0x12345678u);
}

}  // namespace
