#pragma once

// How many bytes two texts share at their start and at their end: what a change of a record
// kept for Undo need not hold. Used inside the control only.

#include <QByteArrayView>

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessarc {

// Where the 16 bytes at `a` and at `b` differ: bit i for byte i.
inline unsigned differing16(const char *a, const char *b)
{
#if defined(__SSE2__)
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b));
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) & 0xffffu;
#else
    unsigned bits = 0;
    for (int i = 0; i < 16; ++i)
        bits |= unsigned(a[i] != b[i]) << i;
    return bits;
#endif
}

// How many bytes `a` and `b` share at their start; compared sixteen at a time, the last sixteen
// of the shorter overlapping bytes already known to be shared.
inline qsizetype sharedStart(QByteArrayView a, QByteArrayView b)
{
    const qsizetype shorter = std::min(a.size(), b.size());
    if (shorter < 16) {
        qsizetype n = 0;
        while (n < shorter && a[n] == b[n])
            ++n;
        return n;
    }
    for (qsizetype n = 0; n + 16 <= shorter; n += 16) {
        if (const unsigned d = differing16(a.data() + n, b.data() + n))
            return n + std::countr_zero(d);
    }
    const qsizetype last = shorter - 16;
    const unsigned d = differing16(a.data() + last, b.data() + last);
    return d ? last + std::countr_zero(d) : shorter;
}

// How many bytes `a` and `b` share at their end, found the same way from the end.
inline qsizetype sharedEnd(QByteArrayView a, QByteArrayView b)
{
    const qsizetype shorter = std::min(a.size(), b.size());
    const char *ea = a.data() + a.size();
    const char *eb = b.data() + b.size();
    if (shorter < 16) {
        qsizetype n = 0;
        while (n < shorter && ea[-n - 1] == eb[-n - 1])
            ++n;
        return n;
    }
    // In a window of sixteen bytes ending `n` bytes before the end, the shared ones are those
    // after its last difference.
    for (qsizetype n = 0; n + 16 <= shorter; n += 16) {
        if (const unsigned d = differing16(ea - n - 16, eb - n - 16))
            return n + 15 - (std::bit_width(d) - 1);
    }
    const unsigned d = differing16(ea - shorter, eb - shorter);
    return d ? shorter - std::bit_width(d) : shorter;
}

} // namespace tessarc
