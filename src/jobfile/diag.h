// Diagnostic lines: formatted like wsprintfA into a 256-character buffer and
// sent to the debugger output channel (on Linux, the installed debug sink).
#pragma once

#include <cstdarg>
#include <cstddef>

namespace qm {

constexpr size_t kDiagBufferSize = 256;

// Formats into buf (capacity `cap`, always NUL-terminated, never overrun).
// Directives: %X %x %d %i %u %s %c %% with optional flags "-0", a width and
// the "l"/"h" size prefixes, as wsprintfA reads them.
size_t FormatDiag(char* buf, size_t cap, const char* fmt, va_list args) noexcept;
size_t FormatDiagf(char* buf, size_t cap, const char* fmt, ...) noexcept;

// One diagnostic line.
void Debug(const char* fmt, ...) noexcept;

// Whether a line would reach anyone; callers that build lines by hand ask
// first.
bool DebugWanted() noexcept;

// Hands an already formatted line to the platform's output channel.
void DebugOutput(const char* line) noexcept;

}  // namespace qm
