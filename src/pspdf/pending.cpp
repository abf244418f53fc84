// Counters not built yet: each answers E_NOTIMPL until its scanner lands.
#include "api/scanners.h"

namespace qm {
int32_t ScanPOSTSCRIPT(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
}  // namespace qm

extern "C" QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_PDF(const char*, PageCountResult*) {
    return static_cast<int32_t>(0x80004001);
}
QM_EXPORT void QM_CDECL pdfreadLastError(char* buffer, int size) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
}
