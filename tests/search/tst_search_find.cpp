#include "find.h"
#include "linestore.h"
#include "testenv.h"

#include <QFile>

using search::Comparison;
using search::FindKind;
using search::SearchEnd;

Q_DECLARE_METATYPE(search::Comparison)
Q_DECLARE_METATYPE(search::FindKind)

namespace {

// A store in the run's folder holding `lines` as lines 1 ... n.
QString storeOf(const QList<QByteArray> &lines)
{
    const QString path = testEnvironment().path(QStringLiteral("search.qen.tmp"));
    QFile::remove(path);
    tessarc::LineStore store;
    store.open(path, 500);
    for (qsizetype i = 0; i < lines.size(); ++i)
        store.write(tessarc::LineNumber(i + 1), lines[i]);
    store.close();
    return path;
}

search::FindFields textFields(const char *find, bool matchCase = false)
{
    search::FindFields fields;
    fields.find = QString::fromLatin1(find);
    fields.matchCase = matchCase;
    return fields;
}

} // namespace

class TestFind : public QObject
{
    Q_OBJECT

private slots:
    // Where the text search finds its text in a line, and how the view selects it.
    void textMatch_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("find");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("at");          // -1: no match
        QTest::addColumn<int>("viewStart");
        QTest::addColumn<int>("viewLength");
        QTest::newRow("case ignored") << QByteArray("N10 G01 X1") << "g01" << false << 0 << 4 << 4 << 3;
        QTest::newRow("match case misses") << QByteArray("N10 G01 X1") << "g01" << true << 0 << -1 << 0 << 0;
        QTest::newRow("match case hits the exact case") << QByteArray("g01 G01") << "G01" << true << 0 << 4 << 4 << 3;
        QTest::newRow("Latin-1 letters fold") << QByteArray("(\xc9TAPE)") << QString::fromLatin1("\xe9tape") << false
                                              << 0 << 1 << 1 << 5;
        QTest::newRow("a start that fails is passed over, in either case")
            << QByteArray("xy XY xq") << "Xq" << false << 0 << 6 << 6 << 2;
        QTest::newRow("case ignored, eight bytes at a time: many starts, the match in the last bytes")
            << QByteArray("xXxxxxxxxxxxxxxxyX1") << "x1" << false << 0 << 17 << 17 << 2;
        QTest::newRow("case ignored, the last bytes tested with the word that ends the line")
            << QByteArray("q0aaaaaaQ1q9") << "Q9" << false << 0 << 10 << 10 << 2;
        QTest::newRow("case ignored, the same on a line of sixteen bytes and more")
            << QByteArray("q0aaaaaaaaaaaaaaQ1q9") << "Q9" << false << 0 << 18 << 18 << 2;
        QTest::newRow("case ignored, a Latin-1 letter past the first eight bytes")
            << QByteArray("N10 G01 (\xc9TAPE 2)") << QString::fromLatin1("\xe9tape") << false << 0 << 9 << 9 << 5;
        QTest::newRow("match case passes over the other case") << QByteArray("xq Xq") << "Xq" << true << 0 << 3 << 3
                                                               << 2;
        QTest::newRow("from an offset") << QByteArray("X1 X2") << "x" << false << 1 << 3 << 3 << 1;
        QTest::newRow("longer than the line") << QByteArray("G0") << "G01" << false << 0 << -1 << 0 << 0;
        QTest::newRow("a control name finds the character, the view counts the names")
            << QByteArray("A\tB\x01 X") << "(SOH) x" << false << 0 << 3 << 6 << 7;
        QTest::newRow("a character no line holds") << QByteArray("X1") << QString(QChar(0x20AC)) << false << 0 << -1
                                                   << 0 << 0;
    }
    void textMatch()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, find);
        QFETCH(bool, matchCase);
        QFETCH(int, from);
        QFETCH(int, at);
        search::FindFields fields;
        fields.find = find;
        fields.matchCase = matchCase;
        const std::optional<search::LineMatch> match = search::LineMatcher(FindKind::Text, fields).match(line, from);
        QCOMPARE(match ? int(match->at) : -1, at);
        if (match) {
            const search::ViewSpan view = search::viewSpan(line, match->at, match->length);
            QTEST(int(view.start), "viewStart");
            QTEST(int(view.length), "viewLength");
        }
    }

    // The axis search: which lines hold the condition, and the word it selects. It reads words:
    // never a letter inside a comment, an expression or another word, nor one with no number.
    void axisMatch_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("axis");
        QTest::addColumn<Comparison>("comparison");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<int>("at");     // -1: the condition does not hold
        QTest::addColumn<int>("length"); // the letter and its number
        QTest::addColumn<bool>("expression");
        auto row = [](const char *name, const char *line, const char *axis, Comparison comparison, const char *value,
                      bool spaces, int at, int length, bool expression = false) {
            QTest::newRow(name) << QByteArray(line) << QString::fromLatin1(axis) << comparison
                                << QString::fromLatin1(value) << spaces << at << length << expression;
        };
        row(">", "G01 X10.5 Y2", "X", Comparison::Greater, "10", true, 4, 5);
        row("> fails", "G01 X10 Y2", "X", Comparison::Greater, "10", true, -1, 0);
        row("<, lower case", "x-1.", "X", Comparison::Less, "0", true, 0, 4);
        row("< > holds on another value", "X2", "X", Comparison::NotEqual, "1", true, 0, 2);
        row("< > never holds without a word of the letter", "G01 Y2", "X", Comparison::NotEqual, "1", true, -1, 0);
        row("a letter with no number is no word, not 0", "G01 X Y2", "X", Comparison::Equal, "0", true, -1, 0);
        row("spaces inside the number, spaces on", "G01 X 1.5 Y2", "X", Comparison::Equal, "1.5", true, 4, 5);
        row("spaces off: the letter before a space is no word", "G01 X 1.5 Y2", "X", Comparison::Equal, "1.5", false,
            -1, 0);
        row("comments of both kinds are passed over", "(MAX X5) X1 ; X9", "X", Comparison::Equal, "1", true, 9, 2);
        row("a letter inside another word is passed over", "G0 MAZAK Z3", "Z", Comparison::Greater, "1", true, 9, 2);
        row("an expression is not compared", "G1 X[#1*2] X5", "X", Comparison::Greater, "0", true, -1, 0, true);
        row("only the first word", "X1 X20", "X", Comparison::Greater, "10", true, -1, 0);
        row("the whole axis text must occur", "X1 Y2", "XY", Comparison::Greater, "0", true, -1, 0);
        row("value read by its leading number", "Z-2", "z", Comparison::Less, "-1mm", true, 0, 3);
    }
    void axisMatch()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, axis);
        QFETCH(Comparison, comparison);
        QFETCH(QString, value);
        QFETCH(bool, spaces);
        QFETCH(int, at);
        search::FindFields fields;
        fields.axis = axis;
        fields.comparison = comparison;
        fields.value = value;
        const tessarc::WordReader words(tessarc::CommentRule{"(", ")", ";"}, spaces);
        bool expression = false;
        const std::optional<search::LineMatch> match =
            search::LineMatcher(FindKind::Axis, fields, words).match(line, 0, &expression);
        QCOMPARE(match ? int(match->at) : -1, at);
        if (match)
            QTEST(int(match->length), "length");
        QTEST(expression, "expression");
        fields.axis.clear(); // an empty axis holds nowhere
        QVERIFY(!search::LineMatcher(FindKind::Axis, fields, words).match(line));
    }

    void fieldChecks()
    {
        const QString textNull = QStringLiteral("TEXTNULL");
        QCOMPARE(search::checkFindFields(FindKind::Text, textFields(""), textNull), textNull);
        QCOMPARE(search::checkFindFields(FindKind::Text, textFields("G01"), textNull), std::nullopt);
        search::FindFields axis;
        axis.axis = QStringLiteral(" ");
        axis.value = QStringLiteral("1");
        QCOMPARE(search::checkFindFields(FindKind::Axis, axis, textNull), textNull); // a blank letter
        axis.axis = QStringLiteral("X");
        QCOMPARE(search::checkFindFields(FindKind::Axis, axis, textNull), std::nullopt);
        axis.value.clear();
        QCOMPARE(search::checkFindFields(FindKind::Axis, axis, textNull), textNull);
    }

    // Find Next from a line: the first hit from there, or none in the whole range; an offset
    // applies to the range's first line only.
    void findNextFromALine()
    {
        const QString path = storeOf({"G01 X1", "M03", "g01 x2", "G00 Z5", "G01 X3"});
        tessarc::LineStore store;
        store.open(path, 500, false);
        const search::LineMatcher matcher(FindKind::Text, textFields("G01"));
        const search::FindResult found = search::findNext(store, matcher, {2, 5});
        QCOMPARE(found.end, SearchEnd::Complete);
        QVERIFY(found.hit);
        QCOMPARE(found.hit->line, qint64(3)); // "g01": the case is ignored
        const search::FindResult none = search::findNext(store, search::LineMatcher(FindKind::Text, textFields("M30")),
                                                         {1, 5});
        QCOMPARE(none.end, SearchEnd::Complete);
        QVERIFY(!none.hit);
        const search::FindResult later = search::findNext(store, matcher, {3, 5}, 1);
        QCOMPARE(later.hit->line, qint64(5));

        // Backwards: the last matching line of the range, never one past its first line.
        QCOMPARE(search::findPrevious(store, matcher, {1, 4}).hit->line, qint64(3));
        QCOMPARE(search::findPrevious(store, matcher, {1, 2}).hit->line, qint64(1));
        QVERIFY(!search::findPrevious(store, matcher, {2, 2}).hit);
        QVERIFY(!search::findPrevious(store, matcher, {1, 0}).hit);
    }

    // Backwards over many blocks of records: the nearest hit below the start, and a stop.
    void findPreviousAcrossBlocks()
    {
        QList<QByteArray> lines(10000, QByteArray("G01 Y1"));
        lines[99] = "G01 X1";
        lines[9000] = "G01 X2";
        tessarc::LineStore store;
        store.open(storeOf(lines), 500, false);
        const search::LineMatcher matcher(FindKind::Text, textFields("X"));
        QCOMPARE(search::findPrevious(store, matcher, {1, 10000}).hit->line, qint64(9001));
        const search::FindResult far = search::findPrevious(store, matcher, {1, 9000});
        QCOMPARE(far.hit->line, qint64(100));
        QCOMPARE(far.hit->match.at, qsizetype(4));
        QList<qint64> asked;
        const search::FindResult stopped = search::findPrevious(store, matcher, {1, 9000}, [&](qint64 searched) {
            asked.append(searched);
            return searched == 0;
        });
        QCOMPARE(stopped.end, SearchEnd::Stopped);
        QVERIFY(!stopped.hit);
        QCOMPARE(asked, (QList<qint64>{0, 4096}));
    }

    // Find (List): every matching line once, in order; a stop keeps what was found; a damaged
    // store is reported.
    void findAllListsLineNumbers()
    {
        QList<QByteArray> lines;
        for (int i = 1; i <= 10000; ++i)
            lines.append(i % 3 == 0 ? QByteArray("X1 X2 X3") : QByteArray("Y1"));
        tessarc::LineStore store;
        store.open(storeOf(lines), 500, false);
        const search::LineMatcher matcher(FindKind::Text, textFields("x"));

        const search::FindAllResult all = search::findAll(store, matcher, {1, 10000});
        QCOMPARE(all.end, SearchEnd::Complete);
        QCOMPARE(all.lines.size(), std::size_t(3333));
        QCOMPARE(all.lines.front(), qint64(3));
        QCOMPARE(all.lines.back(), qint64(9999));

        const search::FindAllResult none =
            search::findAll(store, search::LineMatcher(FindKind::Text, textFields("Z")), {1, 10000});
        QVERIFY(none.lines.empty());

        qint64 lastSeen = -1;
        const search::FindAllResult stopped = search::findAll(store, matcher, {1, 10000}, [&](qint64 searched) {
            lastSeen = searched;
            return searched < 4096;
        });
        QCOMPARE(stopped.end, SearchEnd::Stopped);
        QCOMPARE(lastSeen, qint64(4096));
        QCOMPARE(stopped.lines.size(), std::size_t(4096 / 3));
        store.close();

        // A record whose count claims more than a record holds.
        QFile raw(testEnvironment().path(QStringLiteral("search.qen.tmp")));
        QVERIFY(raw.open(QIODevice::ReadWrite));
        raw.seek(500 * 5);
        raw.write("\xff\xff", 2);
        raw.close();
        store.open(raw.fileName(), 500, false);
        const search::FindAllResult damaged = search::findAll(store, matcher, {1, 10000});
        QCOMPARE(damaged.end, SearchEnd::Failed);
        QVERIFY2(damaged.failure.contains(QStringLiteral("record 6")), qPrintable(damaged.failure));
        QCOMPARE(damaged.lines, (std::vector<qint64>{3}));

        // A row shows the line as the view does.
        QCOMPARE(search::findListRow(12, QByteArray("G01\tX1.5\xe9")), QStringLiteral("Line 12: G01(HT)X1.5\u00e9"));
    }
};

VORNEXA_TEST_MAIN(TestFind)
#include "tst_search_find.moc"
