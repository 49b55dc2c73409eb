#include "copylines.h"

#include <algorithm>
#include <cstdint>

#include <sys/mman.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tools {

namespace {

// A text of millions of lines fills tens of megabytes freshly taken from the system: asked for in
// large pages, it is handed over a few faults at a time rather than one fault every 4 kB.
void preferLargePages(void *data, qsizetype bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kLarge = std::uintptr_t(2) << 20;
    const auto from = (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(data) + static_cast<std::uintptr_t>(bytes)) & ~(kLarge - 1);
    if (to > from)
        ::madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE); // only advice: failing changes nothing
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
}

} // namespace

void CopyLinesText::widen(const char *from, qsizetype n, char16_t *to)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + i), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + i + 8), _mm_unpackhi_epi8(bytes, zero));
    }
#endif
    for (; i < n; ++i)
        to[i] = static_cast<uchar>(from[i]);
}

void CopyLinesText::grow(qsizetype need)
{
    qsizetype size = m_used + need + 4096;
    if (m_added >= 64 && m_lines > m_added) {
        // The lines so far tell how long the whole text will be, give or take a little.
        const double perLine = static_cast<double>(m_used) / static_cast<double>(m_added);
        size = std::max(size, static_cast<qsizetype>(perLine * 1.05 * static_cast<double>(m_lines)));
    } else {
        size = std::max(size, 2 * m_text.size());
    }
    m_text.resize(size);
    preferLargePages(m_text.data(), size * qsizetype(sizeof(QChar)));
}

} // namespace tools
