// PCL XL read page by page for what each page prints: the colours its
// brush and pen paint with, the pixels of its images and raster patterns
// (uncoded, RLE, DeltaRow and JPEG data decoded), and its own paper.
#pragma once

#include <cstdint>

#include "accurate/pages.h"
#include "jobfile/bytes.h"

namespace qm::pclxlaccurate {

// Logs one page per EndPage of the job's streams, in order. A stream that
// stops parsing ends the walk: pages after it are not logged.
void LogPages(Bytes job, accurate::PageLog& log);

}  // namespace qm::pclxlaccurate
