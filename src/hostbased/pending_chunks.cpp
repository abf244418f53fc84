// Counters not built yet: each answers E_NOTIMPL until its scanner lands.
#include "api/scanners.h"

namespace qm {
int32_t ScanZJSTREAM(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanTALLYSTREAM(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanOAKT(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanZIMF(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanHIPERC(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
}  // namespace qm
