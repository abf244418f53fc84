// The accurate reading of PCL 5 jobs: every escape sequence with its exact
// length, data stepped over by its byte count, HP-GL/2 passages passed over,
// PJL read line by line, and pages counted as the printer ejects them.
#pragma once

#include <cstdint>
#include <string_view>

#include "accurate/accurate.h"
#include "jobfile/bytes.h"
#include "pcl/pjl.h"

namespace qm::pclaccurate {

// The paper of a PCL page-size code (ESC & l # A); false for a code with no
// fixed size.
bool PaperOfPageSize(uint32_t code, double& width, double& length) noexcept;

// What an HP-GL/2 passage holds.
struct HpglPassage {
    bool draws = false;                         // a drawing command
    bool penColour = false;                     // a pen given a colour of its own (PC)
    double plotWidth = 0.0, plotLength = 0.0;   // inches, from the plot-size command PS; 0 when none
};

// Passes over an HP-GL/2 passage that starts at i (after ESC % # B, or at the
// start of a plot): returns the index of the ESC that ends it (ESC % # A, a
// reset or a UEL), or job.size. Label text and encoded polylines are never
// read as commands.
uint32_t SkipHpglPassage(Bytes job, uint32_t i, HpglPassage& passage) noexcept;

// What the PCL reading found besides the record, for HP-GL/2 plots.
struct Pcl5Extras {
    bool startsInHpgl = false;  // in: the job opens in HP-GL/2, as a plot does
    bool withoutColour = false;  // in: no page's colour read (the cost of the colour pass is measured so)
    double plotWidth = 0.0, plotLength = 0.0;  // out: the first plot size of the job
    bool pjlPaper = false;                      // out: PJL named the paper
};

// Counts a PCL 5 job: QM_OK with the record, or QM_E_NOT_UNDERSTOOD when the
// bytes hold no PCL at all.
int32_t CountPcl5(Bytes job, accurate::Result& out, Pcl5Extras* extras = nullptr);

}  // namespace qm::pclaccurate
