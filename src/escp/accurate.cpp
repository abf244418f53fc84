// The accurate counts of this family's languages. Where a language's export
// already counts real jobs right, its record passes through.
#include "accurate/accurate.h"

namespace qm::accurate {

int32_t AccurateESCP2(Bytes job, Result& out) { return PassThrough("ESCP2", job, out); }
int32_t AccurateCANON(Bytes job, Result& out) { return PassThrough("CANON", job, out); }

}  // namespace qm::accurate
