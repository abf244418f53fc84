// The colour of a JPEG image, from its decoded pixels.
#pragma once

#include "jobfile/bytes.h"

namespace qm::pclraster {

enum class JpegColour { Neutral, Colour, Unknown };

// Decodes the image (at most kJpegMaxPixels) and looks for a pixel whose
// components differ by more than `slack`: lossy coding leaves a grey image
// a little off grey. Unknown when the data does not decode.
inline constexpr uint64_t kJpegMaxPixels = uint64_t{1} << 24;
JpegColour ColourOfJpeg(Bytes jpeg, int slack) noexcept;

}  // namespace qm::pclraster
