#pragma once

// Looking for bytes in a line sixteen at a time. Used inside the control only.

#include <QtGlobal>

#include <array>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessarc {

// The first byte at or after `from` and before `n` that is one of `bytes`; `n` when none is.
template <std::size_t N>
inline qsizetype firstOf(const char *data, qsizetype from, qsizetype n, const std::array<char, N> &bytes)
{
#if defined(__SSE2__)
    __m128i wanted[N];
    for (std::size_t k = 0; k < N; ++k)
        wanted[k] = _mm_set1_epi8(bytes[k]);
    const auto hits = [&](qsizetype at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at));
        __m128i any = _mm_cmpeq_epi8(v, wanted[0]);
        for (std::size_t k = 1; k < N; ++k)
            any = _mm_or_si128(any, _mm_cmpeq_epi8(v, wanted[k]));
        return unsigned(_mm_movemask_epi8(any));
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
    for (; from < n; ++from) {
        for (const char c : bytes) {
            if (data[from] == c)
                return from;
        }
    }
    return from;
}

// The first byte at or after `from` and before `n` that is `a` or `b`; `n` when none is.
inline qsizetype firstOfTwo(const char *data, qsizetype from, qsizetype n, char a, char b)
{
    return firstOf<2>(data, from, n, {a, b});
}

} // namespace tessarc
