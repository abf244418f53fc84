// Shared helpers for the tests: temporary job files, a captured debug sink,
// marker-filled records and byte-string building.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "api/registry.h"
#include "jobfile/jobview.h"
#include "guarded.h"
#include "quirometer/quirometer.h"

namespace qmtest {

// The bytes of a file; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A job file in a private temporary folder, removed with the object.
class TempJob {
public:
    explicit TempJob(std::string_view bytes, const char* name = "job.prn") {
        char tmpl[] = "/tmp/qmtest-XXXXXX";
        const char* d = ::mkdtemp(tmpl);
        dir_ = d ? d : "/tmp";
        path_ = dir_ + "/" + name;
        if (FILE* f = std::fopen(path_.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
    ~TempJob() {
        ::unlink(path_.c_str());
        ::rmdir(dir_.c_str());
    }
    TempJob(const TempJob&) = delete;
    TempJob& operator=(const TempJob&) = delete;
    const char* path() const { return path_.c_str(); }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    std::string path_;
};

// Collects the diagnostic lines sent while it lives.
class CapturedLines {
public:
    CapturedLines() { QuirometerSetDebugOutput(&Sink, this); }
    ~CapturedLines() { QuirometerSetDebugOutput(nullptr, nullptr); }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    static void Sink(const char* line, void* self) {
        auto* me = static_cast<CapturedLines*>(self);
        std::lock_guard<std::mutex> lock(me->mutex_);
        me->lines_.emplace_back(line);
    }
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Sends standard output (interpreter traces) to /dev/null while it lives.
class SilenceStdout {
public:
    SilenceStdout() {
        std::fflush(stdout);
        saved_ = ::dup(1);
        if (FILE* null = std::fopen("/dev/null", "w")) {
            ::dup2(::fileno(null), 1);
            std::fclose(null);
        }
    }
    ~SilenceStdout() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            ::dup2(saved_, 1);
            ::close(saved_);
        }
    }
    SilenceStdout(const SilenceStdout&) = delete;
    SilenceStdout& operator=(const SilenceStdout&) = delete;

private:
    int saved_ = -1;
};

inline PageCountResult MarkedRecord() {
    PageCountResult r;
    std::memset(&r, 0xA5, sizeof r);
    return r;
}

inline bool IsMarked(const PageCountResult& r) {
    const PageCountResult marked = MarkedRecord();
    return std::memcmp(&r, &marked, sizeof r) == 0;
}

// Bytes from a string literal that may hold NULs.
template <size_t N>
std::string Lit(const char (&s)[N]) {
    return std::string(s, N - 1);
}

// Counts bytes in memory with a mapped counter, as its entry point would.
inline int32_t CountWith(const char* tag, std::string_view bytes, PageCountResult& rec) {
    const qm::CounterInfo* c = qm::FindCounter(tag);
    if (c == nullptr || c->scan == nullptr) return -1;
    const qmtest::Guarded job(bytes);  // a read past its end faults
    return qm::CountBytes(job.bytes(), &rec, c->scan, c->skipLeadingNul);
}

// Counts a job written to a real file through the exported entry point.
inline int32_t CountFile(const char* tag, std::string_view bytes, PageCountResult& rec) {
    const qm::CounterInfo* c = qm::FindCounter(tag);
    if (c == nullptr) return -1;
    TempJob job(bytes);
    return c->entry(job.path(), &rec);
}

// Byte builders: Bin({0x1B, 'E'}) and integers in either byte order.
inline std::string Bin(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}
inline std::string Le16(uint32_t v) { return Bin({int(v & 0xFF), int((v >> 8) & 0xFF)}); }
inline std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
inline std::string Be16(uint32_t v) { return Bin({int((v >> 8) & 0xFF), int(v & 0xFF)}); }
inline std::string Be24(uint32_t v) { return Bin({int((v >> 16) & 0xFF)}) + Be16(v & 0xFFFF); }
inline std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }

// The record a job should produce; `code` other than QM_OK expects the
// caller's record untouched.
struct Want {
    uint32_t pages = 0, copies = 1;
    uint8_t color = 0, duplex = 0;
    double width = 0.0, length = 0.0;
    int32_t code = QM_OK;
};
inline const Want kRejected{.code = QM_E_FAIL};

struct Case {
    const char* name;
    std::string job;
    Want want;
};

// Compares every field of a record with `want`.
inline void ExpectFields(const PageCountResult& rec, const Want& want, const std::string& name) {
    EXPECT_EQ(rec.pages, want.pages) << name;
    EXPECT_EQ(rec.copies, want.copies) << name;
    EXPECT_EQ(rec.color, want.color) << name;
    EXPECT_EQ(rec.duplex, want.duplex) << name;
    EXPECT_DOUBLE_EQ(rec.paperWidth, want.width) << name;
    EXPECT_DOUBLE_EQ(rec.paperLength, want.length) << name;
}

// Counts `job` with the counter of `tag` (in memory, or through a real file
// and the exported entry point) and compares every field of the record.
inline void ExpectRecord(const char* tag, const char* name, std::string_view job, const Want& want,
                         bool throughFile = false) {
    PageCountResult rec = MarkedRecord();
    const int32_t code = throughFile ? CountFile(tag, job, rec) : CountWith(tag, job, rec);
    ASSERT_EQ(code, want.code) << tag << ": " << name;
    if (code != QM_OK) EXPECT_TRUE(IsMarked(rec)) << tag << ": " << name;
    else ExpectFields(rec, want, std::string(tag) + ": " + name);
}
inline void ExpectRecord(const char* tag, const Case& c, bool throughFile = false) {
    ExpectRecord(tag, c.name, c.job, c.want, throughFile);
}

// The diagnostic lines a scan of `job` sends, word for word.
inline void ExpectLines(const char* tag, const char* name, std::string_view job, const std::vector<std::string>& want) {
    PageCountResult rec{};
    CapturedLines cap;
    EXPECT_EQ(CountWith(tag, job, rec), QM_OK) << tag << ": " << name;
    EXPECT_EQ(cap.lines(), want) << tag << ": " << name;
}

struct LinesCase {
    const char* name;
    std::string job;
    std::vector<std::string> lines;
};
inline void ExpectLines(const char* tag, const LinesCase& c) { ExpectLines(tag, c.name, c.job, c.lines); }

// Every prefix scans without reading past its end (CountWith hands the
// scan a job whose next byte faults).
inline void ExpectEveryPrefixScans(const char* tag, const std::string& job) {
    for (size_t n = 1; n <= job.size(); ++n) {
        PageCountResult rec{};
        EXPECT_EQ(CountWith(tag, std::string_view(job.data(), n), rec), QM_OK) << tag << " prefix " << n;
    }
}

// Scans `head` placed to end a readable page, then `gap` bytes whose whole
// pages are unreadable (one such page when nothing follows), then `tail`.
inline int32_t ScanBesideHoles(const char* tag, const std::string& head, size_t gap, const std::string& tail,
                               PageCountResult& rec) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t hole = tail.empty() && gap < page ? page : gap / page * page;
    const size_t span = page + std::max(hole, (gap + tail.size() + page - 1) / page * page);
    void* map = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED || head.size() > page) return -2;
    auto* start = static_cast<uint8_t*>(map) + page - head.size();
    std::memcpy(start, head.data(), head.size());
    std::memcpy(start + head.size() + gap, tail.data(), tail.size());
    int32_t code = -3;
    if (::mprotect(start + head.size(), hole, PROT_NONE) == 0)
        code = qm::FindCounter(tag)->scan(qm::Bytes(start, uint32_t(head.size() + gap + tail.size())), 0, rec);
    ::munmap(map, span);
    return code;
}

// Scans `job` ending a readable page before an unreadable one: a scan that
// reads one byte too far faults.
inline int32_t ScanEndingAtAPage(const char* tag, const std::string& job) {
    PageCountResult rec{};
    const Guarded guarded(job);
    return qm::FindCounter(tag)->scan(guarded.bytes(), 0, rec);
}

// A walk that steps over a body of `gap` bytes by its length never touches
// it. Returns the pages counted, or -1 when the scan fails.
inline int64_t PagesAcrossHole(const char* tag, const std::string& head, size_t gap, const std::string& tail) {
    PageCountResult rec{};
    return ScanBesideHoles(tag, head, gap, tail, rec) == QM_OK ? int64_t(rec.pages) : -1;
}

}  // namespace qmtest
