#include "jobfile/diag.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "jobfile/platform.h"

namespace qm {
namespace {

struct Out {
    char* buf;
    size_t cap;
    size_t len = 0;
    void put(char c) noexcept {
        if (len + 1 < cap) buf[len++] = c;
    }
    void pad(size_t n, char c) noexcept {
        while (n-- > 0) put(c);
    }
};

void PutNumber(Out& out, uint64_t value, bool negative, unsigned base, bool upper, bool left, bool zero,
               size_t width) noexcept {
    constexpr size_t kMostDigits = 24;  // a 64-bit value in base 10 has 20
    char digits[kMostDigits];
    size_t n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[n++] = set[value % base];
        value /= base;
    } while (value != 0);
    const size_t len = n + (negative ? 1 : 0);
    const size_t fill = std::max(width, len) - len;
    if (!left && !zero) out.pad(fill, ' ');
    if (negative) out.put('-');
    if (!left && zero) out.pad(fill, '0');
    while (n > 0) out.put(digits[--n]);
    if (left) out.pad(fill, ' ');
}

}  // namespace

size_t FormatDiag(char* buf, size_t cap, const char* fmt, va_list args) noexcept {
    if (cap == 0) return 0;
    Out out{buf, cap};
    for (const char* p = fmt; *p != '\0'; ++p) {
        if (*p != '%') {
            out.put(*p);
            continue;
        }
        ++p;
        bool left = false, zero = false;
        for (;; ++p) {
            if (*p == '-') left = true;
            else if (*p == '0') zero = true;
            else break;
        }
        size_t width = 0;
        while (*p >= '0' && *p <= '9') width = width * 10 + static_cast<size_t>(*p++ - '0');
        while (*p == 'l' || *p == 'h') ++p;
        switch (*p) {
            case 'X':
            case 'x':
                PutNumber(out, va_arg(args, unsigned int), false, 16, *p == 'X', left, zero, width);
                break;
            case 'u':
                PutNumber(out, va_arg(args, unsigned int), false, 10, false, left, zero, width);
                break;
            case 'd':
            case 'i': {
                const int v = va_arg(args, int);
                const uint64_t mag = static_cast<uint64_t>(std::abs(static_cast<int64_t>(v)));  // every int's fits
                PutNumber(out, mag, v < 0, 10, false, left, zero, width);
                break;
            }
            case 'c': {
                const char c = static_cast<char>(va_arg(args, int));
                const size_t fill = std::max<size_t>(width, 1) - 1;
                if (!left) out.pad(fill, ' ');
                out.put(c);
                if (left) out.pad(fill, ' ');
                break;
            }
            case 's': {
                const char* s = va_arg(args, const char*);
                if (s == nullptr) s = "(null)";
                const size_t len = std::strlen(s);
                const size_t fill = std::max(width, len) - len;
                if (!left) out.pad(fill, ' ');
                for (size_t k = 0; k < len; ++k) out.put(s[k]);
                if (left) out.pad(fill, ' ');
                break;
            }
            case '\0':
                --p;  // a lone '%' at the end prints nothing
                break;
            default:
                out.put(*p);  // "%%" and unknown directives print the character
                break;
        }
    }
    buf[out.len] = '\0';
    return out.len;
}

size_t FormatDiagf(char* buf, size_t cap, const char* fmt, ...) noexcept {
    va_list args;
    va_start(args, fmt);
    const size_t n = FormatDiag(buf, cap, fmt, args);
    va_end(args);
    return n;
}

void Debug(const char* fmt, ...) noexcept {
    if (!platform::HasOutput()) return;
    char line[kDiagBufferSize];
    va_list args;
    va_start(args, fmt);
    platform::FormatLine(line, sizeof line, fmt, args);
    va_end(args);
    platform::OutputLine(line);
}

bool DebugWanted() noexcept { return platform::HasOutput(); }

void DebugOutput(const char* line) noexcept { platform::OutputLine(line); }

}  // namespace qm
