#include "colorruns.h"
#include "linereader.h"
#include "testenv.h"

#include <QDir>
#include <QDirIterator>

using tessarc::ColorRun;
using tessarc::ColorSlots;
using tessarc::CommentRule;
using Runs = QList<ColorRun>;

namespace {

constexpr int kBlue = 0xff0000;
constexpr int kRed = 0x0000ff;
constexpr int kGrey = 0x808080;
constexpr int kGreen = 0x00ff00;

ColorSlots gxSlots()
{
    ColorSlots s{};
    s[0] = {QStringLiteral("G"), kBlue};
    s[1] = {QStringLiteral("X"), kRed};
    s[7] = {QString(), kGrey};
    return s;
}

// The comment colouring as it was before programs could have line comments, kept here as the
// reference that every rule without a line comment must still give.
Runs delimitedOnlyRuns(const QString &line, int colour, const QString &start, const QString &end)
{
    Runs runs;
    if (start.isEmpty() || line.isEmpty())
        return runs;
    const qsizetype n = line.size();
    if (end.isEmpty()) {
        const qsizetype d = line.indexOf(start);
        if (d >= 0)
            runs.append({d, n - d, colour});
        return runs;
    }
    qsizetype p = 0;
    for (;;) {
        const qsizetype d = line.indexOf(start, p);
        if (d < 0)
            break;
        const qsizetype f = line.indexOf(end, d);
        if (f < 0) {
            runs.append({d, n - d, colour});
            break;
        }
        runs.append({d, f - d + 1, colour});
        p = f + 1;
    }
    return runs;
}

// Which characters are comment under "(", ")" and ";", worked out character by character;
// `lineComment` tells whether a ";" comment was found.
QList<bool> bracketAndSemicolonComments(const QString &line, bool &lineComment)
{
    QList<bool> comment(line.size(), false);
    bool open = false;
    lineComment = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (!open && line.at(i) == QLatin1Char(';')) {
            for (qsizetype j = i; j < line.size(); ++j)
                comment[j] = true;
            lineComment = true;
            break;
        }
        if (line.at(i) == QLatin1Char('('))
            open = true;
        comment[i] = open;
        if (line.at(i) == QLatin1Char(')'))
            open = false;
    }
    return comment;
}

// Every line of every real program beside the project, as the view shows it.
QList<QStringList> corpusPrograms()
{
    QList<QStringList> programs;
    const QString dir = qEnvironmentVariable("VORNEXA_CORPUS", QStringLiteral(VORNEXA_CORPUS_DIR));
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QLatin1String(".md")))
            continue;
        QStringList lines;
        tessarc::LineReader reader(path, true, 1 << 20);
        QByteArrayView line;
        qint64 length = 0;
        while (reader.next(line, length))
            lines.append(QString::fromLatin1(line.data(), line.size()));
        programs.append(lines);
    }
    return programs;
}

} // namespace

