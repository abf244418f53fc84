// The search for the next lead byte of a scan: the first byte at or after an
// index that is one of a few values. Where the processor has 16-byte vector
// compares the search tests 16 bytes per step, otherwise one byte at a time;
// both give the same index. Scanners whose other bytes do nothing jump from
// lead byte to lead byte with it instead of switching on every byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "jobfile/bytes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm {

// One byte at a time: the plain form, for builds without vector compares
// and as the measure the vector form is tested against.
template <class... B>
uint32_t FindAnyPlain(const Bytes& job, uint32_t i, B... set) noexcept {
    for (; i < job.size; ++i) {
        const uint8_t b = job[i];
        if (((b == static_cast<uint8_t>(set)) || ...)) return i;
    }
    return job.size;
}

// Index of the first byte at or after i that is one of `set`, or job.size
// when none. Reads only bytes inside the data.
template <class... B>
uint32_t FindAny(const Bytes& job, uint32_t i, B... set) noexcept {
#if defined(__SSE2__)
    if (i >= job.size) return job.size;
    const __m128i lead[] = {_mm_set1_epi8(static_cast<char>(set))...};
    while (job.size - i >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(job.data + i));
        __m128i hit = _mm_setzero_si128();
        for (const __m128i& l : lead) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, l));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) return i + static_cast<uint32_t>(__builtin_ctz(mask));
        i += 16;
    }
#endif
    return FindAnyPlain(job, i, set...);
}

// Lead bytes where most of them only start something when a certain byte
// follows: `alone` starts something by itself, a pair's `first` only when
// the next byte is one of its `next`. Skipping the other places
// of such letters lets a scan pass over text and binary data where they are
// common.
struct LeadPair {
    uint8_t first;
    uint8_t count;  // of `next`
    uint8_t next[4];
};

// Pair('*', "HXOE"); every byte of the literal counts, a NUL too ("\0").
template <size_t N>
constexpr LeadPair Pair(uint8_t first, const char (&next)[N]) {
    static_assert(N >= 2 && N <= 5, "one to four next bytes");
    LeadPair p{first, static_cast<uint8_t>(N - 1), {}};
    for (size_t k = 0; k + 1 < N; ++k) p.next[k] = static_cast<uint8_t>(next[k]);
    return p;
}

template <size_t A, size_t P>
struct LeadSet {
    std::array<uint8_t, A> alone;
    std::array<LeadPair, P> pairs;
};

template <size_t A, size_t P>
uint32_t FindLeadPlain(const Bytes& job, uint32_t i, const LeadSet<A, P>& set) noexcept {
    for (; i < job.size; ++i) {
        const uint8_t b = job[i];
        for (uint8_t a : set.alone)
            if (b == a) return i;
        if (!job.has(i + 1)) continue;
        for (const LeadPair& p : set.pairs) {
            if (b != p.first) continue;
            for (int k = 0; k < p.count; ++k)
                if (job[i + 1] == p.next[k]) return i;
        }
    }
    return job.size;
}

// Index of the first byte at or after i that is in set.alone, or that is a
// pair's first byte with one of its next bytes after it; job.size when none.
template <size_t A, size_t P>
uint32_t FindLead(const Bytes& job, uint32_t i, const LeadSet<A, P>& set) noexcept {
#if defined(__SSE2__)
    if (i >= job.size) return job.size;
    while (job.size - i >= 17) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(job.data + i));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(job.data + i + 1));
        __m128i hit = _mm_setzero_si128();
        // Unrolled, so that the compares take their bytes as constants.
#pragma GCC unroll 16
        for (uint8_t a : set.alone) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(a))));
#pragma GCC unroll 16
        for (const LeadPair& p : set.pairs) {
            __m128i next = _mm_setzero_si128();
#pragma GCC unroll 4
            for (int k = 0; k < p.count; ++k)
                next = _mm_or_si128(next, _mm_cmpeq_epi8(w, _mm_set1_epi8(static_cast<char>(p.next[k]))));
            const __m128i first = _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(p.first)));
            hit = _mm_or_si128(hit, _mm_and_si128(first, next));
        }
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) return i + static_cast<uint32_t>(__builtin_ctz(mask));
        i += 16;
    }
#endif
    return FindLeadPlain(job, i, set);
}

// Index of the first place at or after i where a, b and c follow each other
// inside the data, or job.size when there is none. For three-byte openings
// whose first byte is common (an ESC before every raster row).
inline uint32_t FindTriplePlain(const Bytes& job, uint32_t i, uint8_t a, uint8_t b, uint8_t c) noexcept {
    for (; job.has(i, 3); ++i) {
        if (job[i] == a && job[i + 1] == b && job[i + 2] == c) return i;
    }
    return job.size;
}

inline uint32_t FindTriple(const Bytes& job, uint32_t i, uint8_t a, uint8_t b, uint8_t c) noexcept {
#if defined(__SSE2__)
    if (i >= job.size) return job.size;
    const __m128i la = _mm_set1_epi8(static_cast<char>(a));
    const __m128i lb = _mm_set1_epi8(static_cast<char>(b));
    const __m128i lc = _mm_set1_epi8(static_cast<char>(c));
    while (job.size - i >= 18) {
        const uint8_t* p = job.data + i;
        const __m128i va = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), la);
        const __m128i vb = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1)), lb);
        const __m128i vc = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2)), lc);
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_and_si128(va, vb), vc)));
        if (mask != 0) return i + static_cast<uint32_t>(__builtin_ctz(mask));
        i += 16;
    }
#endif
    return FindTriplePlain(job, i, a, b, c);
}

}  // namespace qm
