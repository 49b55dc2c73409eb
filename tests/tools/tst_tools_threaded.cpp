#include "controlerror.h"
#include "corpus.h"
#include "format.h"
#include "history.h"
#include "linestore.h"
#include "linework.h"
#include "mirror.h"
#include "program.h"
#include "spaces.h"
#include "steptools.h"
#include "testenv.h"
#include "tool.h"

#include <QRandomGenerator>

using tools::LineWork;
using tools::ToolRun;
using Lines = ToolRun::Lines;

namespace {

// The corpus' lines, then lines made at random of words, spaces, comments, parameters and
// expressions: more lines than a second thread waits for.
QList<QByteArray> testLines(bool corpus = true)
{
    QList<QByteArray> lines;
    for (const QString &path : corpus ? corpusPrograms() : QStringList())
        lines += programLines(path);
    QRandomGenerator random(4711);
    const char *const parts[] = {"G1", " ", "X", "-1.5", "Y 2", "(X1 Y2)", "; X9", "#<_x>", "[#1*2]", "Z.25", "  ", "F100", "#3"};
    while (lines.size() < 30000) {
        QByteArray line;
        for (int n = random.bounded(1, 12); n > 0; --n)
            line += parts[random.bounded(int(std::size(parts)))];
        lines.append(line);
    }
    return lines;
}

// A program in stores of its own, loaded from `lines`.
std::unique_ptr<tessarc::Program> loaded(const QString &name, const QList<QByteArray> &lines, int recordLength = 1000)
{
    auto p = std::make_unique<tessarc::Program>();
    p->recordLength = recordLength;
    p->store = testEnvironment().path(name + QStringLiteral(".qen.tmp"));
    p->scratch = testEnvironment().path(name + QStringLiteral(".2.qen.tmp"));
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + "\r\n";
    const QString path = testEnvironment().path(name + QStringLiteral(".nc"));
    writeBytes(path, text);
    p->load(path, {});
    return p;
}

QList<QByteArray> linesOf(const tessarc::Program &p)
{
    return p.readLines(tessarc::LineNumber(1), p.lineCount());
}

// Each line as `work` makes it, one after the other.
QList<QByteArray> plainWork(const LineWork &work, const QList<QByteArray> &lines)
{
    QList<QByteArray> out;
    for (const QByteArray &line : lines) {
        QByteArray rewritten;
        work(line, rewritten);
        out.append(rewritten);
    }
    return out;
}

struct Ran
{
    QString message;
    tools::RunNote note;
};

// One step of the program's history over every line, as `rewrite` makes it.
Ran run(tessarc::Program &p, const std::function<QString(ToolRun &, const tools::LineRange &)> &rewrite)
{
    tools::RunPlace place{p, {}, QString(), QString(), 1};
    tools::RunFeedback feedback;
    Ran ran;
    ToolRun toolRun(place, feedback, ran.note);
    if (const auto failure = tessarc::failureOf([&] {
            tessarc::ChangeRecord change(p, QStringLiteral("Test"), tessarc::LineNumber(1));
            ran.message = rewrite(toolRun, {1, p.lineCount()});
            change.finish();
        }))
        ran.message = *failure;
    return ran;
}

// `work` over every line, on one thread or on two.
Ran run(tessarc::Program &p, const LineWork &work, Lines lines)
{
    return run(p, [&](ToolRun &toolRun, const tools::LineRange &range) { return toolRun.rewriteRange(range, work, lines); });
}

// The tool and its per-line work with the same settings.
std::pair<std::unique_ptr<tools::Tool>, LineWork> toolNamed(const QString &name)
{
    using tools::Operation;
    const tools::LineRules rules;
    if (name == QLatin1String("Operations")) {
        const tools::OperationsSettings settings{Operation::Multiply, QStringLiteral("X"), QStringLiteral("2.5")};
        return {tools::toolWith<tools::OperationsTool>(settings, {}), tools::OperationsWork(settings, rules)};
    }
    if (name == QLatin1String("Mirror")) {
        const tools::MirrorSettings settings{QStringLiteral("Y"), QStringLiteral("1"), true, true};
        return {tools::toolWith<tools::MirrorTool>(settings, {}), tools::MirrorWork(settings, rules)};
    }
    if (name == QLatin1String("Format")) {
        const tools::FormatSettings settings{QStringLiteral("Z")};
        return {tools::toolWith<tools::FormatTool>(settings, {}), tools::FormatWork(settings, rules)};
    }
    const tools::SpaceSettings settings{name == QLatin1String("Add spaces")};
    return {tools::toolWith<tools::SpaceTool>(settings, {}), tools::SpaceWork(settings, rules)};
}

} // namespace

// Lines worked on by two threads: the same bytes, the same note and the same history as on one,
// also when the run stops at a line or at a damaged record.
class TestThreaded : public QObject
{
    Q_OBJECT

private slots:
    void init() { emptyRunFolders(); }

