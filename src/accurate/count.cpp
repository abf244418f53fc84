// The accurate path's entry points: detection, the accurate count, the texts
// of codes and the aliases of tags. Each maps the job once (the same view as
// the exports) and works on its bytes in memory.
#include <algorithm>
#include <cstring>
#include <exception>

#include "accurate/accurate.h"
#include "jobfile/jobview.h"

namespace qm::accurate {
namespace {

// `dest` holds `size` > 0 bytes (the callers check a host's buffer first).
void CopyTag(const char* tag, char* dest, size_t size) noexcept {
    const size_t n = std::min(std::strlen(tag), size - 1);
    std::memcpy(dest, tag, n);
    dest[n] = '\0';
}

// Counters that read the PJL lines of their jobs themselves, with their
// language's own precedence (PCL's commands over PJL's defaults, a reset
// back to them). The header applies to every other language's count.
constexpr std::string_view kReadsPjl[] = {"PCL", "HPGL", "UnixTextPCL", "HIPERC", "QPDL", "RPCS"};

bool ReadsPjl(const Language& l) noexcept {
    for (std::string_view tag : kReadsPjl) {
        if (tag == l.counter->tag) return true;
    }
    return false;
}

struct CountCall {
    Bytes bytes;
    const char* pdl;
    QuirometerJob job{};
    int32_t code = QM_OK;
    Result result;

    static void Run(void* self) { static_cast<CountCall*>(self)->Count(); }

    void Count() noexcept {
        std::memset(&job, 0, sizeof job);  // the size the host passed is set once it is copied out
        code = QM_OK;
        const Language* lang = nullptr;
        const bool forced = pdl != nullptr && pdl[0] != '\0';
        if (forced) {
            lang = FindLanguage(pdl);
            if (lang == nullptr) {
                code = QM_E_INVALIDARG;
                return;
            }
        }
        const Detection found = Detect(bytes);
        CopyTag(found.winner ? found.winner->counter->tag : "unknown", job.detected, sizeof job.detected);
        if (!forced) {
            if (found.winner == nullptr) {
                code = QM_E_UNKNOWN_PDL;
                return;
            }
            lang = found.winner;
        }
        CopyTag(lang->counter->tag, job.pdl, sizeof job.pdl);
        // A forced language on bytes that no language claims, its own
        // included (junk, zeros), is not a job: no believable number for it.
        if (forced && found.winner == nullptr && BidOf(*lang, bytes) <= kNoBid) {
            code = QM_E_NOT_UNDERSTOOD;
            return;
        }
        result = Result{};
        Result& r = result;
        try {
            std::lock_guard<GroupMutex> hold(GroupLock(lang->counter->group));
            code = lang->count(bytes, r);
        } catch (const std::bad_alloc&) {
            code = QM_E_FAIL;
        } catch (...) {
            code = QM_E_NOT_UNDERSTOOD;
        }
        if (code != QM_OK) return;
        if (!ReadsPjl(*lang)) ApplyHeader(found.pjl, r);
        Finish(r);
        job.pages = r.rec.pages;
        job.copies = r.rec.copies;
        job.color = r.rec.color;
        job.duplex = r.rec.duplex;
        job.paperWidth = r.rec.paperWidth;
        job.paperLength = r.rec.paperLength;
        job.unknown = r.unknown;
        job.certainty = r.estimated ? QM_CERTAINTY_ESTIMATED : QM_CERTAINTY_EXACT;
        job.colorPages = r.pages.Count(QM_PAGE_COLOR);
        job.colorUnknownPages = r.pages.Count(QM_PAGE_COLOR_UNKNOWN);
    }

    // Hands each page of the settled log to the caller, run by run.
    void DeliverPages(QuirometerPageCallback onPage, void* context) const {
        uint32_t number = 0;
        for (const PageLog::Run& run : result.pages.Runs()) {
            for (uint32_t i = 0; i < run.count; ++i) {
                const QuirometerPage page = Deliver(result, run.page, ++number);
                if (onPage(&page, context) != 0) return;
            }
        }
    }
};

struct DetectCall {
    Bytes bytes;
    const Language* winner = nullptr;
    static void Run(void* self) {
        auto* call = static_cast<DetectCall*>(self);
        call->winner = Detect(call->bytes).winner;
    }
};

}  // namespace
}  // namespace qm::accurate

using namespace qm::accurate;

