#pragma once

#include "commentrule.h"
#include "words.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <array>
#include <utility>
#include <vector>

// Find Size: the smallest and largest value of every address letter over a range, and every
// position of one letter. Both read the program only; the frame's read-only run hands them the
// range's lines one by one.
namespace tools {

// How Find Size reads a line: the settings the reader of words depends on.
struct SizeRules
{
    bool spaces = true;             // NUMBERS / SPACES
    tessarc::CommentRule comments{QStringLiteral("("), QStringLiteral(")"), QString()}; // the program's comment rule
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
// word of a letter on a line counts.
class SizeScan
{
public:
    explicit SizeScan(const SizeRules &rules) : m_reader(rules.comments, rules.spaces) {}

    void addLine(QByteArrayView line);

    // Index 0 is A.
    const LetterExtents &extents() const { return m_extents; }
    // The rows of the letter list: for each letter seen, A to Z, the letter, two tabs, the largest
    // value, two tabs, the smallest (numbers in their plain text form).
    QStringList rows() const;

private:
    tessarc::WordReader m_reader;
    QList<tessarc::Word> m_words;
    LetterExtents m_extents{};
};

// One position of a letter: the line and the value there.
struct LetterPosition
{
    qint64 line = 0;
    double value = 0.0;
};

// Every position of one letter over the lines given, however many there are.
class PositionScan
{
public:
    // `letter` is the first character of the clicked row; letter case does not matter. A
    // character that is not a letter A to Z finds nothing.
    PositionScan(QChar letter, const SizeRules &rules);

    void addLine(qint64 line, QByteArrayView text);

    // The letter in upper case.
    QChar letter() const { return m_letter; }
    const std::vector<LetterPosition> &positions() const { return m_positions; }
    // The positions found, handed over whole; the scan holds none afterwards.
    std::vector<LetterPosition> takePositions() { return std::move(m_positions); }

private:
    tessarc::WordReader m_reader;
    QChar m_letter;
    char m_byte = 0; // the letter, 0 when it is none
    std::vector<LetterPosition> m_positions;
};

// The row of the position list for a position of `letter`: "Line 12: X = 1.5".
QString positionRow(QChar letter, const LetterPosition &position);

// A value in its plain text form, as the lists show it: up to 15 significant digits, no picture.
QString plainNumber(double value);

} // namespace tools
