#pragma once

#include "colorruns.h"
#include "tessarc_export.h"

#include <QSyntaxHighlighter>

namespace tessarc {

// Colours the page's words by letter and its comments, as the view lays each line out. Colouring
// is never an edit of the text: nothing to undo, no change signal, nothing to write back. The
// slots and delimiters are read where their owner keeps them, at the moment a line is coloured.
class TESSARC_EXPORT Colorizer : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    Colorizer(QTextDocument *document, const ColorSlots &slotTable, const QString &startComment,
              const QString &endComment, const QString &lineComment);

protected:
    void highlightBlock(const QString &text) override;

private:
    const ColorSlots &m_slots;
    const QString &m_start;
    const QString &m_end;
    const QString &m_line;
};

} // namespace tessarc
