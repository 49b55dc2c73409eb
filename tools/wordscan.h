#pragma once

#include "linerewrite.h"
#include "numberwriter.h"
#include "words.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <initializer_list>

// The pieces every prepared per-line work is made of: finding a tool's word on a line with the
// program's reader of words and writing a new number in its place, without allocating per line.
namespace tools {

// A tool's letter, prepared once, and the reader that finds its words.
class WordFinder
{
public:
    WordFinder(const QString &axis, const LineRules &rules);

    // The address letter, upper case; 0 when the field holds none (nothing is then found).
    char letter() const { return m_letter; }
    const tessarc::WordReader &reader() const { return m_reader; }

    // The first word of the letter, or the expression that stands in its place.
    tessarc::FoundWord find(QByteArrayView line) const;

private:
    char m_letter = 0;
    tessarc::WordReader m_reader;
};

// The upper-case address letter a tool's letter field names, or 0 when it names none.
char wordLetter(const QString &axis);

// The address letters the fields name, each once and in order, for a run's note: "X", "Z or X".
QString letterNames(std::initializer_list<QString> axes);

// Writes `line` into `out` (emptied first) with the word's number text replaced by `value` written
// with `writer`: the line up to the number, the value, then the rest after the old number (the
// spaces that followed it included). A value that is not finite gives NotFinite, a line longer
// than `maxLength` TooLong; on a fault `out` holds the line as it was.
LineFault writeWord(QByteArrayView line, const tessarc::Word &word, double value, const NumberWriter &writer,
                    qsizetype maxLength, QByteArray &out);

// `out` emptied and given the bytes of `text`.
void copyLine(QByteArrayView text, QByteArray &out);

} // namespace tools
