// The decryption of PDFs opened with the empty user password.
#pragma once

#include <cstdint>
#include <string>

#include "jobfile/bytes.h"
#include "quirometer/quirometer.h"

namespace qm::pdf {

// Writes a decrypted copy of `pdf` (which starts at its header) to `out`:
// QM_OK, QM_E_ENCRYPTED when the file needs a password, or
// QM_E_NOT_UNDERSTOOD when it cannot be opened at all.
int32_t DecryptCopy(Bytes pdf, std::string& out);

}  // namespace qm::pdf
