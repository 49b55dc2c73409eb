#pragma once

#include "words.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

#include <QtGlobal>

// Matching the search windows' fields against program lines, on bytes. Letter case is folded with
// functions::lowerCase(), the one rule every lookup of the program uses.
namespace search {

// The bytes a search or replacement field stands for on a line: its text as Latin-1, with the
// bracketed names of control characters ("(HT)", "(CR)") turned into the characters, as the view
// does with what is typed into it. Nothing when the text holds a character no line can hold.
std::optional<QByteArray> fieldBytes(const QString &text);

// A text to find in lines, prepared once: exactly, or with letter case ignored.
class TextMatcher
{
public:
    // Matches nothing.
    TextMatcher() = default;
    TextMatcher(QByteArrayView text, bool matchCase);
    // A field's text (see fieldBytes); one that no line can hold matches nothing.
    static TextMatcher forField(const QString &text, bool matchCase);

    // Where the first occurrence at or after `from` starts, or -1. An empty text occurs nowhere.
    qsizetype indexIn(QByteArrayView line, qsizetype from = 0) const;
    qsizetype size() const { return m_text.size(); }
    bool isEmpty() const { return m_text.isEmpty(); }

private:
    QByteArray m_text; // folded to lower case when case is ignored
    bool m_matchCase = true;
    // The bytes a match can start with: the first byte, or with case ignored every byte that folds
    // to it (a letter's two cases).
    char m_starts[2] = {0, 0};
    int m_startCount = 0;
    // The two starts differ only in the 0x20 bit (the two cases of a letter, ASCII or Latin-1):
    // both are found at once, eight bytes at a time, as the byte with that bit set.
    bool m_startsFold = false;
    const uchar *m_lower = nullptr; // the case-folding table
};

// The comparison of an axis condition: the option buttons g, l, e and n.
enum class Comparison { Greater, Less, Equal, NotEqual };

// What an axis condition makes of a line.
enum class AxisTest {
    Fails,      // the line holds no word of the letter, or its value does not compare
    Holds,      // the first word of the letter compares
    Expression, // the letter's first word holds an expression or a parameter: nothing to compare
};

struct AxisResult
{
    AxisTest test = AxisTest::Fails;
    tessarc::Word word; // for Holds: the word compared; for Expression only letterPos is set
};

// "Find where the X axis is greater than 10": a line is a candidate when the axis field's text
// occurs in it (case ignored); for a candidate, the number of the letter's first word (read by the
// program's reader of words: never inside a comment, a parameter name, an expression or another
// word) is compared with the condition's number. A line with no word of the letter never holds.
class AxisCondition
{
public:
    // Holds for no line.
    AxisCondition() = default;
    // `axis` as typed in txtAxis, `number` the reading of txtValue, `words` the program's reader.
    // An axis that names no address letter holds for no line.
    AxisCondition(const QString &axis, Comparison comparison, double number, const tessarc::WordReader &words);

    AxisResult test(QByteArrayView line) const;

private:
    TextMatcher m_candidate;
    char m_letter = 0;         // upper case; 0 holds nowhere
    bool m_letterOnly = false; // the axis text is the letter alone: the reader is the only test
    Comparison m_comparison = Comparison::Greater;
    double m_number = 0.0;
    tessarc::WordReader m_words;
};

// A stretch of a line as the view selects it: the view shows every control character by its
// bracketed name, so offsets and lengths count those names in full.
struct ViewSpan
{
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const ViewSpan &) const = default;
};

// The view's span of the `length` bytes at `at` in `line`.
ViewSpan viewSpan(QByteArrayView line, qsizetype at, qsizetype length);

} // namespace search
