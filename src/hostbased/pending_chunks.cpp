// Counters not built yet: each answers E_NOTIMPL until its scanner lands.
#include "api/scanners.h"

namespace qm {
int32_t ScanHIPERC(Bytes, uint32_t, PageCountResult&) { return static_cast<int32_t>(0x80004001); }
}  // namespace qm
