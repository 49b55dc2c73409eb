#include "corpus.h"
#include "filter.h"
#include "format.h"
#include "history.h"
#include "linestore.h"
#include "linework.h"
#include "mirror.h"
#include "program.h"
#include "spaces.h"
#include "testenv.h"
#include "words.h"

#include <QScopeGuard>

#include <algorithm>
#include <functional>

using tools::LineFault;

namespace {

using LineWork = std::function<LineFault(QByteArrayView, QByteArray &)>;

// The texts of a line that no tool may change: its comments, parameter names and expressions.
QByteArrayList untouchable(const tessarc::WordReader &reader, const QByteArray &line)
{
    QByteArrayList texts;
    for (const tessarc::SkipSpan &span : reader.skipSpans(line))
        texts.append(line.mid(span.start, span.length));
    return texts;
}

// The works of one row of the table below, in order.
QList<LineWork> toolChain(const QString &tool, const tools::LineRules &rules)
{
    using tools::Operation;
    if (tool.startsWith(QLatin1String("Operations")))
        return {tools::OperationsWork({Operation::Add, QStringLiteral("X"), QStringLiteral("1")}, rules),
                tools::OperationsWork({Operation::Add, QStringLiteral("Z"), QStringLiteral("1")}, rules)};
    if (tool.startsWith(QLatin1String("Mirror")))
        return {tools::MirrorWork({QStringLiteral("X"), QStringLiteral("0"), true, true}, rules)};
    if (tool.startsWith(QLatin1String("Format")))
        return {tools::FormatWork({QStringLiteral("X")}, rules)};
    if (tool.startsWith(QLatin1String("Remove spaces")))
        return {tools::SpaceWork({false}, rules), tools::SpaceWork({true}, rules)};
    return {tools::FilterWork({QStringLiteral("X"), QStringLiteral("0.5")}, rules)};
}

// A line through the works in order; `stopped` when one of them stops a run there.
QByteArray applyChain(QList<LineWork> &works, QByteArray line, bool &stopped)
{
    for (LineWork &work : works) {
        QByteArray out;
        stopped = stopped || tools::stopsRun(work(line, out));
        line = out;
    }
    return line;
}

} // namespace

// The tools on every real program of the collection: what they change are words, never a byte of a
// comment, a parameter's name or an expression.
class TestCorpus : public QObject
{
    Q_OBJECT

private slots:
    void wordsOnly_data()
    {
        QTest::addColumn<QString>("tool");
        for (const char *tool : {"Operations X + 1, then Z + 1", "Mirror X at 0", "Format X", "Filter X 0.5", "Remove spaces, then Add spaces"})
            QTest::newRow(tool) << QString::fromLatin1(tool);
    }

    // And the same works over the program's store, each block written while the next is worked on
    // and the change kept for Undo, give the bytes of the line-by-line work; Undo brings it back.
    void wordsOnly()
    {
        QFETCH(QString, tool);
        const QStringList programs = corpusPrograms();
        if (programs.isEmpty())
            QSKIP("the program collection is not here");
        tools::LineRules rules;
        rules.spaces = false;
        const tessarc::WordReader reader(rules.comments, rules.spaces);
        const auto restore = qScopeGuard([was = tessarc::LineStore::writesBehind()] { tessarc::LineStore::setWritesBehind(was); });
        tessarc::LineStore::setWritesBehind(true);
        qint64 changed = 0;
        for (const QString &path : programs) {
            QList<LineWork> works = toolChain(tool, rules);
            const QList<QByteArray> lines = programLines(path);
            QList<QByteArray> expected;
            qsizetype longest = 1;
            for (qsizetype n = 0; n < lines.size(); ++n) {
                bool stopped = false;
                const QByteArray line = applyChain(works, lines[n], stopped);
                QVERIFY2(!stopped, qPrintable(QStringLiteral("%1:%2").arg(path).arg(n + 1)));
                changed += line != lines[n];
                QVERIFY2(untouchable(reader, line) == untouchable(reader, lines[n]),
                         qPrintable(QStringLiteral("%1:%2: %3 -> %4")
                                        .arg(path)
                                        .arg(n + 1)
                                        .arg(QString::fromLatin1(lines[n]), QString::fromLatin1(line))));
                expected.append(line);
                longest = std::max({longest, lines[n].size(), line.size()});
            }
            tessarc::Program program;
            program.recordLength = static_cast<int>(longest + 2);
            program.store = testEnvironment().path(QStringLiteral("0.qen.tmp"));
            program.scratch = testEnvironment().path(QStringLiteral("0.2.qen.tmp"));
            program.load(path, {});
            QCOMPARE(program.readLines(tessarc::LineNumber(1), program.lineCount()), lines);
            works = toolChain(tool, rules);
            {
                tessarc::ChangeRecord change(program, tool, tessarc::LineNumber(1));
                tessarc::LineStore store;
                store.open(program.store, program.recordLength, false);
                store.rewriteRecords(
                    tessarc::LineNumber(1), program.lineCount(),
                    [&](tessarc::LineNumber, QByteArrayView text, QByteArray &out) {
                        bool stopped = false;
                        out = applyChain(works, text.toByteArray(), stopped);
                        return !stopped;
                    },
                    change.journal(), 16 * 1024);
                store.close();
                change.finish();
            }
            QVERIFY2(program.readLines(tessarc::LineNumber(1), program.lineCount()) == expected, qPrintable(path));
            program.history().undo();
            QVERIFY2(program.readLines(tessarc::LineNumber(1), program.lineCount()) == lines, qPrintable(path));
            program.removeStores();
        }
        QVERIFY(changed > 1000); // the tools did work on the collection
    }
};

VORNEXA_TEST_MAIN(TestCorpus)
#include "tst_tools_corpus.moc"
