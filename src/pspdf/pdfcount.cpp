// PDF jobs: the page count that the file declares in the "/Count" of its page
// tree root. A file the reader cannot follow is reported as a count of
// 0xFFFFFFFF pages, with the reason left in pdfreadLastError.
#include <cstring>

#include "pspdf/pdfread.h"
#include "quirometer/quirometer.h"

namespace {

constexpr uint32_t kCountFailed = 0xFFFFFFFFu;

// Closes the reader's stream and releases its sections when the count ends,
// on every path out of it.
struct PdfCountScope {
    PdfCountScope() = default;
    PdfCountScope(const PdfCountScope&) = delete;
    PdfCountScope& operator=(const PdfCountScope&) = delete;
    ~PdfCountScope() { qm::pdfreadClose(); }
};

}  // namespace

extern "C" QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_PDF(const char* path, PageCountResult* result) {
    if (result == nullptr) return QM_E_POINTER;
    try {
        PageCountResult rec;
        std::memset(&rec, 0, sizeof rec);
        {
            PdfCountScope scope;
            rec.pages = qm::pdfreadGetPageCount(path) ? static_cast<uint32_t>(qm::pdfreadState().pageCount)
                                                      : kCountFailed;
        }
        std::memcpy(result, &rec, sizeof rec);
        return QM_OK;
    } catch (...) {
        return QM_E_FAIL;
    }
}
