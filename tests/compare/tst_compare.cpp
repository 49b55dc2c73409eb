#include "corpus.h"
#include "programcompare.h"

#include "controlerror.h"

#include <QRandomGenerator>
#include <QTest>

#include <atomic>
#include <thread>

using namespace compare;

Q_DECLARE_METATYPE(compare::Rules)

namespace {

// The program written again as another post-processor might: every line numbered anew, letters in
// lower case, a space after each letter and between words, and every number with two more zeros.
QByteArray reformatted(const QByteArray &line, qint64 number)
{
    const tessarc::WordReader reader(Rules().comments);
    QByteArray out;
    qsizetype at = 0;
    for (const tessarc::Word &w : reader.words(line)) {
        out += line.mid(at, w.letterPos - at);
        at = w.numberStart + w.numberLength;
        if (w.letter == 'N')
            continue;
        QByteArray digits = line.mid(w.numberStart, w.numberLength);
        digits += digits.contains('.') ? "00" : ".00";
        out += char(w.letter - 'A' + 'a') + QByteArray(" ") + digits + ' ';
    }
    out += line.mid(at);
    return line.trimmed().isEmpty() ? line : "N" + QByteArray::number(number * 5) + ' ' + out;
}

QList<QByteArray> numbered(int count)
{
    QList<QByteArray> lines;
    for (int k = 1; k <= count; ++k)
        lines.append("G1 X" + QByteArray::number(k) + ".25 Y" + QByteArray::number(k * 3) + " F300");
    return lines;
}

Result run(const QList<QByteArray> &a, const QList<QByteArray> &b, const Rules &rules = {})
{
    TextFeed left(a), right(b);
    return comparePrograms(left, right, rules);
}

Difference diff(Difference::Kind kind, qint64 aFirst, qint64 aCount, qint64 bFirst, qint64 bCount)
{
    return {kind, aFirst, aCount, bFirst, bCount};
}

// A line of words, numbers written many ways, alphabetic tokens, comments, parameters and
// expressions, stray signs and points, spaces, tabs and bytes above 127, in upper and lower case.
QByteArray randomLine(QRandomGenerator &random)
{
    static const char *const pieces[] = {"G", "x", "N", "n", "Y", "f", "1", "0", "00", "7", "25", ".", "+", "-", " ", "  ", "\t",
                                         "GOTO", "Ab", "(", ")", ";", "#", "#<a>", "[", "]", "<", ">", "O<sub>", "\xe9", "1234567890123456",
                                         "X 1 . 5", "*", "=", "/", "%"};
    QByteArray line;
    const int count = int(random.bounded(12));
    for (int k = 0; k < count; ++k)
        line += pieces[random.bounded(int(std::size(pieces)))];
    return line;
}

// A line of words as CAM output writes them, with numbers of every length on either side of the
// point, zeros opening and ending them, signs, and spaces between the words and after a letter.
QByteArray randomWordLine(QRandomGenerator &random)
{
    static const char letters[] = "GXYZNnFxI";
    const auto digits = [&](int most) {
        QByteArray d;
        for (int k = int(random.bounded(most + 1)); k > 0; --k)
            d += char('0' + (random.bounded(3) == 0 ? 0 : random.bounded(10)));
        return d;
    };
    QByteArray line;
    for (int k = int(random.bounded(1, 8)); k > 0; --k) {
        line += letters[random.bounded(int(sizeof letters - 1))];
        line += random.bounded(20) == 0 ? " " : "";
        line += QByteArrayList{"", "", "-", "+"}[random.bounded(4)];
        line += digits(9);
        if (random.bounded(4) != 0)
            line += '.' + digits(9);
        line += QByteArray(int(random.bounded(3)), ' ');
    }
    return line;
}

// The same line written otherwise: letters in the other case, spaces added or taken out, zeros
// added after a point or before a number; often equal under the rules, sometimes not.
QByteArray rewritten(const QByteArray &line, QRandomGenerator &random)
{
    QByteArray out;
    for (const char c : line) {
        const int roll = int(random.bounded(8));
        if (roll == 0 && c == ' ')
            continue;
        if (roll == 1)
            out += ' ';
        if (roll == 2 && c == '.')
            out += ".0";
        else if (roll == 3 && c >= 'a' && c <= 'z')
            out += char(c - 'a' + 'A');
        else if (roll == 3 && c >= 'A' && c <= 'Z')
            out += char(c - 'A' + 'a');
        else
            out += c;
        if (roll == 4 && c == '.')
            out += '0';
    }
    return out;
}

// A feed that waits at its 1,000th line until `go` is set, or fails there.
class HeldFeed : public TextFeed
{
public:
    HeldFeed(QList<QByteArray> lines, bool fail) : TextFeed(std::move(lines)), m_fail(fail) {}
    void each(qint64 first, qint64 count, const Visit &visit) override
    {
        TextFeed::each(first, count, [&](qint64 line, QByteArrayView text) {
            if (line == 1000 && m_fail)
                throw tessarc::ControlError(tessarc::ControlError::FileNotFound, QStringLiteral("the store is gone"));
            while (line == 1000 && !go)
                std::this_thread::yield();
            return visit(line, text);
        });
    }
    std::atomic<bool> go{false};

private:
    const bool m_fail;
};

} // namespace

