#include "commentrule.h"

namespace tessarc {

namespace {

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
    const qsizetype n = line.size();
    const qsizetype open = m_hasStart ? line.indexOf(m_start, from) : -1;
    const qsizetype lineOpen = m_hasLine ? line.indexOf(m_line, from) : -1;
    // A line comment counts unless a delimited comment opens before it (or at the same place)
    // and so holds its text.
    if (lineOpen >= 0 && (open < 0 || lineOpen < open)) {
        span = {lineOpen, n - lineOpen};
        from = n;
        return true;
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
