#include "colorruns.h"

#include "axisvalue.h"

#include <vector>

namespace tessarc {

QList<ColorRun> commentRuns(const QString &line, int commentColor, const QString &startComment,
                            const QString &endComment)
{
    QList<ColorRun> runs;
    if (startComment.isEmpty() || line.isEmpty())
        return runs;
    const qsizetype n = line.size();
    if (endComment.isEmpty()) {
        const qsizetype d = line.indexOf(startComment);
        if (d >= 0)
            runs.append({d, n - d, commentColor});
        return runs;
    }
    qsizetype p = 0;
    for (;;) {
        const qsizetype d = line.indexOf(startComment, p);
        if (d < 0)
            break;
        // The end is looked for from the start delimiter itself, so equal delimiters colour
        // each delimiter character alone.
        const qsizetype f = line.indexOf(endComment, d);
        if (f < 0) {
            runs.append({d, n - d, commentColor});
            break;
        }
        runs.append({d, f - d + 1, commentColor});
        p = f + 1;
    }
    return runs;
}

QList<ColorRun> colorRuns(const QString &line, const ColorSlots &slotTable, const QString &startComment,
                          const QString &endComment)
{
    QList<ColorRun> runs;
    for (int s = 0; s <= 6; ++s) {
        const ColorSlot &slot = slotTable[static_cast<size_t>(s)];
        for (QChar ch : slot.letters) {
            const QString letter(ch);
            qsizetype g = line.indexOf(letter, 0, Qt::CaseInsensitive);
            while (g >= 0) {
                QString axis = letter;
                const AxisValue value = getAxisValue(axis, line.mid(g));
                const auto count = static_cast<qsizetype>(value[1]);
                runs.append({g, count + 1, slot.color});
                g = line.indexOf(letter, g + count + 1, Qt::CaseInsensitive);
            }
        }
    }
    runs.append(commentRuns(line, slotTable[7].color, startComment, endComment));
    return runs;
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