    void sameAsOneThread_data()
    {
        QTest::addColumn<QString>("tool");
        for (const char *tool : {"Operations", "Mirror", "Format", "Remove spaces", "Add spaces"})
            QTest::newRow(tool) << QString::fromLatin1(tool);
    }
    // Each tool as it runs itself (on two threads where its lines stand on their own; Mirror
    // carries the centre form of arcs from line to line) against its work on one.
    void sameAsOneThread()
    {
        QFETCH(QString, tool);
        const QList<QByteArray> lines = testLines();
        auto one = loaded(QStringLiteral("one"), lines);
        auto two = loaded(QStringLiteral("two"), lines);
        const auto [itself, work] = toolNamed(tool);
        const Ran single = run(*one, work, Lines::Carried);
        const Ran split = run(*two, [&](ToolRun &toolRun, const tools::LineRange &range) { return itself->run(toolRun, range); });
        QCOMPARE(split.message, single.message);
        QCOMPARE(split.note.changed, single.note.changed);
        QCOMPARE(split.note.leftAlone, single.note.leftAlone);
        QVERIFY(single.note.changed > 0);
        QCOMPARE(linesOf(*two), linesOf(*one));
        // Both are the plain per-line work, line after line.
        QCOMPARE(linesOf(*one), plainWork(work, lines));
        two->history().undo();
        QCOMPARE(linesOf(*two), lines);
        one->removeStores();
        two->removeStores();
    }

    // A line that would not fit stops both runs at it; so does a damaged record further on.
    void stopsWhereOneThreadStops_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("a line too long") << false;
        QTest::newRow("a damaged record") << true;
    }
    void stopsWhereOneThreadStops()
    {
        QFETCH(bool, damaged);
        QList<QByteArray> lines = testLines(false).mid(0, 20000);
        lines[15000] = QByteArray("X1").repeated(40); // Add spaces makes 119 bytes of it: too long for 100
        auto one = loaded(QStringLiteral("one"), lines, 100);
        auto two = loaded(QStringLiteral("two"), lines, 100);
        if (damaged) {
            for (tessarc::Program *p : {one.get(), two.get()}) {
                QFile store(p->store);
                QVERIFY(store.open(QIODevice::ReadWrite));
                store.seek(qint64(12000 - 1) * p->recordLength);
                store.write("\xff\xff", 2);
            }
        }
        tools::LineRules rules;
        rules.maxLength = 98;
        const LineWork work = tools::SpaceWork({true}, rules);
        const Ran single = run(*one, work, Lines::Carried);
        const Ran split = run(*two, work, Lines::Independent);
        QVERIFY(single.message.startsWith(damaged ? QLatin1String("Line 12000: ") : QLatin1String("Line 15001: ")));
        QVERIFY2(single.message.contains(damaged ? QLatin1String("lines 1 to 11999 were changed")
                                                 : QLatin1String("lines 1 to 15000 were changed")),
                 qPrintable(single.message));
        QCOMPARE(QString(split.message).replace(QLatin1String("two.qen"), QLatin1String("one.qen")), single.message);
        QCOMPARE(split.note.changed, single.note.changed);
        const qint64 read = damaged ? 11999 : 20000;
        QCOMPARE(two->readLines(tessarc::LineNumber(1), read), one->readLines(tessarc::LineNumber(1), read));
        // Every line before the stop is rewritten, also those of the block it stopped in.
        const qint64 before = damaged ? 11999 : 15000;
        QCOMPARE(one->readLines(tessarc::LineNumber(1), before), plainWork(work, lines.mid(0, before)));
        // Every line comes back.
        one->history().undo();
        two->history().undo();
        for (tessarc::Program *p : {one.get(), two.get()})
            QCOMPARE(p->readLines(tessarc::LineNumber(1), read), lines.mid(0, read));
        one->removeStores();
        two->removeStores();
    }

    // Work that fails at a line the other thread takes first (the last of a block: blocks of
    // 1 MiB hold 1048 records of 1000 bytes) fails the run at that line: the same records are
    // written, and the history puts them back.
    void failsWhereOneThreadFails()
    {
        QList<QByteArray> lines = testLines(false).mid(0, 5000);
        lines[2 * 1048 - 1] = "BOOM";
        auto one = loaded(QStringLiteral("one"), lines);
        auto two = loaded(QStringLiteral("two"), lines);
        const LineWork spaces = tools::SpaceWork({true}, {});
        const LineWork work = [spaces](QByteArrayView line, QByteArray &out) {
            if (line == "BOOM")
                throw std::bad_alloc();
            return spaces(line, out);
        };
        const Ran single = run(*one, work, Lines::Carried);
        const Ran split = run(*two, work, Lines::Independent);
        QCOMPARE(single.message, QStringLiteral("Out of memory"));
        QCOMPARE(split.message, single.message);
        QCOMPARE(linesOf(*two), linesOf(*one));
        QVERIFY(linesOf(*one) != lines);
        for (tessarc::Program *p : {one.get(), two.get()}) {
            p->history().undo();
            QCOMPARE(linesOf(*p), lines);
            p->removeStores();
        }
    }
};

QTEST_GUILESS_MAIN(TestThreaded)
#include "tst_tools_threaded.moc"
