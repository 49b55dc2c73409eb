#include "colorizer.h"

namespace tessarc {

Colorizer::Colorizer(QTextDocument *document, const ColorSlots &slotTable, const QString &startComment,
                     const QString &endComment, const QString &lineComment)
    : QSyntaxHighlighter(document), m_slots(slotTable), m_start(startComment), m_end(endComment), m_line(lineComment)
{
}

void Colorizer::highlightBlock(const QString &text)
{
    if (!m_active)
        return;
    const CommentRule rule{m_start, m_end, m_line};
    for (const ColorRun &run : flattenRuns(colorRuns(text, m_slots, rule), text.size())) {
        QTextCharFormat format;
        format.setForeground(toQColor(run.color));
        setFormat(static_cast<int>(run.start), static_cast<int>(run.length), format);
    }
}

} // namespace tessarc
