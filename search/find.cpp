#include "find.h"

#include "axislookup.h"
#include "controlerror.h"
#include "linestore.h"
#include "notation.h"
#include "numbers.h"

#include <algorithm>

namespace search {

namespace {

// How many lines pass between two calls of the progress callback.
constexpr qint64 kProgressEvery = 4096;

// Records read from the store at once: about 256 KiB of the usual record length.
constexpr qint64 kRecordsAtOnce = 512;

// Leaves the walk over the store's records early.
struct Leave
{
};

// Hands lines range.first ... range.last to `visit(line, text)` in order until it returns false,
// calling `progress` before the first line and every kProgressEvery lines.
template <typename Visit>
SearchEnd walk(tessarc::LineStore &store, const tools::LineRange &range, const SearchProgress &progress,
               const Visit &visit, QString &failure)
{
    if (range.count() <= 0)
        return SearchEnd::Complete;
    bool stopped = false;
    const std::optional<QString> failed = tessarc::failureOf([&] {
        qint64 searched = 0;
        const auto each = [&](tessarc::LineNumber record, QByteArrayView text) {
            const qint64 line = record.value;
            if (progress && searched % kProgressEvery == 0 && !progress(searched)) {
                stopped = true;
                throw Leave();
            }
            ++searched;
            if (!visit(line, text))
                throw Leave();
        };
        // Read a few hundred records at a time, so the lines are still in the processor's cache
        // when they are searched.
        try {
            for (qint64 first = range.first; first <= range.last; first += kRecordsAtOnce)
                store.forEachRecord(tessarc::LineNumber(first), std::min(kRecordsAtOnce, range.last - first + 1), each);
        } catch (const Leave &) {
            // stopped says whether the caller asked for it
        }
    });
    if (failed) {
        failure = *failed;
        return SearchEnd::Failed;
    }
    return stopped ? SearchEnd::Stopped : SearchEnd::Complete;
}

} // namespace

std::optional<QString> checkFindFields(FindKind kind, const FindFields &fields, const QString &textNull)
{
    if (kind == FindKind::Text) {
        if (fields.find.isEmpty())
            return textNull;
        return std::nullopt;
    }
    if (functions::reducedAxis(fields.axis).isEmpty() || fields.value.isEmpty())
        return textNull;
    return std::nullopt;
}

LineMatcher::LineMatcher(FindKind kind, const FindFields &fields, const tessarc::WordReader &words) : m_kind(kind)
{
    if (kind == FindKind::Text)
        m_text = TextMatcher::forField(fields.find, fields.matchCase);
    else
        m_axis = AxisCondition(fields.axis, fields.comparison, functions::leadingNumber(fields.value), words);
}

std::optional<LineMatch> LineMatcher::match(QByteArrayView line, qsizetype from, bool *expression) const
{
    if (m_kind == FindKind::Text) {
        const qsizetype at = m_text.indexIn(line, from);
        if (at < 0)
            return std::nullopt;
        return LineMatch{at, m_text.size()};
    }
    const AxisResult result = m_axis.test(line);
    if (result.test == AxisTest::Expression && expression)
        *expression = true;
    if (result.test != AxisTest::Holds || result.word.letterPos < from)
        return std::nullopt;
    const tessarc::Word &word = result.word;
    return LineMatch{word.letterPos, word.numberStart + word.numberLength - word.letterPos};
}

FindResult findNext(tessarc::LineStore &store, const LineMatcher &matcher, const tools::LineRange &range,
                    qsizetype fromOffset, const SearchProgress &progress)
{
    FindResult result;
    result.end = walk(store, range, progress, [&](qint64 line, QByteArrayView text) {
        const std::optional<LineMatch> match = matcher.match(text, line == range.first ? fromOffset : 0);
        if (!match)
            return true;
        result.hit = SearchHit{line, *match, viewSpan(text, match->at, match->length)};
        return false;
    }, result.failure);
    return result;
}

FindResult findPrevious(tessarc::LineStore &store, const LineMatcher &matcher, const tools::LineRange &range,
                        const SearchProgress &progress)
{
    FindResult result;
    // Blocks of records from the end; within a block the last match is the one kept.
    for (qint64 last = range.last; last >= range.first && !result.hit; last -= kRecordsAtOnce) {
        const tools::LineRange block{std::max(range.first, last - kRecordsAtOnce + 1), last};
        const qint64 searched = range.last - last;
        if (progress && searched % kProgressEvery < kRecordsAtOnce && !progress(searched)) {
            result.end = SearchEnd::Stopped;
            return result;
        }
        result.end = walk(store, block, {}, [&](qint64 line, QByteArrayView text) {
            if (const std::optional<LineMatch> match = matcher.match(text))
                result.hit = SearchHit{line, *match, viewSpan(text, match->at, match->length)};
            return true;
        }, result.failure);
        if (result.end == SearchEnd::Failed)
            return result;
    }
    return result;
}

FindAllResult findAll(tessarc::LineStore &store, const LineMatcher &matcher, const tools::LineRange &range,
                      const SearchProgress &progress)
{
    FindAllResult result;
    // Room for a hit on every line (of the first sixteen million) is claimed at once; the memory a
    // sparse search leaves untouched is never used, and is given back at the end.
    result.lines.reserve(static_cast<size_t>(std::clamp<qint64>(range.count(), 0, qint64(1) << 24)));
    result.end = walk(store, range, progress, [&](qint64 line, QByteArrayView text) {
        bool expression = false;
        if (matcher.match(text, 0, &expression))
            result.lines.push_back(line);
        result.expressions += expression ? 1 : 0;
        return true;
    }, result.failure);
    if (result.lines.size() < result.lines.capacity() / 2)
        result.lines.shrink_to_fit();
    return result;
}

QString listedText(qint64 listed, qint64 expressions, const QString &letter)
{
    QString out = listed == 0   ? QStringLiteral("no line listed")
                  : listed == 1 ? QStringLiteral("1 line listed")
                                : QStringLiteral("%1 lines listed").arg(listed);
    if (expressions > 0)
        out += (expressions == 1 ? QStringLiteral(", 1 line not compared: ")
                                 : QStringLiteral(", %1 lines not compared: ").arg(expressions)) +
               letter + QStringLiteral(" holds an expression");
    return out;
}

QString findListRow(qint64 line, QByteArrayView text)
{
    return QStringLiteral("Line %1: ").arg(line) + QString::fromLatin1(tessarc::controlToNotation(text));
}

} // namespace search