class tst_compare : public QObject
{
    Q_OBJECT

private slots:
    void reformattedCorpusProgramsAreEqual();
    void editsAtKnownLines();
    void rules_data();
    void rules();
    void theReportMarksTheChangedWords();
    void programsWithNothingInCommon();
    void bothReadingsOfALineAgree();
    void eachLineKeepsItsOwnPrint();
    void aStoppedOrFailedReading();
};

void tst_compare::reformattedCorpusProgramsAreEqual()
{
    const QStringList programs = corpusPrograms();
    if (programs.isEmpty())
        QSKIP("the folder of real programs is not beside the project");
    int compared = 0;
    for (const QString &path : programs) {
        const QList<QByteArray> lines = programLines(path);
        if (lines.size() > 60000)
            continue; // the large ones add nothing but time
        QList<QByteArray> copy;
        for (qsizetype k = 0; k < lines.size(); ++k)
            copy.append(reformatted(lines[k], k + 1));
        const Result result = run(lines, copy);
        QVERIFY2(result.identical(), qPrintable(QStringLiteral("%1: %2").arg(path, countText(result))));
        if (lines != copy)
            QVERIFY2(!run(lines, copy, Rules::plain()).identical(), qPrintable(path));
        ++compared;
    }
    QVERIFY(compared >= 10);
}

// A word changed, lines inserted and lines removed, at known places: exactly those, either way.
void tst_compare::editsAtKnownLines()
{
    const QList<QByteArray> a = numbered(400);
    QList<QByteArray> b = a;
    b[49] = "G1 X50.26 Y150 F300";                // line 50: X off by 0.01
    b.insert(100, "G4 P1");                       // after line 100 of A
    b.insert(100, "M8");
    b.remove(151, 2);                             // A's lines 150 and 151 (B's 152 and 153)
    b[300] += " (a comment)";                    // line 301 of both
    const QList<Difference> forward = {diff(Difference::Kind::Changed, 50, 1, 50, 1), diff(Difference::Kind::Inserted, 100, 0, 101, 2),
                                       diff(Difference::Kind::Removed, 150, 2, 151, 0), diff(Difference::Kind::Changed, 301, 1, 301, 1)};
    QCOMPARE(run(a, b).differences, forward);
    const QList<Difference> backward = {diff(Difference::Kind::Changed, 50, 1, 50, 1), diff(Difference::Kind::Removed, 101, 2, 100, 0),
                                        diff(Difference::Kind::Inserted, 151, 0, 150, 2), diff(Difference::Kind::Changed, 301, 1, 301, 1)};
    QCOMPARE(run(b, a).differences, backward);
    Rules loose;
    loose.tolerance = 0.02;
    loose.ignoreComments = true;
    QCOMPARE(run(a, b, loose).differences, (QList<Difference>{forward[1], forward[2]}));
}

