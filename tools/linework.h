#pragma once

#include "linerewrite.h"
#include "numberwriter.h"
#include "wordscan.h"
#include "operations.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The per-line work of a run, prepared once before the first line: the letter, the constant and
// the output picture are read once, and each line is rewritten into a buffer the run keeps, so a
// run over millions of lines allocates nothing per line. The results are exactly those of the
// tools' rewriteLine functions.
namespace tools {

// One line of an Operations run, as tools::rewriteLine(OperationsSettings, ...) gives it.
class OperationsWork
{
public:
    OperationsWork(const OperationsSettings &settings, const LineRules &rules);
    // Writes the new line into `out` (emptied first); a fault leaves `out` holding the line as it was.
    LineFault operator()(QByteArrayView line, QByteArray &out) const;

private:
    Operation m_operation;
    LineRules m_rules;
    NumberWriter m_writer;
    double m_constant = 0.0;
    WordFinder m_letter;
};

} // namespace tools
