#pragma once

#include "linerange.h"
#include "textmatch.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tessarc {
class LineStore;
}

// Find and Find (List): the two searches over the line store, free of widgets. A window gathers
// its fields into FindFields, checks them, builds a LineMatcher and calls findNext or findAll.
namespace search {

// Which of the two buttons: the text search (Go) or the axis search (go2).
enum class FindKind { Text, Axis };

// The search fields of the Find and Find (List) windows as the machinist left them.
struct FindFields
{
    QString find;                               // txtFind
    bool matchCase = false;                     // case1: "Match Case"
    QString axis;                               // txtAxis
    Comparison comparison = Comparison::Greater; // g, l, e, n
    QString value;                              // txtValue
};

// The search's own checks before it runs: nothing when the fields can run, else `textNull`. The
// text search needs txtFind; the axis search needs txtAxis (not blank) and txtValue.
std::optional<QString> checkFindFields(FindKind kind, const FindFields &fields, const QString &textNull);

// Where a line matches: the bytes to select.
struct LineMatch
{
    qsizetype at = 0;
    qsizetype length = 0;
};

// One search's test of a line, prepared once. The text search matches txtFind (case ignored
// unless Match Case); the axis search matches an AxisCondition and covers the letter and its number.
class LineMatcher
{
public:
    // `words`: the program's reader of words, for the axis search.
    LineMatcher(FindKind kind, const FindFields &fields, const tessarc::WordReader &words = tessarc::WordReader());

    // The match in `line` that starts at or after `from`, or nothing. An axis condition is tested
    // once a line, on the first word of its letter; when that word holds an expression there is no
    // match and `expression` (when given) is set.
    std::optional<LineMatch> match(QByteArrayView line, qsizetype from = 0, bool *expression = nullptr) const;

private:
    FindKind m_kind;
    TextMatcher m_text;
    AxisCondition m_axis;
};

// Called now and then during a search with the number of lines searched so far (at least every
// few thousand lines, and once before the first); a search stops when it returns false.
using SearchProgress = std::function<bool(qint64 linesSearched)>;

enum class SearchEnd {
    Complete, // the whole range was searched (findNext: a hit was found, or there is none)
    Stopped,  // the progress callback asked to stop
    Failed,   // the store could not be read; `failure` says why
};

// A hit of findNext: the line, the bytes matched, and the same stretch as the view selects it
// once the line stands at the top of the view (selectText(view.start, view.length)).
struct SearchHit
{
    qint64 line = 0;
    LineMatch match;
    ViewSpan view;
};

struct FindResult
{
    SearchEnd end = SearchEnd::Complete;
    std::optional<SearchHit> hit; // with end Complete: the hit, or nothing when the range holds none
    QString failure;
};

// Searches lines range.first to range.last of `store`, in order, for the first match; in the
// first line only matches at or after byte `fromOffset` count. Never wraps past the range.
FindResult findNext(tessarc::LineStore &store, const LineMatcher &matcher, const tools::LineRange &range,
                    qsizetype fromOffset = 0, const SearchProgress &progress = {});

// Searches the range backwards, from range.last to range.first, for the last line that matches;
// the hit is that line's first match. Progress counts the lines searched from range.last.
FindResult findPrevious(tessarc::LineStore &store, const LineMatcher &matcher, const tools::LineRange &range,
                        const SearchProgress &progress = {});

struct FindAllResult
{
    SearchEnd end = SearchEnd::Complete;
    // The matching lines in order, each once however often it matches; when stopped or failed,
    // those found before. No text is kept: a list reads a line from the store when it shows it.
    std::vector<qint64> lines;
    // Lines the axis search could not compare: the letter's first word holds an expression.
    qint64 expressions = 0;
    QString failure;
};

// Every matching line of the range.
FindAllResult findAll(tessarc::LineStore &store, const LineMatcher &matcher, const tools::LineRange &range,
                      const SearchProgress &progress = {});

// What a Find (List) run listed, for its note: "12 lines listed", and the lines an axis search on
// `letter` could not compare ("3 lines not compared: X holds an expression").
QString listedText(qint64 listed, qint64 expressions, const QString &letter);

// A result row of Find (List): "Line 12: G01 X1.5", the line as the view shows it.
QString findListRow(qint64 line, QByteArrayView text);

} // namespace search
