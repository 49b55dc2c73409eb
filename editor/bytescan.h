#pragma once

// Looking for bytes in a line sixteen at a time. Used inside the control only.

#include <QtGlobal>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessarc {

// The first byte at or after `from` and before `n` that is `a` or `b`; `n` when none is.
inline qsizetype firstOfTwo(const char *data, qsizetype from, qsizetype n, char a, char b)
{
#if defined(__SSE2__)
    const __m128i wantA = _mm_set1_epi8(a);
    const __m128i wantB = _mm_set1_epi8(b);
    const auto hits = [&](qsizetype at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at));
        return unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, wantA), _mm_cmpeq_epi8(bytes, wantB))));
    };
    if (n - from >= 16) {
        for (; from + 16 <= n; from += 16) {
            if (const unsigned mask = hits(from))
                return from + __builtin_ctz(mask);
        }
        // The last bytes in one look that ends at the end, the bytes before `from` dropped.
        if (from < n) {
            const unsigned mask = hits(n - 16) >> (16 - (n - from));
            return mask ? from + __builtin_ctz(mask) : n;
        }
        return n;
    }
#endif
    while (from < n && data[from] != a && data[from] != b)
        ++from;
    return from;
}

} // namespace tessarc
