#include "counting.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "accurate/accurate.h"
#include "system.h"

namespace qmcli {
namespace {

constexpr uint32_t kPdfFailedCount = 0xFFFFFFFFu;

std::string TagText(const char* tag, size_t size) { return std::string(tag, strnlen(tag, size)); }

// The fixed part of an encoded outcome; the strings follow it, each after
// its length.
struct Fixed {
    int32_t code;
    uint8_t failed;
    uint8_t estimated;
    uint32_t unknown;
    PageCountResult rec;
    uint32_t colorPages;
    uint32_t colorUnknownPages;
    uint64_t sheets;
};

void PutString(std::string& out, const std::string& s) {
    const uint32_t n = static_cast<uint32_t>(s.size());
    out.append(reinterpret_cast<const char*>(&n), sizeof n);
    out += s;
}

bool GetString(std::string_view& in, std::string& s) {
    uint32_t n;
    if (in.size() < sizeof n) return false;
    std::memcpy(&n, in.data(), sizeof n);
    in.remove_prefix(sizeof n);
    if (in.size() < n) return false;
    s.assign(in.data(), n);
    in.remove_prefix(n);
    return true;
}

// A list of plain records, after its length.
template <class T>
void PutList(std::string& out, const std::vector<T>& list) {
    const uint32_t n = static_cast<uint32_t>(list.size());
    out.append(reinterpret_cast<const char*>(&n), sizeof n);
    if (n > 0) out.append(reinterpret_cast<const char*>(list.data()), list.size() * sizeof(T));
}

template <class T>
bool GetList(std::string_view& in, std::vector<T>& list) {
    uint32_t n;
    if (in.size() < sizeof n) return false;
    std::memcpy(&n, in.data(), sizeof n);
    in.remove_prefix(sizeof n);
    if (in.size() / sizeof(T) < n) return false;
    list.resize(n);
    if (n > 0) std::memcpy(list.data(), in.data(), n * sizeof(T));  // an empty list has no data to copy to
    in.remove_prefix(n * sizeof(T));
    return true;
}

bool SamePaper(double w1, double l1, double w2, double l2) {
    return std::fabs(w1 - w2) < 0.005 && std::fabs(l1 - l2) < 0.005;
}

// Sheets of one copy, page by page: a page starts a sheet unless it is the
// back of the sheet whose front came just before it, on the same paper.
struct SheetWalk {
    std::vector<PaperSheets> paper;
    uint64_t sheets = 0;
    bool frontOpen = false;
    QuirometerPage front{};
    bool listPages = false;
    std::vector<QuirometerPage> pages;

    void Add(const QuirometerPage& p) {
        if (listPages) pages.push_back(p);
        if (p.side == QM_SIDE_BACK && frontOpen && SamePaper(p.paperWidth, p.paperLength, front.paperWidth, front.paperLength)) {
            frontOpen = false;
            return;
        }
        frontOpen = p.side == QM_SIDE_FRONT;
        front = p;
        ++sheets;
        AddSheets(paper, p.paperWidth, p.paperLength, 1);
    }

