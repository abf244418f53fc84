#include "jobfile/jobview.h"

#include <algorithm>
#include <cstring>

#include "jobfile/diag.h"
#include "jobfile/platform.h"
#include "jobfile/scanguard.h"

namespace qm {

JobFileView::~JobFileView() {
    // Each does nothing for what was never opened.
    platform::UnmapView(base_, mappedLength_);
    platform::CloseMapping(mapping_);
    platform::CloseFile(file_);
}

namespace {

// A failed step's diagnostic line carries the platform's last error as it is
// (0 when it left none, as a size of 2^32 - 1 does); the caller still gets a
// failure code.
bool Failed(const char* line, int32_t& code) noexcept {
    const int32_t platformCode = HresultFromLastError(platform::LastError());
    Debug(line, platformCode);
    code = platformCode != QM_OK ? platformCode : QM_E_FAIL;
    return false;
}

}  // namespace

bool JobFileView::Open(const char* path, int32_t& code) noexcept { return Map(platform::OpenFile(path), code); }

#if defined(_WIN32)
bool JobFileView::Open(const wchar_t* path, int32_t& code) noexcept { return Map(platform::OpenFileW(path), code); }
#endif

bool JobFileView::Map(platform::Handle file, int32_t& code) noexcept {
    code = QM_OK;
    if (file == platform::kInvalidHandle || file == platform::kNullHandle) {
        return Failed(kOpenFailed, code);
    }
    file_ = file;

    const platform::Handle mapping = platform::CreateMapping(file_);
    if (mapping == platform::kNullHandle || mapping == platform::kInvalidHandle) {
        return Failed(kMappingFailed, code);
    }
    mapping_ = mapping;

    size_t mapped = 0;
    const uint8_t* base = platform::MapView(mapping_, mapped);
    if (base == nullptr) {
        return Failed(kViewFailed, code);
    }
    base_ = base;
    mappedLength_ = mapped;

    const uint32_t size = platform::FileSize(file_);
    if (size == 0xFFFFFFFFu) {
        return Failed(kSizeFailed, code);
    }
    scanSize_ = static_cast<uint32_t>(std::min<size_t>(mapped, size));
    return true;
}

uint32_t JobFileView::ReadableLength() const noexcept {
    const uint32_t now = platform::FileSize(file_);
    if (now == 0xFFFFFFFFu) return 0;
    return std::min(now, scanSize_);
}

namespace {

struct ScanCall {
    Bytes bytes;
    MappedScan scan;
    bool skipLeadingNul;
    PageCountResult rec;
    int32_t code;

    static void Run(void* self) {
        auto* call = static_cast<ScanCall*>(self);
        std::memset(&call->rec, 0, sizeof call->rec);
        const uint32_t start = call->skipLeadingNul ? call->bytes.skipNul(0) : 0;
        call->code = call->scan(call->bytes, start, call->rec);
    }
};

}  // namespace

int32_t CountBytes(Bytes job, PageCountResult* out, MappedScan scan, bool skipLeadingNul) noexcept {
    if (out == nullptr) return QM_E_POINTER;
    ScanCall call{job, scan, skipLeadingNul, {}, QM_OK};
    ScanCall::Run(&call);
    if (call.code == QM_OK) std::memcpy(out, &call.rec, sizeof call.rec);
    return call.code;
}

int32_t RunOverView(const JobFileView& view, void (*body)(void*), void* ctx, Bytes& bytes) noexcept {
    bytes = view.bytes();
    for (int attempt = 0;; ++attempt) {
        if (RunGuarded(body, ctx, view.bytes().data, view.bytes().size)) return QM_OK;
        if (attempt == 8) return HresultFromLastError(30 /* ERROR_READ_FAULT */);
        const uint32_t readable = view.ReadableLength();
        bytes.size = std::min(readable, bytes.size);
    }
}

int32_t CountMappedFile(const char* path, PageCountResult* out, MappedScan scan, bool skipLeadingNul) noexcept {
    if (out == nullptr) return QM_E_POINTER;
    JobFileView view;
    int32_t code = QM_OK;
    if (!view.Open(path, code)) return code;
    ScanCall call{view.bytes(), scan, skipLeadingNul, {}, QM_OK};
    const int32_t viewCode = RunOverView(view, &ScanCall::Run, &call, call.bytes);
    if (viewCode != QM_OK) return viewCode;
    if (call.code == QM_OK) std::memcpy(out, &call.rec, sizeof call.rec);
    return call.code;
}

}  // namespace qm
