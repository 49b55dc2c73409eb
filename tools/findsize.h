#pragma once

#include "commentrule.h"
#include "letterscan.h"

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

// How Find Size reads a line: the "Comment Aware" box and the settings the lookup depends on.
struct SizeRules
{
    bool commentAware = false;      // cAware: comments are removed before reading
    bool spaces = true;             // NUMBERS / SPACES
    tessarc::CommentRule comments{QStringLiteral("("), QStringLiteral(")"), QString()}; // the program's comment rule
};

// The lines a Find Size pass reads: each line as it is, or without its comments when comment aware.
// Only lines that hold a comment are copied.
class SizeLineReader
{
public:
    explicit SizeLineReader(const SizeRules &rules);
    // The part of `line` to read; valid until the next call.
    QByteArrayView operator()(QByteArrayView line);

private:
    bool m_commentAware;
    tessarc::CommentScanner m_scanner;
    QByteArray m_stripped;
};

// Every letter's extent over the lines given, each line read once for all 26 letters: the first
// occurrence of a letter on a line counts, wherever it stands (a letter with no number counts as 0).
class SizeScan
{
public:
    explicit SizeScan(const SizeRules &rules) : m_reader(rules), m_scan(rules.spaces) {}

    void addLine(QByteArrayView line);

    // Index 0 is A.
    const LetterExtents &extents() const { return m_scan.extents(); }
    // The rows of the letter list: for each letter seen, A to Z, the letter, two tabs, the largest
    // value, two tabs, the smallest (numbers in their plain text form).
    QStringList rows() const;

private:
    SizeLineReader m_reader;
    ExtentScan m_scan;
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
    SizeLineReader m_reader;
    LetterScan m_scan;
    bool m_spaces;
    QChar m_letter;
    quint32 m_bit = 0;
    std::vector<LetterPosition> m_positions;
};

// The row of the position list for a position of `letter`: "Line 12: X = 1.5".
QString positionRow(QChar letter, const LetterPosition &position);

// A value in its plain text form, as the lists show it: up to 15 significant digits, no picture.
QString plainNumber(double value);

} // namespace tools
