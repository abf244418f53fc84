// The colour of each page of a PostScript job, without a renderer: the
// literal operands of the colour operators in the page's code, followed
// through the procedures the prolog defines (a definition runs nothing until
// it is called), images by their colour space and their data where it is
// plain, and the document-structuring colour comments. While reading the
// pages it also counts the showpage calls they execute.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "jobfile/bytes.h"

namespace qm::psaccurate {

struct Span {
    uint32_t from = 0, to = 0;
};

struct ColourPages {
    // One verdict (QM_PAGE_*) per %%Page: part, and one per showpage
    // executed in the parts.
    std::vector<uint8_t> byComment, byShowpage;
    // Per part, the page size it asked for (points; 0 x 0 when none).
    std::vector<std::pair<double, double>> paper;
    // No showpage was conditional, in a loop, or after data that could not
    // be stepped over: byShowpage is what the printer ejects.
    bool showpagesCertain = true;
};

// `prolog`: the code before the first page; `pages`: each page's code (from
// its %%Page: comment to the next page or the trailer); `embedded`: the
// documents embedded in them, whose showpage calls are theirs.
ColourPages ReadColours(Bytes job, Span prolog, const std::vector<Span>& pages, const std::vector<Span>& embedded);

}  // namespace qm::psaccurate
