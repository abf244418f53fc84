// Counters not built yet: each answers E_NOTIMPL until its scanner lands.
#include "api/scanners.h"

namespace qm {
int32_t ScanPPA(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanLIDIL(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanCanonCAPT(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanFijiPhoto(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanLexmark(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanOKI(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanTCPL(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanPANASONIC(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
int32_t ScanCanonUFR(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
}  // namespace qm
