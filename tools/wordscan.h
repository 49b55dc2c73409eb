#pragma once

#include "linerewrite.h"
#include "numberwriter.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The pieces every prepared per-line work is made of: finding a tool's letter on a line, reading
// the number after it and writing a new number in its place, all without allocating per line.
// They read a line exactly as functions::findAxisValue does.
namespace tools {

// A tool's letter, prepared once: the reduced axis folded to lower case.
class LetterMatch
{
public:
    explicit LetterMatch(const QString &axis);
    // Where the letter first occurs in `line` (case ignored), or -1. A letter that is empty or
    // outside Latin-1 is found nowhere.
    qsizetype find(QByteArrayView line) const;

private:
    int m_letter = -1;
    // The bytes that are the letter in either case: usually two, one for a letter without a case
    // partner in Latin-1; more only for a letter the table folds from elsewhere.
    int m_count = 0;
    char m_bytes[2] = {};
};

// An address word on a line: the letter, the number text after it and that number's value.
struct Word
{
    qsizetype letter = -1; // where the letter stands
    qsizetype end = 0;     // the first byte after the number text
    double value = 0.0;    // the reading of the number text, spaces left out; 0 when it has no digit
    bool digits = false;   // whether the number text holds a digit
    qsizetype length() const { return end - letter - 1; }
};

// Where the number text that begins at `from` ends: the first byte from there on that is not a
// sign, a point or a digit (or a space, when `spaces` is on).
qsizetype numberEnd(QByteArrayView line, qsizetype from, bool spaces);

// The word whose letter stands at `letterAt`: the number characters after it (the signs, the point
// and the digits, and the space when `spaces` is on) and their reading by functions::leadingNumber.
Word readWord(QByteArrayView line, qsizetype letterAt, bool spaces);

// Writes `line` into `out` (emptied first) with the word's number text replaced by `value` written
// with `writer`: the line up to and including the letter, the value, then the rest after the old
// number. A value that is not finite gives NotFinite, a line longer than `maxLength` TooLong; on a
// fault `out` holds the line as it was.
LineFault writeWord(QByteArrayView line, const Word &word, double value, const NumberWriter &writer,
                    qsizetype maxLength, QByteArray &out);

// `out` emptied and given the bytes of `text`.
void copyLine(QByteArrayView text, QByteArray &out);

} // namespace tools
