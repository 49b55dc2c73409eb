#include "commentrule.h"

#include "bytescan.h"

#include <cstring>

namespace tessarc {

namespace {

// Whether `text` stands in `line` at `at`.
bool standsAt(QByteArrayView line, qsizetype at, const QByteArray &text)
{
    return line.size() - at >= text.size() && std::memcmp(line.data() + at, text.constData(), size_t(text.size())) == 0;
}

// The bytes of a text as a line holds them; false when it holds a character outside Latin-1,
// which no line can hold.
bool toLatin1(const QString &text, QByteArray &bytes)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    bytes = text.toLatin1();
    return true;
}

} // namespace

CommentScanner::CommentScanner(const CommentRule &rule, Reading reading) : m_reading(reading)
{
    m_hasStart = toLatin1(rule.startComment, m_start) && !m_start.isEmpty();
    m_endFound = toLatin1(rule.endComment, m_end) && !m_end.isEmpty();
    m_hasLine = toLatin1(rule.lineComment, m_line) && !m_line.isEmpty();
}

bool CommentScanner::next(QByteArrayView line, qsizetype &from, CommentSpan &span) const
{
    if (!any())
        return false;
    const qsizetype n = line.size();
    // The first place either opening text stands. A delimited comment that opens at the same place
    // as a line comment holds its text, so it is tried first.
    const char a = m_hasStart ? m_start[0] : m_line[0];
    const char b = m_hasLine ? m_line[0] : a;
    qsizetype open = -1;
    for (qsizetype p = from; open < 0 && (p = firstOfTwo(line.data(), p, n, a, b)) < n; ++p) {
        if (m_hasStart && standsAt(line, p, m_start))
            open = p;
        else if (m_hasLine && standsAt(line, p, m_line)) {
            span = {p, n - p};
            from = n;
            return true;
        }
    }
    if (open < 0)
        return false;
    const qsizetype close = !m_endFound ? -1
        : line.indexOf(m_end, m_reading == Reading::Whole ? open + m_start.size() : open);
    if (close < 0) {
        span = {open, n - open};
        from = n;
        return true;
    }
    const qsizetype after = m_reading == Reading::Whole ? close + m_end.size() : close + 1;
    span = {open, after - open};
    from = after;
    return true;
}

QList<CommentSpan> CommentScanner::spans(QByteArrayView line) const
{
    QList<CommentSpan> found;
    qsizetype from = 0;
    CommentSpan span;
    while (next(line, from, span))
        found.append(span);
    return found;
}

void CommentScanner::appendStripped(QByteArrayView line, QByteArray &out) const
{
    qsizetype kept = 0;
    qsizetype from = 0;
    CommentSpan span;
    while (next(line, from, span)) {
        out.append(line.data() + kept, span.start - kept);
        kept = span.start + span.length;
    }
    out.append(line.data() + kept, line.size() - kept);
}

} // namespace tessarc