namespace {

// Both take a path of either width: a Windows host may pass UTF-16.
template <typename Char>
int32_t DetectPath(const Char* path, char* tag, int size) {
    if (path == nullptr || tag == nullptr || size <= 0) return QM_E_INVALIDARG;
    qm::JobFileView view;
    int32_t code = QM_OK;
    if (!view.Open(path, code)) return code;
    DetectCall call;
    code = qm::RunOverView(view, &DetectCall::Run, &call, call.bytes);
    if (code != QM_OK) return code;
    CopyTag(call.winner ? call.winner->counter->tag : "unknown", tag, static_cast<size_t>(size));
    return call.winner ? QM_OK : QM_E_UNKNOWN_PDL;
}

template <typename Char>
int32_t CountWithPages(const Char* path, const char* pdl, QuirometerJob* job, QuirometerPageCallback onPage,
                       void* context) {
    if (path == nullptr || job == nullptr) return QM_E_INVALIDARG;
    const size_t size = job->size;
    if (size < QM_JOB_SIZE_V1) return QM_E_INVALIDARG;
    qm::JobFileView view;
    int32_t code = QM_OK;
    if (!view.Open(path, code)) return code;
    CountCall call;
    call.pdl = pdl;
    code = qm::RunOverView(view, &CountCall::Run, &call, call.bytes);
    if (code != QM_OK) return code;
    if (call.code == QM_OK) {
        // An older caller's record is shorter: nothing past its size is written.
        call.job.size = static_cast<uint32_t>(std::min(size, sizeof(QuirometerJob)));
        std::memcpy(job, &call.job, call.job.size);
        if (onPage != nullptr) call.DeliverPages(onPage, context);
    } else {
        std::memcpy(job->pdl, call.job.pdl, sizeof job->pdl);
        std::memcpy(job->detected, call.job.detected, sizeof job->detected);
    }
    return call.code;
}

}  // namespace

extern "C" QM_EXPORT int32_t QuirometerDetect(const char* path, char* tag, int size) {
    return DetectPath(path, tag, size);
}

extern "C" QM_EXPORT int32_t QuirometerCount(const char* path, const char* pdl, QuirometerJob* job) {
    return CountWithPages(path, pdl, job, nullptr, nullptr);
}

extern "C" QM_EXPORT int32_t QuirometerCountPages(const char* path, const char* pdl, QuirometerJob* job,
                                                  QuirometerPageCallback onPage, void* context) {
    return CountWithPages(path, pdl, job, onPage, context);
}

#if defined(_WIN32)
extern "C" QM_EXPORT int32_t QuirometerDetectW(const wchar_t* path, char* tag, int size) {
    return DetectPath(path, tag, size);
}

extern "C" QM_EXPORT int32_t QuirometerCountW(const wchar_t* path, const char* pdl, QuirometerJob* job) {
    return CountWithPages(path, pdl, job, nullptr, nullptr);
}

extern "C" QM_EXPORT int32_t QuirometerCountPagesW(const wchar_t* path, const char* pdl, QuirometerJob* job,
                                                   QuirometerPageCallback onPage, void* context) {
    return CountWithPages(path, pdl, job, onPage, context);
}
#endif

extern "C" QM_EXPORT const char* QuirometerCanonicalTag(const char* alias) {
    if (alias == nullptr) return nullptr;
    const Language* l = FindLanguage(alias);
    return l ? l->counter->tag : nullptr;
}

extern "C" QM_EXPORT const char* QuirometerErrorText(int32_t code) {
    switch (code) {
        case QM_OK: return "success";
        case QM_E_FILE_NOT_FOUND: return "file not found";
        case QM_E_PATH_NOT_FOUND: return "folder not found";
        case QM_E_ACCESS_DENIED: return "access denied, or the path is a folder";
        case QM_E_SHARING_VIOLATION: return "the file is locked by another process";
        case QM_E_EMPTY_FILE: return "empty file";
        case QM_E_POINTER: return "null result pointer";
        case QM_E_FAIL: return "the job was rejected by its counter, or its interpreter failed";
        case QM_E_INVALIDARG:
            return "invalid argument: an unknown language tag, a record size too small, or a path that is no regular file";
        case QM_E_UNKNOWN_PDL: return "not a print job of a language this library knows";
        case QM_E_NOT_UNDERSTOOD: return "the job does not parse as its language; no count";
        case QM_E_ENCRYPTED: return "the job is encrypted and needs a password";
        default: break;
    }
    if ((static_cast<uint32_t>(code) & 0xFFFF0000u) == 0x80070000u) return "operating-system error on the job file";
    return "unknown error";
}