    static int OnPage(const QuirometerPage* page, void* context) {
        static_cast<SheetWalk*>(context)->Add(*page);
        return 0;
    }
};

std::string Detected(const std::string& path) {
    char tag[QM_TAG_SIZE] = {};
    const int32_t code = sys::Detect(path, tag, sizeof tag);
    if (code != QM_OK && code != QM_E_UNKNOWN_PDL) return {};
    return TagText(tag, sizeof tag);
}

}  // namespace

void AddSheets(std::vector<PaperSheets>& paper, double width, double length, uint64_t sheets) {
    for (PaperSheets& s : paper) {
        if (SamePaper(s.width, s.length, width, length)) {
            s.sheets += sheets;
            return;
        }
    }
    if (paper.size() >= kMaxPaperSizes) width = length = 0.0;
    for (PaperSheets& s : paper) {
        if (s.width == 0.0 && s.length == 0.0 && width == 0.0 && length == 0.0) {
            s.sheets += sheets;
            return;
        }
    }
    paper.push_back({width, length, sheets});
}

std::string Outcome::Encode() const {
    Fixed f;
    std::memset(&f, 0, sizeof f);  // no stray bytes in the padding
    f.code = code;
    f.failed = failed;
    f.estimated = estimated;
    f.unknown = unknown;
    f.rec = rec;
    f.colorPages = colorPages;
    f.colorUnknownPages = colorUnknownPages;
    f.sheets = sheets;
    std::string out(reinterpret_cast<const char*>(&f), sizeof f);
    PutString(out, pdl);
    PutString(out, detected);
    PutString(out, pdfError);
    PutList(out, paper);
    PutList(out, pageList);
    return out;
}

Outcome Outcome::Decode(std::string_view bytes) {
    Fixed f;
    Outcome out;
    if (bytes.size() >= sizeof f) {
        std::memcpy(&f, bytes.data(), sizeof f);
        bytes.remove_prefix(sizeof f);
        out.code = f.code;
        out.failed = f.failed != 0;
        out.estimated = f.estimated != 0;
        out.unknown = f.unknown;
        out.rec = f.rec;
        out.colorPages = f.colorPages;
        out.colorUnknownPages = f.colorUnknownPages;
        out.sheets = f.sheets;
        if (GetString(bytes, out.pdl) && GetString(bytes, out.detected) && GetString(bytes, out.pdfError) &&
            GetList(bytes, out.paper) && GetList(bytes, out.pageList) && bytes.empty())
            return out;
    }
    out = Outcome{};
    out.code = QM_E_FAIL;
    out.failed = true;
    return out;
}

Outcome CountAccurate(const std::string& path, const std::string& pdl, bool listPages) {
    QuirometerJob job;
    std::memset(&job, 0, sizeof job);
    job.size = sizeof job;
    Outcome o;
    SheetWalk walk;
    walk.listPages = listPages;
    o.code = sys::CountPages(path, pdl.empty() ? nullptr : pdl.c_str(), &job, &SheetWalk::OnPage, &walk);
    o.failed = o.code != QM_OK;
    o.pdl = TagText(job.pdl, sizeof job.pdl);
    if (o.pdl.empty()) o.pdl = pdl;
    o.detected = TagText(job.detected, sizeof job.detected);
    if (o.failed) return o;
    o.rec.pages = job.pages;
    o.rec.copies = job.copies;
    o.rec.color = job.color;
    o.rec.duplex = job.duplex;
    o.rec.paperWidth = job.paperWidth;
    o.rec.paperLength = job.paperLength;
    o.estimated = job.certainty == QM_CERTAINTY_ESTIMATED;
    o.unknown = job.unknown;
    o.colorPages = job.colorPages;
    o.colorUnknownPages = job.colorUnknownPages;
    const uint64_t copies = job.copies == 0 ? 1 : job.copies;
    o.sheets = walk.sheets * copies;
    for (PaperSheets& s : walk.paper) s.sheets *= copies;
    o.paper = std::move(walk.paper);
    o.pageList = std::move(walk.pages);
    return o;
}

Outcome CountCompatible(const qm::CounterInfo& counter, const std::string& path) {
    Outcome o;
    o.pdl = counter.tag;
    std::memset(&o.rec, 0, sizeof o.rec);
    {
        // The calls of one group must not overlap: the accurate path takes
        // this lock too. (Only Windows workers, which are threads, contend.)
        std::lock_guard<qm::accurate::GroupMutex> hold(qm::accurate::GroupLock(counter.group));
        o.code = counter.entry(sys::ExportPath(path).c_str(), &o.rec);
        // The PDF export reports a reader failure inside the record: pages
        // all ones, code 0, the reason in its last error text.
        o.failed = o.code != QM_OK || (counter.group == qm::Group::Pdf && o.rec.pages == kPdfFailedCount);
        if (o.failed && counter.group == qm::Group::Pdf) {
            char text[512];
            pdfreadLastError(text, sizeof text);
            o.pdfError = text;
        }
    }
    o.detected = Detected(path);
    return o;
}

Outcome DetectOnly(const std::string& path) {
    Outcome o;
    char tag[QM_TAG_SIZE] = {};
    o.code = sys::Detect(path, tag, sizeof tag);
    o.failed = o.code != QM_OK;
    if (o.code == QM_OK || o.code == QM_E_UNKNOWN_PDL) o.detected = TagText(tag, sizeof tag);
    return o;
}

#if !defined(_WIN32)
// (Windows: system_win32.cpp.)
StdinCopy::~StdinCopy() {
    if (!path_.empty()) ::unlink(path_.c_str());
}

bool StdinCopy::Take() {
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/quirometer-stdin-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    path_ = name;
    std::vector<char> buf(1 << 16);
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(0, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        for (ssize_t off = 0; ok && off < n;) {
            const ssize_t w = ::write(fd, buf.data() + off, static_cast<size_t>(n - off));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) ok = false;
            else off += w;
        }
        if (!ok) break;
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}

#endif

}  // namespace qmcli
