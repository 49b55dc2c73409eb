#include "corpus.h"
#include "filter.h"
#include "format.h"
#include "linework.h"
#include "mirror.h"
#include "spaces.h"
#include "testenv.h"
#include "words.h"

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

    void wordsOnly()
    {
        QFETCH(QString, tool);
        const QStringList programs = corpusPrograms();
        if (programs.isEmpty())
            QSKIP("the program collection is not here");
        tools::LineRules rules;
        rules.spaces = false;
        const auto chain = [&]() -> QList<LineWork> {
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
        };
        const tessarc::WordReader reader(rules.comments, rules.spaces);
        qint64 changed = 0;
        for (const QString &path : programs) {
            QList<LineWork> works = chain();
            const QList<QByteArray> lines = programLines(path);
            for (qsizetype n = 0; n < lines.size(); ++n) {
                QByteArray line = lines[n];
                for (LineWork &work : works) {
                    QByteArray out;
                    const LineFault fault = work(line, out);
                    QVERIFY2(!tools::stopsRun(fault), qPrintable(QStringLiteral("%1:%2").arg(path).arg(n + 1)));
                    line = out;
                }
                changed += line != lines[n];
                QVERIFY2(untouchable(reader, line) == untouchable(reader, lines[n]),
                         qPrintable(QStringLiteral("%1:%2: %3 -> %4")
                                        .arg(path)
                                        .arg(n + 1)
                                        .arg(QString::fromLatin1(lines[n]), QString::fromLatin1(line))));
            }
        }
        QVERIFY(changed > 1000); // the tools did work on the collection
    }
};

VORNEXA_TEST_MAIN(TestCorpus)
#include "tst_tools_corpus.moc"
