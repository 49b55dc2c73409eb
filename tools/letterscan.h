#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <array>

// Reading address words on a line fast enough for a pass over millions of lines: the number after
// a letter, and the first occurrence of every letter in one walk along the line. The results are
// exactly those of functions::findAxisValue.
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

// The bytes of a short line told apart, a bit for each byte (bit i for byte i), for walks that
// find a line's words with a few operations on whole masks.
struct LineMasks
{
    // The longest line told apart: every number character after a letter, and the byte after a
    // run of digits, then lie inside the 64 bits.
    static constexpr qsizetype kLongest = 62;
    // Bytes a copy of the line must have readable after it.
    static constexpr qsizetype kSlack = 18;

    quint64 letters = 0; // A to Z, a to z
    quint64 digits = 0;
    quint64 zeros = 0;   // the digit 0
    quint64 points = 0;
    quint64 spaces = 0;  // only when spaces may stand inside numbers: else none
    quint64 signs = 0;   // - and +
    quint64 minus = 0;
    // Spaces that may lead a number on: followed by a number character or by another space.
    quint64 goesOn = 0;

    // `copy` holds the line's `size` (at most kLongest) bytes and kSlack readable bytes after them.
    LineMasks(const char *copy, qsizetype size, bool spacesInNumbers);
};

// Bit i stands for the letter 'A' + i.
constexpr quint32 letterBit(char upperLetter)
{
    return quint32(1) << (upperLetter - 'A');
}
constexpr quint32 kAllLetters = (quint32(1) << 26) - 1;

// The first occurrence of each letter A to Z on one line (case ignored), found in one walk along
// the line rather than one look-up a letter, and the number after it, read when asked for.
class LetterScan
{
public:
    // Reads `line` for the letters whose bits are set in `letters`. A letter followed by no number
    // is found with the value 0, as the lookup finds it. `line` must stay valid while the scan's
    // numbers are read.
    void read(QByteArrayView line, bool spaces, quint32 letters = kAllLetters);

    // The letters found by the last read, a bit each.
    quint32 found() const { return m_found; }
    bool found(int index) const { return (m_found >> index) & 1u; }
    // For a found letter (index 0 for A): where it stands, and the number after it.
    qsizetype position(int index) const { return m_position[static_cast<std::size_t>(index)]; }
    NumberText number(int index) const;

private:
    QByteArrayView m_line;
    bool m_spaces = true;
    quint32 m_found = 0;
    std::array<qsizetype, 26> m_position{};
};

// The smallest and largest value met of one letter: `seen` once a value of it was met.
struct LetterExtent
{
    bool seen = false;
    double min = 0.0;
    double max = 0.0;
};
// Index 0 is A.
using LetterExtents = std::array<LetterExtent, 26>;

// Every letter's extent over the lines given, each line read once for all 26 letters: the first
// occurrence of a letter on a line counts, wherever it stands (a letter with no number counts as
// 0), with exactly the value functions::findAxisValue reads.
//
// Most values lie well inside the extent already met, and their sign and count of whole digits
// show it: a value is read only when it may be a new smallest or largest, and read in full only
// when its whole digits do not settle that.
class ExtentScan
{
public:
    explicit ExtentScan(bool spaces);

    void addLine(QByteArrayView line);
    const LetterExtents &extents() const { return m_extents; }

private:
    void addLongLine(QByteArrayView line);
    void widen(int index, double value);

    bool m_spaces;
    LetterExtents m_extents{};
    // For each letter, the most whole digits a positive value (at 0 to 25) or a negative one (at
    // 26 to 51) may have and still lie inside the extent whatever its digits are; -1 while none may.
    std::array<qint8, 52> m_safe;
    // A copy of a short line, with room for reading it 16 bytes at a time.
    std::array<char, LineMasks::kLongest + LineMasks::kSlack> m_copy{};
    LetterScan m_longLines;
};

} // namespace tools