void tst_compare::rules_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<Rules>("rules");
    QTest::addColumn<bool>("equal");
    const Rules standard;
    Rules tolerant;
    tolerant.tolerance = 0.005;
    Rules numbered = standard, spaced = standard, cased = standard, textual = standard, commentless = standard;
    numbered.ignoreN = false;
    spaced.ignoreSpaces = false;
    cased.ignoreCase = false;
    textual.byValue = false;
    commentless.ignoreComments = true;
    QTest::newRow("numbers by value") << QByteArray("X1. Y-0 Z+2") << QByteArray("X1.000 Y0 Z2") << standard << true;
    QTest::newRow("numbers as written") << QByteArray("X1.") << QByteArray("X1.000") << textual << false;
    QTest::newRow("within the tolerance") << QByteArray("X1.000") << QByteArray("X1.004") << tolerant << true;
    QTest::newRow("beyond it") << QByteArray("X1.000") << QByteArray("X1.006") << tolerant << false;
    QTest::newRow("no tolerance") << QByteArray("X1.000") << QByteArray("X1.001") << standard << false;
    QTest::newRow("N words") << QByteArray("N10 G1 X1") << QByteArray("N20 G1 X1") << standard << true;
    QTest::newRow("N words counted") << QByteArray("N10 G1 X1") << QByteArray("N20 G1 X1") << numbered << false;
    QTest::newRow("spaces") << QByteArray("G1X1 (a  b)") << QByteArray("G1 X 1 (ab)") << standard << true;
    QTest::newRow("spaces counted") << QByteArray("G1X1") << QByteArray("G1 X1") << spaced << false;
    QTest::newRow("case") << QByteArray("g1 x1 (Hole)") << QByteArray("G1 X1 (HOLE)") << standard << true;
    QTest::newRow("case counted") << QByteArray("g1 x1") << QByteArray("G1 X1") << cased << false;
    QTest::newRow("comments count") << QByteArray("G1 X1 (a)") << QByteArray("G1 X1 (b)") << standard << false;
    QTest::newRow("comments left out") << QByteArray("G1 X1 (a) ;c") << QByteArray("G1 X1") << commentless << true;
    QTest::newRow("a word inside a comment is no word") << QByteArray("G1 (X1)") << QByteArray("G1 (X1.0)") << standard << false;
    QTest::newRow("parameters as written") << QByteArray("X#1") << QByteArray("X#2") << standard << false;
    QTest::newRow("plain") << QByteArray("G1 X1") << QByteArray("G1 X1 ") << Rules::plain() << false;
}

void tst_compare::rules()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(Rules, rules);
    QFETCH(bool, equal);
    QCOMPARE(sameLine(a, b, rules), equal);
    QCOMPARE(run({"G0 Z5", a, "M2"}, {"G0 Z5", b, "M2"}, rules).identical(), equal);
}

void tst_compare::theReportMarksTheChangedWords()
{
    TextFeed a({"G0 Z5", "N10 G1 X1.5 Y2 (rough)", "G0 Z9", "M8", "M2"});
    TextFeed b({"G0 Z5", "N20 G1 X1.6 Y2 (finish)", "G0 Z9", "M2", "M30"});
    const Result result = comparePrograms(a, b, {});
    QStringList rows;
    report(result, a, b, {}, [&](const QString &row) { rows.append(row); });
    QCOMPARE(rows, (QStringList{"changed A 2 B 2", "    < N10 G1 {X1.5} Y2 {(rough)}", "    > N20 G1 {X1.6} Y2 {(finish)}",
                                "removed A 4 B 3", "    < M8", "inserted A 5 B 5", "    > M30", "3 differences"}));
}

// Nothing in common: one change of the whole, said, and quickly.
void tst_compare::programsWithNothingInCommon()
{
    QList<QByteArray> b;
    for (int k = 1; k <= 5000; ++k)
        b.append("G0 Z" + QByteArray::number(k));
    const Result result = run(numbered(4000), b);
    QVERIFY(result.nothingInCommon);
    QCOMPARE(result.differences, (QList<Difference>{diff(Difference::Kind::Changed, 1, 4000, 1, 5000)}));
    QVERIFY(!run(numbered(3), numbered(3)).nothingInCommon);
}

