#include "colorruns.h"

#include "words.h"

#include <vector>

namespace tessarc {

namespace {

// The view's line as the bytes a program line holds. A character outside Latin-1 (typed, not yet
// stored) becomes a byte that none of the rule's texts holds, so it never takes part in a delimiter.
QByteArray lineBytes(const QString &line, const CommentRule &rule)
{
    QByteArray bytes(line.size(), Qt::Uninitialized);
    char stranger = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char16_t c = line.at(i).unicode();
        if (c <= 0xFF) {
            bytes[i] = static_cast<char>(c);
            continue;
        }
        if (stranger == 0) {
            const QString texts = rule.startComment + rule.endComment + rule.lineComment;
            for (int b = 1; b < 256 && stranger == 0; ++b) {
                if (!texts.contains(QChar(static_cast<char16_t>(b))))
                    stranger = static_cast<char>(b);
            }
        }
        bytes[i] = stranger;
    }
    return bytes;
}

} // namespace

QList<ColorRun> commentRuns(const QString &line, int commentColor, const CommentRule &rule)
{
    QList<ColorRun> runs;
    const CommentScanner scanner(rule, CommentScanner::Reading::AsColoured);
    if (!scanner.any() || line.isEmpty())
        return runs;
    const QByteArray bytes = lineBytes(line, rule);
    qsizetype from = 0;
    CommentSpan span;
    while (scanner.next(bytes, from, span))
        runs.append({span.start, span.length, commentColor});
    return runs;
}

QList<ColorRun> commentRuns(const QString &line, int commentColor, const QString &startComment,
                            const QString &endComment)
{
    return commentRuns(line, commentColor, CommentRule{startComment, endComment, QString()});
}

QList<ColorRun> colorRuns(const QString &line, const ColorSlots &slotTable, const CommentRule &rule)
{
    QList<ColorRun> runs;
    // Each letter's colour: that of the last slot that names it.
    std::array<int, 26> colourOf;
    colourOf.fill(-1);
    bool any = false;
    for (int s = 0; s <= 6; ++s) {
        const ColorSlot &slot = slotTable[static_cast<size_t>(s)];
        for (QChar ch : slot.letters) {
            const char16_t c = ch.toUpper().unicode();
            if (c >= 'A' && c <= 'Z') {
                colourOf[c - 'A'] = slot.color;
                any = true;
            }
        }
    }
    if (any && !line.isEmpty()) {
        const QByteArray bytes = lineBytes(line, rule);
        for (const Word &word : WordReader(rule, true).words(bytes)) {
            const int colour = colourOf[word.letter - 'A'];
            if (colour >= 0)
                runs.append({word.letterPos, word.numberStart + word.numberLength - word.letterPos, colour});
        }
    }
    runs.append(commentRuns(line, slotTable[7].color, rule));
    return runs;
}

QList<ColorRun> colorRuns(const QString &line, const ColorSlots &slotTable, const QString &startComment,
                          const QString &endComment)
{
    return colorRuns(line, slotTable, CommentRule{startComment, endComment, QString()});
}

QList<ColorRun> flattenRuns(const QList<ColorRun> &runs, qsizetype lineLength)
{
    constexpr int kNone = -1;
    std::vector<int> colour(static_cast<size_t>(lineLength), kNone);
    for (const ColorRun &run : runs) {
        const qsizetype end = std::min(lineLength, run.start + run.length);
        for (qsizetype i = std::max<qsizetype>(0, run.start); i < end; ++i)
            colour[static_cast<size_t>(i)] = run.color & 0xffffff;
    }
    QList<ColorRun> flat;
    qsizetype i = 0;
    while (i < lineLength) {
        const int c = colour[static_cast<size_t>(i)];
        qsizetype j = i + 1;
        while (j < lineLength && colour[static_cast<size_t>(j)] == c)
            ++j;
        if (c != kNone)
            flat.append({i, j - i, c});
        i = j;
    }
    return flat;
}

QColor toQColor(int rgb)
{
    return QColor(rgb & 0xff, (rgb >> 8) & 0xff, (rgb >> 16) & 0xff);
}

} // namespace tessarc
