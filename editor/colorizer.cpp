#include "colorizer.h"

namespace tessarc {

Colorizer::Colorizer(QTextDocument *document, const ColorSlots &slotTable, const QString &startComment,
                     const QString &endComment)
    : QSyntaxHighlighter(document), m_slots(slotTable), m_start(startComment), m_end(endComment)
{
}

void Colorizer::highlightBlock(const QString &text)
{
    for (const ColorRun &run : flattenRuns(colorRuns(text, m_slots, m_start, m_end), text.size())) {
        QTextCharFormat format;
        format.setForeground(toQColor(run.color));
        setFormat(static_cast<int>(run.start), static_cast<int>(run.length), format);
    }
}

} // namespace tessarc
