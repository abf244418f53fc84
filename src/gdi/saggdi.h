// The Ricoh Aficio SP 1000S/1100S stream (CUPS's rastertosag-gdi): a 76-byte
// text signature padded with NULs, CR LF, then little-endian records of a
// type, a length and two bytes more, followed by `length` bytes: the
// document start (0x10), a page start (0x11: paper, copies), blocks of
// run-length coded dots (0x12), the page end (0x13), the document end (0x14).
#pragma once

#include <cstdint>

#include "accurate/accurate.h"

namespace qm::gdi {

inline constexpr char kSagSignature[] = ") SAG-GDI RL;";
inline constexpr uint32_t kSagFirstRecord = 78;  // the padded text and CR LF

enum class SagRecord : uint16_t { StartDoc = 0x10, StartPage = 0x11, Block = 0x12, EndPage = 0x13, EndDoc = 0x14 };

enum class SagRead { Ok, Cut, Invalid };
struct SagStep {
    uint16_t type = 0;
    uint32_t data = 0;  // where the record's data starts
    uint32_t next = 0;  // just past it
};
// Reads the record at `at`: a type of the stream with the length that type
// always has (blocks any length).
SagRead ReadSagRecord(Bytes b, uint32_t at, SagStep& s) noexcept;

// Whether the body opens with the signature line.
bool IsSagHeader(Bytes b) noexcept;

}  // namespace qm::gdi
