#pragma once

#include "commentrule.h"
#include "largepages.h"
#include "program.h"
#include "storeclaim.h"
#include "words.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Two programs compared as programs: line by line, aligned as a diff aligns them, each line read
// as its words so that what does not change the program (N words, spaces, the case of letters, how
// a number is written, within a tolerance, comments when asked) does not count. Free of widgets;
// neither program is held in memory, only a fingerprint of each line.
namespace compare {

struct Rules
{
    bool ignoreN = true;        // N words do not count
    bool ignoreSpaces = true;   // spaces and tabs do not count
    bool ignoreCase = true;     // x1 is X1
    bool byValue = true;        // X1. is X1.000 is X+1
    bool ignoreComments = false;
    double tolerance = 0.0;     // with byValue: values this close are equal
    tessarc::CommentRule comments{QStringLiteral("("), QStringLiteral(")"), QStringLiteral(";")};
    bool operator==(const Rules &o) const = default;

    // Every rule off: lines compare byte for byte.
    static Rules plain();
    bool isPlain() const { return !ignoreN && !ignoreSpaces && !ignoreCase && !byValue && !ignoreComments; }
};

// A run of lines that differ: `aCount` lines of A from `aFirst` stand where `bCount` lines of B
// from `bFirst` stand. Removed: only A has lines there (bFirst is then the line of B they follow,
// 0 before the first); inserted: only B (aFirst the line of A they follow); changed: both.
struct Difference
{
    enum class Kind { Changed, Removed, Inserted };
    Kind kind = Kind::Changed;
    qint64 aFirst = 0;
    qint64 aCount = 0;
    qint64 bFirst = 0;
    qint64 bCount = 0;
    bool operator==(const Difference &o) const = default;
};

// The lines of one program, read front to back (and, for the few lines a difference shows, by
// number). A compare reads a feed from two threads at once.
class LineFeed
{
public:
    virtual ~LineFeed() = default;
    using Visit = std::function<bool(qint64 line, QByteArrayView text)>;
    virtual qint64 lineCount() const = 0;
    // Hands lines first ... first + count - 1 to `visit` in order; false from `visit` stops it.
    virtual void each(qint64 first, qint64 count, const Visit &visit) = 0;
    // Lines first ... first + count - 1.
    virtual QList<QByteArray> lines(qint64 first, qint64 count) = 0;

    // The lines from a first one on, read a stretch at a time at the reader's pace.
    class Reading
    {
    public:
        Reading(LineFeed &feed, qint64 first) : m_feed(feed), m_next(first) {}
        virtual ~Reading() = default;
        // Hands the next `count` lines (fewer at the end) to `visit`; false when `visit` stopped it.
        virtual bool next(qint64 count, const Visit &visit);

