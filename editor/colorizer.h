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

    // Off, the text is left uncoloured (the words of the view with no program are not a program's);
    // on by default. Takes effect as lines are next laid out.
    void setActive(bool active) { m_active = active; }
    bool isActive() const { return m_active; }

protected:
    void highlightBlock(const QString &text) override;

private:
    const ColorSlots &m_slots;
    const QString &m_start;
    const QString &m_end;
    const QString &m_line;
    bool m_active = true;
};

} // namespace tessarc
