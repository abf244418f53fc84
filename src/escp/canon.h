// The Canon Bubble Jet counter: one job alternates between the printer's
// ESC/P emulation and its raster mode. Each run interprets until the job asks
// for the other mode (or the data ends), merges what it counted into the
// record and tells the entry point which run comes next.
#pragma once

#include "escp/commandstream.h"
#include "quirometer/quirometer.h"

namespace qm::canon {

// Modes passed between the entry point and the runs; also the handler results
// that ask for a switch (2 and 3). Handler results 0 and 1 both mean "go on".
constexpr int kRasterMode = 2;
constexpr int kEscpMode = 3;
constexpr int kEndOfData = 4;

// One run of each interpreter: sets `mode` to the run that comes next and adds
// its counts to `rec`.
void RunEscp(CommandStream& stream, int& mode, PageCountResult& rec);
void RunRaster(CommandStream& stream, int& mode, PageCountResult& rec);

// Skips a block of the printer's text control language (up to its end line);
// used by ESC [ K in both modes. Returns 0 once the block is over.
int SkipBubbleJetLanguage(CommandStream& stream, int result);

// The whole job: the runs alternate as the job asks until the data ends.
// Raises what the interpreters raise.
PageCountResult CountStream(CommandStream& stream);

}  // namespace qm::canon
