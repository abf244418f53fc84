// The accurate counters of the vendor page languages whose structure real
// driver output lets us check: ESC/Page command streams and foo2qpdl's QPDL.
#pragma once

#include "accurate/accurate.h"
#include "hostbased/hostbased_accurate.h"

namespace qm::accurate {

// ESC/Page: pages end with a form feed, a duplex side command ("GS 0dpsE")
// or a reset after marks; copies, duplex and paper from the commands and EJL.
int32_t CountEscPage(Bytes job, Result& out);
// QPDL as foo2qpdl writes it; jobs of other writers pass through.
int32_t CountQpdl(Bytes job, Result& out);
// Printronix graphics: the export's pages, copies only from fields of digits.
int32_t CountPrintronix(Bytes job, Result& out);

}  // namespace qm::accurate
