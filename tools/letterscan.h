#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <array>

// The number after a letter at a given place, read fast enough for a pass over millions of lines.
namespace tools {

// The number after an address letter.
struct WordNumber
{
    double value = 0.0;   // the number; 0 when the letter is followed by no number
    qsizetype length = 0; // characters the number occupies after the letter, spaces included
};

// The number after the letter at `letterAt`: the signs, points and digits that follow it (and the
// spaces, when `spaces` is on) read as functions::leadingNumber reads them once the spaces are
// left out.
WordNumber numberAfter(QByteArrayView line, qsizetype letterAt, bool spaces);

// A number text as one walk reads it: the digits read as a whole number with the count of them
// after the point, so its value is one exact division away, taken only when it is needed.
struct NumberText
{
    qsizetype length = 0;  // characters after the letter, spaces included
    long long whole = 0;   // the digits read, at most 15 of them
    int decimals = 0;      // how many of those stand after the point
    bool negative = false;
    bool digits = false;   // whether the text holds a digit at all ("X", "X-" and "X." hold none)
    bool quick = true;     // false for a number of more than 15 digits: `slow` holds its value
    double slow = 0.0;

    // The exact value, as functions::leadingNumber reads the text.
    double value() const;
};

// Reads the number text after the letter at `letterAt`.
NumberText readNumberText(QByteArrayView line, qsizetype letterAt, bool spaces);

} // namespace tools