class TestColorRuns : public QObject
{
    Q_OBJECT

private slots:
    void linesColourAsMachinistsReadThem_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("lineComment");
        QTest::addColumn<Runs>("flat");
        // Words are coloured, a letter and its number: never a letter inside a comment, another
        // word or a parameter, nor one with no number; the spaces after a number are not the word's.
        QTest::newRow("word, word, comment")
            << "G01X1.5(FAST)" << "(" << ")"
            << "" << Runs{{0, 3, kBlue}, {3, 4, kRed}, {7, 6, kGrey}};
        QTest::newRow("lower case, every word") << "g1 x2 G0 X1" << "" << "" << ""
                                               << Runs{{0, 2, kBlue}, {3, 2, kRed}, {6, 2, kBlue}, {9, 2, kRed}};
        QTest::newRow("spaces inside the number") << "X 10 Y5" << "(" << ")" << "" << Runs{{0, 4, kRed}};
        QTest::newRow("letters that are no words")
            << "X GOTO X#<xs> G1" << "(" << ")" << "" << Runs{{14, 2, kBlue}};
        QTest::newRow("equal delimiters colour themselves, and what is between is comment")
            << "%G1%" << "%" << "%" << "" << Runs{{0, 1, kGrey}, {3, 1, kGrey}};
        QTest::newRow("long end delimiter: its first character")
            << "X1 /*G1*/ X2" << "/*" << "*/" << "" << Runs{{0, 2, kRed}, {3, 5, kGrey}, {10, 2, kRed}};
        QTest::newRow("no end delimiter: to the end of the line")
            << "X1 ;G1 X2" << ";" << "" << "" << Runs{{0, 2, kRed}, {3, 6, kGrey}};
        QTest::newRow("unclosed comment runs to the end") << "X1 (G1" << "(" << ")" << "" << Runs{{0, 2, kRed},
                                                                                        {3, 3, kGrey}};
        QTest::newRow("letter inside a comment is comment")
            << "(X1)G2" << "(" << ")" << "" << Runs{{0, 4, kGrey}, {4, 2, kBlue}};
        QTest::newRow("delimiters match case exactly")
            << "X1 rem x2 REM" << "REM" << "" << "" << Runs{{0, 2, kRed}, {7, 2, kRed}, {10, 3, kGrey}};
        QTest::newRow("no start delimiter: no comment") << "(X1)" << "" << ")" << "" << Runs{{1, 2, kRed}};
        QTest::newRow("line comment to the end") << "G1 X2 ; X3 G4" << "(" << ")" << ";"
                                                 << Runs{{0, 2, kBlue}, {3, 2, kRed}, {6, 7, kGrey}};
        QTest::newRow("line comment inside a delimited one") << "(A;B) X1 (C" << "(" << ")" << ";"
                                                            << Runs{{0, 5, kGrey}, {6, 2, kRed}, {9, 2, kGrey}};
        QTest::newRow("delimited inside a line comment") << "X1 ;(A) X2" << "(" << ")" << ";"
                                                         << Runs{{0, 2, kRed}, {3, 7, kGrey}};
        QTest::newRow("both kinds") << "G0 (A) X1 ; B" << "(" << ")" << ";"
                                    << Runs{{0, 2, kBlue}, {3, 3, kGrey}, {7, 2, kRed}, {10, 3, kGrey}};
        QTest::newRow("line comment of two characters") << "X1 / X2 // X3" << "(" << ")" << "//"
                                                        << Runs{{0, 2, kRed}, {5, 2, kRed}, {8, 5, kGrey}};
        QTest::newRow("line comment alone") << "X1 ; G2" << "" << "" << ";" << Runs{{0, 2, kRed}, {3, 4, kGrey}};
        QTest::newRow("same text as an open-ended start") << "X1 ; G2" << ";" << "" << ";"
                                                          << Runs{{0, 2, kRed}, {3, 4, kGrey}};
        QTest::newRow("character outside Latin-1 is no delimiter")
            << QString::fromUtf8("X1 \xe2\x82\xac G2") << "(" << ")" << "?" << Runs{{0, 2, kRed}, {5, 2, kBlue}};
    }

    void linesColourAsMachinistsReadThem()
    {
        QFETCH(QString, line);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, lineComment);
        QFETCH(Runs, flat);
        const Runs runs = tessarc::colorRuns(line, gxSlots(), CommentRule{start, end, lineComment});
        QCOMPARE(tessarc::flattenRuns(runs, line.size()), flat);
        if (lineComment.isEmpty())
            QCOMPARE(tessarc::colorRuns(line, gxSlots(), start, end), runs);
    }

    // Runs come word by word along the line, then the comments; of two slots holding a letter the
    // higher wins.
    void runOrderAndSlotPriority()
    {
        QCOMPARE(tessarc::colorRuns(QStringLiteral("X1 G2 (C)"), gxSlots(), QStringLiteral("("), QStringLiteral(")")),
                 (Runs{{0, 2, kRed}, {3, 2, kBlue}, {6, 3, kGrey}}));
        ColorSlots s{};
        s[0] = {QStringLiteral("X"), kRed};
        s[3] = {QStringLiteral("X"), kGreen};
        QCOMPARE(tessarc::flattenRuns(tessarc::colorRuns(QStringLiteral("X5"), s, QString(), QString()), 2),
                 (Runs{{0, 2, kGreen}}));
    }

    // On the real programs beside the project: with no line comment the comments are coloured as
    // they always were, under delimiters of every kind; and under "(", ")" and ";" no character of
    // a comment of either kind keeps a word's colour, and nothing else takes the comment colour.
    void realProgramsColourTheirComments()
    {
        const QList<QStringList> programs = corpusPrograms();
        if (programs.isEmpty())
            QSKIP("the folder of real programs is not beside the project");
        const QList<std::pair<QString, QString>> delimiters = {
            {"(", ")"}, {";", ""}, {"%", "%"}, {"(", ""}, {"/*", "*/"}, {"", ")"}, {"[", "]"}};
        ColorSlots wordSlots{};
        wordSlots[0] = {QStringLiteral("GMXYZIJKFNRST"), kBlue};
        wordSlots[7] = {QString(), kGrey};
        const CommentRule rule{QStringLiteral("("), QStringLiteral(")"), QStringLiteral(";")};
        int withLineComments = 0;
        int withBothKinds = 0;
        for (const QStringList &program : programs) {
            bool lineComments = false;
            bool bracketComments = false;
            for (const QString &line : program) {
                for (const auto &[start, end] : delimiters) {
                    QCOMPARE(tessarc::commentRuns(line, kGrey, CommentRule{start, end, QString()}),
                             delimitedOnlyRuns(line, kGrey, start, end));
                }
                bool semicolon = false;
                const QList<bool> comment = bracketAndSemicolonComments(line, semicolon);
                const Runs flat = tessarc::flattenRuns(tessarc::colorRuns(line, wordSlots, rule), line.size());
                QList<bool> grey(line.size(), false);
                for (const ColorRun &run : flat) {
                    for (qsizetype i = run.start; i < run.start + run.length; ++i)
                        grey[i] = run.color == kGrey;
                }
                QVERIFY2(grey == comment, qPrintable(line));
                lineComments = lineComments || semicolon;
                bracketComments = bracketComments || line.contains(QLatin1Char('('));
            }
            withLineComments += lineComments;
            withBothKinds += lineComments && bracketComments;
        }
        QVERIFY2(withLineComments >= 5, qPrintable(QString::number(withLineComments)));
        QVERIFY2(withBothKinds >= 2, qPrintable(QString::number(withBothKinds)));
    }
};

VORNEXA_TEST_MAIN(TestColorRuns)
#include "tst_colorruns.moc"
