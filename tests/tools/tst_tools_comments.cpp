#include "axislookup.h"
#include "corpus.h"
#include "removecomments.h"
#include "testenv.h"


using tessarc::CommentRule;

namespace {

// Comment stripping as it was before programs could have line comments (delimiters in Latin-1),
// kept here as the reference that every rule without a line comment must still give.
QByteArray delimitedOnlyStripped(const QByteArray &line, const QByteArray &start, const QByteArray &end)
{
    if (start.isEmpty())
        return line;
    if (end.isEmpty()) {
        const qsizetype at = line.indexOf(start);
        return at < 0 ? line : line.left(at);
    }
    QByteArray out;
    qsizetype from = 0;
    for (;;) {
        const qsizetype open = line.indexOf(start, from);
        if (open < 0)
            return out + line.mid(from);
        out.append(line.constData() + from, open - from);
        const qsizetype close = line.indexOf(end, open + start.size());
        if (close < 0)
            return out;
        from = close + end.size();
    }
}

// The line without its comments under "(", ")" and ";", worked out byte by byte.
QByteArray withoutBracketAndSemicolonComments(const QByteArray &line)
{
    QByteArray out;
    bool open = false;
    for (char c : line) {
        if (!open && c == ';')
            break;
        if (c == '(')
            open = true;
        else if (!open)
            out.append(c);
        else if (c == ')')
            open = false;
    }
    return out;
}

QList<QByteArray> corpusLines()
{
    QList<QByteArray> lines;
    for (const QString &path : corpusPrograms())
        lines += programLines(path);
    return lines;
}

} // namespace

// Remove Comments, and the one comment rule every tool reads comments with.
class TestComments : public QObject
{
    Q_OBJECT

private slots:
    void removeComments_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("lineComment");
        QTest::addColumn<QString>("commands");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        // The list Options starts with.
        const QString kept = QStringLiteral("MSG, PRINT, DEBUG, LOGOPEN, LOGAPPEND, LOG, LOGCLOSE) PROBEOPEN PROBECLOSE) AXIS,");
        // The rule itself is tested with the axis lookup; here, that the run writes what it strips.
        QTest::newRow("spaces either side stay") << "(" << ")" << "" << kept << QByteArray("G01 X1. (ROUGH) Y2.")
                                                 << QByteArray("G01 X1.  Y2.");
        QTest::newRow("comment line becomes empty") << "(" << ")" << "" << kept << QByteArray("(PROGRAM 1)") << QByteArray();
        QTest::newRow("both kinds") << "(" << ")" << ";" << kept << QByteArray("G01 X1. (A) Y2. ; B (C)")
                                    << QByteArray("G01 X1.  Y2. ");
        QTest::newRow("no comment") << "(" << ")" << ";" << kept << QByteArray("G01 X1.") << QByteArray("G01 X1.");
        // The control's own commands stay, in any case and after spaces; their look-alikes go.
        QTest::newRow("commands kept") << "(" << ")" << ";" << kept
                                       << QByteArray("M0 (msg, remove the probe) (NOTE) ( PRINT,x=#1)(LOGCLOSE)")
                                       << QByteArray("M0 (msg, remove the probe)  ( PRINT,x=#1)(LOGCLOSE)");
        QTest::newRow("look-alikes go") << "(" << ")" << ";" << kept
                                        << QByteArray("(MESSAGE) (LOGCLOSED) (LOGGING) ;MSG, not a command")
                                        << QByteArray("   ");
        QTest::newRow("probe file kept") << "(" << ")" << "" << kept << QByteArray("(PROBEOPEN out.txt)G38.2 Z-1 F10")
                                         << QByteArray("(PROBEOPEN out.txt)G38.2 Z-1 F10");
        QTest::newRow("emptied list keeps none") << "(" << ")" << "" << QString() << QByteArray("(MSG, A)G0") << QByteArray("G0");
        QTest::newRow("own list") << "[" << "]" << "" << QStringLiteral("KEEP") << QByteArray("[keep me][drop me]")
                                  << QByteArray("[keep me]");
    }
    void removeComments()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, lineComment);
        QFETCH(QString, commands);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, expected);
        QByteArray out("left over from the line before");
        const tools::RemoveCommentsWork work(CommentRule{start, end, lineComment}, tools::CommentCommands(commands));
        QCOMPARE(work(line, out), tools::LineFault::None);
        QCOMPARE(out, expected);
    }

    // On the real programs beside the project: with no line comment every line loses what it always
    // lost, under delimiters of every kind; with "(", ")" and ";" it loses exactly its comments of
    // both kinds.
    void realProgramsLoseTheirComments()
    {
        const QList<QByteArray> lines = corpusLines();
        if (lines.isEmpty())
            QSKIP("the folder of real programs is not beside the project");
        const QList<std::pair<QByteArray, QByteArray>> delimiters = {
            {"(", ")"}, {";", ""}, {"%", "%"}, {"(", ""}, {"/*", "*/"}, {"", ")"}, {"[", "]"}};
        const tools::RemoveCommentsWork both(
            CommentRule{QStringLiteral("("), QStringLiteral(")"), QStringLiteral(";")});
        QByteArray out;
        int lineCommentsRemoved = 0;
        for (const QByteArray &line : lines) {
            for (const auto &[start, end] : delimiters) {
                const CommentRule rule{QString::fromLatin1(start), QString::fromLatin1(end), QString()};
                QCOMPARE(functions::stripComments(line, rule), delimitedOnlyStripped(line, start, end));
            }
            both(line, out);
            QCOMPARE(out, withoutBracketAndSemicolonComments(line));
            lineCommentsRemoved += out != functions::stripComments(line, QStringLiteral("("), QStringLiteral(")"));
        }
        QVERIFY2(lineCommentsRemoved >= 50, qPrintable(QString::number(lineCommentsRemoved)));
    }
};

VORNEXA_TEST_MAIN(TestComments)
#include "tst_tools_comments.moc"