    protected:
        LineFeed &m_feed;
        qint64 m_next;
    };
    virtual std::unique_ptr<Reading> reading(qint64 first) { return std::make_unique<Reading>(*this, first); }
};

// The lines of a text held whole (a test's program).
class TextFeed : public LineFeed
{
public:
    explicit TextFeed(QList<QByteArray> lines) : m_lines(std::move(lines)) {}
    qint64 lineCount() const override { return m_lines.size(); }
    void each(qint64 first, qint64 count, const Visit &visit) override;
    QList<QByteArray> lines(qint64 first, qint64 count) override { return m_lines.mid(first - 1, count); }

private:
    QList<QByteArray> m_lines;
};

// The lines of a program's line store. Failures of the store are thrown as tessarc::ControlError.
class ProgramFeed : public LineFeed
{
public:
    explicit ProgramFeed(const tessarc::Program &program) : m_program(program) {}
    qint64 lineCount() const override;
    void each(qint64 first, qint64 count, const Visit &visit) override;
    QList<QByteArray> lines(qint64 first, qint64 count) override;
    // Keeps the store open between stretches.
    std::unique_ptr<Reading> reading(qint64 first) override;

private:
    const tessarc::Program &m_program;
};

struct Result
{
    QList<Difference> differences;
    qint64 aLines = 0;
    qint64 bLines = 0;
    bool cancelled = false;
    // No line of one is in the other (as far as the alignment looked): the whole is one change.
    bool nothingInCommon = false;
    bool identical() const { return differences.isEmpty() && !cancelled; }
};

// Every line's fingerprint (LinePrint's) in A and in B, worked out on two threads that take a part
// of both programs each. A line of B found byte for byte in A near where it stands takes the
// fingerprint of A's line instead of being read again. `progress` as for comparePrograms().
struct Prints
{
    LargeVector<quint64> a;
    LargeVector<quint64> b;
    bool stopped = false;
};
Prints linePrints(LineFeed &a, LineFeed &b, const Rules &rules, const std::function<bool(qint64 done, qint64 total)> &progress = {});

// Compares A with B under `rules`. `progress` is told the lines read (of both) and may stop the
// compare by giving false.
Result comparePrograms(LineFeed &a, LineFeed &b, const Rules &rules,
                       const std::function<bool(qint64 done, qint64 total)> &progress = {});

// The fingerprint of a line: equal for lines the rules take as equal (without a tolerance), and
// with next to no chance equal for others. A line that holds only words and plain text (no
// comment, parameter or expression, no number of more than 15 digits) is read in one pass over its
// bytes; any other goes through its tokens, the way sameLine() reads it. Both readings give the
// same fingerprint for the same line.
class LinePrint
{
public:
    explicit LinePrint(const Rules &rules);
    ~LinePrint();
    LinePrint(const LinePrint &) = delete;
    LinePrint &operator=(const LinePrint &) = delete;

    quint64 operator()(QByteArrayView line);
    // The one-pass reading alone: false, and `print` untouched, for a line it does not read.
    bool quick(QByteArrayView line, quint64 &print) const;
    // The reading by tokens alone.
    quint64 full(QByteArrayView line);

private:
    struct Tables;
    class Full;
    const Rules m_rules;
    std::unique_ptr<const Tables> m_tables; // none when the rules take no one-pass reading
    std::unique_ptr<Full> m_full;
};

// Where two lines taken as changed differ: the spans of each that are words, comments or other
// text the other does not have, under the rules.
struct Span
{
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const Span &o) const = default;
};
struct ChangedWords
{
    QList<Span> a;
    QList<Span> b;
};
ChangedWords changedWords(QByteArrayView a, QByteArrayView b, const Rules &rules);

// Whether two lines are equal under the rules, the tolerance included.
bool sameLine(QByteArrayView a, QByteArrayView b, const Rules &rules);

// "120" or "120-125".
QString linesText(qint64 first, qint64 count);
// The report of `--compare`: a row a difference ("changed A 120 B 118"), each with the texts of its
// lines below it ("    < ...", "    > ...") and the changed words in braces, then a row counting
// the differences. Lines are read from the feeds; `out` is handed each row.
void report(const Result &result, LineFeed &a, LineFeed &b, const Rules &rules, const std::function<void(const QString &row)> &out);
// "3 differences", "1 difference" or "identical".
QString countText(const Result &result);

// What a compare came to, in a sentence: "identical", or how many differences and where the first
// is, naming the two as `a` and `b`.
QString verdict(const Result &result, const QString &a, const QString &b);

// A program file loaded into line stores of its own in the program folder, to be compared; the
// stores go with it.
class LoadedFile
{
public:
    LoadedFile() = default;
    ~LoadedFile();
    LoadedFile(const LoadedFile &) = delete;
    LoadedFile &operator=(const LoadedFile &) = delete;
    // Nothing when loaded, else why not (and no stores are left).
    std::optional<QString> load(const QString &path, int recordLength, const tessarc::ProgressReport &progress = {});
    tessarc::Program &program() { return m_program; }

private:
    tessarc::StoreClaim m_claim; // let go after the stores are gone
    tessarc::Program m_program;
};

} // namespace compare
