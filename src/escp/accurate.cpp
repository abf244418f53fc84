// The accurate counts of this family's languages: the serial-printer walks
// (serial_accurate.h) over the job in memory, turned into the record.
#include "accurate/accurate.h"
#include "escp/serial_accurate.h"

#include <utility>

namespace qm::accurate {
namespace {

// A walk that recognised no command at all, or fewer than it could not
// read, did not read this language: no count. One that met escapes of
// unknown length, or a command cut short by the end of the job, may have
// slipped: its count is estimated.
int32_t Record(serial::SerialCount&& c, Result& out) {
    if (!c.understood || c.commands == 0 || c.unknownCommands > c.commands) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = c.pages;
    // No command of these languages asks for copies: 0, which the finish makes 1.
    out.rec.duplex = c.duplex ? 1 : 0;
    out.rec.color = c.color ? 1 : 0;
    out.rec.paperWidth = c.paperWidth;
    out.rec.paperLength = c.paperLength;
    out.estimated = c.unknownCommands != 0 || c.truncated;
    out.pages = std::move(c.pageLog);
    return QM_OK;
}

}  // namespace

int32_t AccurateESCP2(Bytes job, Result& out) { return Record(serial::CountEscp2Job(job), out); }
int32_t AccurateCANON(Bytes job, Result& out) { return Record(serial::CountCanonJob(job), out); }

}  // namespace qm::accurate
