// The accurate count of a PDF job, with or without reading the pages'
// content for colour (the content is most of the work on a long document).
#pragma once

#include <cstdint>

#include "accurate/accurate.h"

namespace qm::pdf {

enum class Colour { Read, Skip };

// Pages, paper, copies and duplex from the file's structure; colour from the
// content when `colour` is Read, else reported unknown (and as colour).
// QM_OK, QM_E_ENCRYPTED or QM_E_NOT_UNDERSTOOD; may throw std::bad_alloc.
int32_t Count(Bytes job, accurate::Result& out, Colour colour);

}  // namespace qm::pdf
