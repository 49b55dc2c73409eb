#pragma once

// Looking for bytes in a line sixteen at a time, and reading runs of digits eight at a time. Used
// inside the control and by the libraries built on it; not installed.

#include <QtEndian>
#include <QtGlobal>

#include <array>
#include <cstddef>
#include <cstring>

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

// Runs of digits read eight bytes at once, as a word whose low byte is the first.
namespace digits {

constexpr quint64 kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;

Q_ALWAYS_INLINE quint64 eightBytes(const char *p)
{
    quint64 w;
    std::memcpy(&w, p, 8);
    return qFromLittleEndian(w);
}

// The eight bytes from data[at] with those at or after `limit` zero: at < limit, and at least
// eight bytes of the line stand before `limit` (the bytes read never leave them).
Q_ALWAYS_INLINE quint64 bytesBefore(const char *data, qsizetype at, qsizetype limit)
{
    if (limit - at >= 8)
        return eightBytes(data + at);
    return eightBytes(data + limit - 8) >> (8 * (8 - (limit - at)));
}

// How many digits open the word's bytes (8 when all do).
Q_ALWAYS_INLINE int digitCount(quint64 w)
{
    const quint64 low = w & ~kHigh;
    const quint64 fromZero = (low + (0x80 - '0') * kOnes) & kHigh;
    const quint64 pastNine = (low + (0x80 - '9' - 1) * kOnes) & kHigh;
    const quint64 notDigit = ~(fromZero & ~pastNine & ~w) & kHigh;
    return notDigit ? qCountTrailingZeroBits(notDigit) / 8 : 8;
}

// The value of the first `count` (1 to 8) digits.
Q_ALWAYS_INLINE quint64 digitValue(quint64 w, int count)
{
    // The digits moved to the top, as leading zeros would stand (what a borrow below a non-digit
    // spoils is moved out), then added up in pairs, fours and eights.
    quint64 v = (w - '0' * kOnes) << (8 * (8 - count));
    v = v * 10 + (v >> 8);
    return (((v & 0x000000ff000000ffull) * (100 + (1000000ull << 32))) + (((v >> 16) & 0x000000ff000000ffull) * (1 + (10000ull << 32)))) >> 32;
}

constexpr quint64 kTens[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// A number of `whole` digits, a point and `decimals` digits after it, each fewer than eight, from
// its two runs' bytes: its digits as one value.
Q_ALWAYS_INLINE quint64 numberDigits(quint64 wholeBytes, int whole, quint64 partBytes, int decimals)
{
    if (whole + decimals == 0)
        return 0;
    if (whole + decimals <= 8) // one run: the part's bytes moved up behind the whole's
        return digitValue((wholeBytes & ((quint64(1) << (8 * whole)) - 1)) | (partBytes << (8 * whole)), whole + decimals);
    return digitValue(wholeBytes, whole) * kTens[decimals] + digitValue(partBytes, decimals);
}

} // namespace digits

} // namespace tessarc