// A line's fingerprint read in one pass is the one its tokens give, for every line of the real
// programs and for random ones, under every rule; and lines sameLine() takes as equal share a
// fingerprint.
void tst_compare::bothReadingsOfALineAgree()
{
    const Rules standard;
    Rules numbered = standard, spaced = standard, cased = standard, textual = standard, commentless = standard, loose = standard;
    numbered.ignoreN = false;
    spaced.ignoreSpaces = false;
    cased.ignoreCase = false;
    textual.byValue = false;
    commentless.ignoreComments = true;
    loose.comments = {QStringLiteral("/*"), QStringLiteral("*/"), QString()};
    loose.ignoreN = loose.ignoreCase = false;
    const QList<Rules> ruleSets = {standard, numbered, spaced, cased, textual, commentless, loose, Rules::plain()};

    QList<QByteArray> lines;
    for (const QString &path : corpusPrograms())
        lines += programLines(path);
    const qsizetype corpusLines = lines.size();
    QRandomGenerator random(4711);
    for (int k = 0; k < 200000; ++k)
        lines.append(k % 2 ? randomLine(random) : randomWordLine(random));

    for (qsizetype set = 0; set < ruleSets.size(); ++set) {
        const Rules &rules = ruleSets[set];
        LinePrint print(rules);
        qsizetype quick = 0;
        for (qsizetype k = 0; k < lines.size(); ++k) {
            quint64 fast = 0;
            if (print.quick(lines[k], fast)) {
                ++quick;
                QVERIFY2(fast == print.full(lines[k]), lines[k].constData());
            }
        }
        // The one-pass reading takes most of the real programs' lines and of the random ones.
        QVERIFY2(quick > lines.size() / 4, qPrintable(QString::number(quick)));
        for (qsizetype k = corpusLines; k < lines.size(); ++k) {
            const QByteArray other = rewritten(lines[k], random);
            QVERIFY2(!sameLine(lines[k], other, rules) || print(lines[k]) == print(other),
                     qPrintable(QStringLiteral("rules %1: %2 | %3").arg(set).arg(QString::fromLatin1(lines[k].toHex(' ')), QString::fromLatin1(other.toHex(' ')))));
        }
    }
    if (corpusLines == 0)
        QSKIP("the folder of real programs is not beside the project; random lines only");
}

// Each line's fingerprint is the one LinePrint gives it, wherever B's lines stand from A's: lines
// changed and rewritten, a few inserted or removed, blocks inserted and removed that move B far
// from A (near and beyond what is kept of A), repeated lines, the ends of both halves.
void tst_compare::eachLineKeepsItsOwnPrint()
{
    QRandomGenerator random(1208);
    QList<QByteArray> a;
    for (int k = 0; k < 240000; ++k)
        a.append(k % 7 == 0 ? QByteArray("G0 Z5") : "N" + QByteArray::number(k) + " G1 X" + QByteArray::number(random.bounded(100000)) + ".5");
    QList<QByteArray> b = a;
    for (int k = 1000; k < 240000; k += 997)
        b[k] = b[k].toLower();                    // rewritten: another text, the same print
    b.remove(150000, 90000);                      // beyond what is kept
    b.insert(100000, 20000, "G1 X0 (inserted)");  // within reach
    b.remove(40000, 3);
    b.insert(20000, "M8");
    b[10] = "G1 X1";
    for (const Rules &rules : {Rules(), Rules::plain()}) {
        TextFeed left(a), right(b);
        const Prints prints = linePrints(left, right, rules);
        QVERIFY(!prints.stopped);
        LinePrint print(rules);
        for (const auto &[lines, got] : {std::pair(&a, &prints.a), std::pair(&b, &prints.b)}) {
            QCOMPARE(qsizetype(got->size()), lines->size());
            for (qsizetype k = 0; k < lines->size(); ++k)
                QVERIFY2((*got)[std::size_t(k)] == print((*lines)[k]), qPrintable(QStringLiteral("line %1: %2").arg(k + 1).arg((*lines)[k])));
        }
    }
}

// Stopped by its progress, a reading says so and gives no prints; a feed that fails makes it fail.
void tst_compare::aStoppedOrFailedReading()
{
    const QList<QByteArray> lines = numbered(100000);
    HeldFeed held(lines, false);
    TextFeed other(lines);
    const Prints prints = linePrints(other, held, {}, [&](qint64, qint64) {
        held.go = true;
        return false;
    });
    QVERIFY(prints.stopped);
    QVERIFY(prints.a.empty() && prints.b.empty());
    held.go = false;
    QVERIFY(comparePrograms(other, held, {}, [&](qint64, qint64) {
                held.go = true;
                return false;
            }).cancelled);

    HeldFeed failing(lines, true);
    QVERIFY_THROWS_EXCEPTION(tessarc::ControlError, comparePrograms(other, failing, {}));
}

QTEST_GUILESS_MAIN(tst_compare)
#include "tst_compare.moc"
