// Shared helpers for the tests: temporary job files, a captured debug sink,
// marker-filled records and byte-string building.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "api/registry.h"
#include "jobfile/jobview.h"
#include "quirometer/quirometer.h"

namespace qmtest {

// A job file in a private temporary folder, removed with the object.
class TempJob {
public:
    explicit TempJob(std::string_view bytes, const char* name = "job.prn") {
        char tmpl[] = "/tmp/qmtest-XXXXXX";
        const char* d = ::mkdtemp(tmpl);
        dir_ = d ? d : "/tmp";
        path_ = dir_ + "/" + name;
        FILE* f = std::fopen(path_.c_str(), "wb");
        if (f != nullptr) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
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
        FILE* null = std::fopen("/dev/null", "w");
        if (null != nullptr) {
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
    const auto* p = reinterpret_cast<const unsigned char*>(&r);
    for (size_t i = 0; i < sizeof r; ++i)
        if (p[i] != 0xA5) return false;
    return true;
}

// Bytes from a string literal that may hold NULs: B("\x00\x01", 2) or S(...)
inline std::string S(const char* p, size_t n) { return std::string(p, n); }
template <size_t N>
std::string Lit(const char (&s)[N]) {
    return std::string(s, N - 1);
}

// Counts bytes in memory with a mapped counter, as its entry point would.
inline int32_t CountWith(const char* tag, std::string_view bytes, PageCountResult& rec) {
    const qm::CounterInfo* c = qm::FindCounter(tag);
    if (c == nullptr || c->scan == nullptr) return -1;
    return qm::CountBytes(qm::Bytes(bytes), &rec, c->scan, c->skipLeadingNul);
}

// Counts a job written to a real file through the exported entry point.
inline int32_t CountFile(const char* tag, std::string_view bytes, PageCountResult& rec) {
    const qm::CounterInfo* c = qm::FindCounter(tag);
    if (c == nullptr) return -1;
    TempJob job(bytes);
    return c->entry(job.path(), &rec);
}

}  // namespace qmtest
