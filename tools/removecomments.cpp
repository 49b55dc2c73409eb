#include "removecomments.h"

namespace tools {

CommentCommands::CommentCommands(const QString &list)
{
    for (const QString &entry : list.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        m_entries.append(entry.toLatin1().toUpper());
}

bool CommentCommands::holds(QByteArrayView comment, qsizetype openLength) const
{
    qsizetype at = openLength;
    while (at < comment.size() && comment[at] == ' ')
        ++at;
    const QByteArrayView text = comment.sliced(at);
    for (const QByteArray &entry : m_entries) {
        if (text.size() < entry.size())
            continue;
        qsizetype i = 0;
        while (i < entry.size() && (text[i] >= 'a' && text[i] <= 'z' ? text[i] - 32 : text[i]) == entry[i])
            ++i;
        if (i == entry.size())
            return true;
    }
    return false;
}

RemoveCommentsWork::RemoveCommentsWork(const tessarc::CommentRule &rule, const CommentCommands &commands)
    : m_scanner(rule), m_commands(commands), m_open(rule.startComment.toLatin1())
{
}

LineFault RemoveCommentsWork::operator()(QByteArrayView line, QByteArray &out) const
{
    out.resize(0);
    if (m_commands.isEmpty() || m_open.isEmpty()) {
        m_scanner.appendStripped(line, out);
        return LineFault::None;
    }
    qsizetype kept = 0;
    qsizetype from = 0;
    tessarc::CommentSpan span;
    while (m_scanner.next(line, from, span)) {
        const QByteArrayView comment = line.sliced(span.start, span.length);
        // Only a delimited comment can be a command; a line comment is always taken out.
        if (comment.startsWith(m_open) && m_commands.holds(comment, m_open.size())) {
            ++m_kept;
            continue;
        }
        out.append(line.data() + kept, span.start - kept);
        kept = span.start + span.length;
    }
    out.append(line.data() + kept, line.size() - kept);
    return LineFault::None;
}

} // namespace tools
