#include "linerange.h"
#include "steptext.h"
#include "testenv.h"

using tools::LineRange;
using tools::RangeFields;

class TestRange : public QObject
{
    Q_OBJECT

private slots:
    void fieldChecks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("upperTest");
        QTest::addColumn<bool>("startRefused");
        QTest::addColumn<bool>("endRefused");
        // A program of 10 lines.
        QTest::newRow("first line") << "1" << true << false << false;
        QTest::newRow("last line") << "10" << true << false << false;
        QTest::newRow("past the end") << "11" << true << true << true;
        QTest::newRow("past the end, no upper test") << "11" << false << false << true;
        QTest::newRow("zero") << "0" << true << true << true;
        QTest::newRow("cleared") << "" << true << true << true;
        QTest::newRow("letters read as 0") << "abc" << false << true << true;
        QTest::newRow("leading number of a mixed text") << "7x" << true << false << false;
    }
    void fieldChecks()
    {
        QFETCH(QString, text);
        QFETCH(bool, upperTest);
        QFETCH(bool, startRefused);
        QFETCH(bool, endRefused);
        QCOMPARE(tools::startLineRefused(text, 10, upperTest), startRefused);
        QCOMPARE(tools::endLineRefused(text, 10), endRefused);
    }

    void checkRange_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("runs");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::newRow("from line 3 to 7") << false << "3" << "7" << true << qint64(3) << qint64(7);
        QTest::newRow("one line") << false << "4" << "4" << true << qint64(4) << qint64(4);
        QTest::newRow("whole numbers of the fields") << false << "2.9" << "5.5" << true << qint64(2) << qint64(5);
        QTest::newRow("all lines whatever the fields say") << true << "3" << "7" << true << qint64(1) << qint64(10);
        QTest::newRow("start after end") << false << "5" << "4" << false << qint64(0) << qint64(0);
        QTest::newRow("start after end, all lines") << true << "5" << "4" << false << qint64(0) << qint64(0);
        QTest::newRow("start 0") << false << "0" << "4" << false << qint64(0) << qint64(0);
        QTest::newRow("end past the program") << false << "1" << "11" << false << qint64(0) << qint64(0);
        QTest::newRow("start not a number, all lines") << true << "3abc" << "7" << false << qint64(0) << qint64(0);
        QTest::newRow("end empty, all lines") << true << "1" << "" << false << qint64(0) << qint64(0);
        QTest::newRow("spaces around the numbers") << false << " 2 " << " 3" << true << qint64(2) << qint64(3);
    }
    void checkRange()
    {
        QFETCH(bool, all);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, runs);
        const RangeFields fields{all, !all, start, end};
        const std::optional<LineRange> range = tools::checkRange(fields, 10);
        QCOMPARE(range.has_value(), runs);
        if (runs) {
            QTEST(range->first, "first");
            QTEST(range->last, "last");
        }
    }

    void progressCaption_data()
    {
        QTest::addColumn<qint64>("counter");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("caption");
        QTest::newRow("first of 201 lines") << qint64(1) << qint64(1) << qint64(201) << "0.00" << "0.50%";
        QTest::newRow("half way") << qint64(100) << qint64(1) << qint64(201) << "0.00" << "50.00%";
        QTest::newRow("the last line shows over 100") << qint64(201) << qint64(1) << qint64(201) << "0.00" << "100.50%";
        QTest::newRow("counted against the span, not the start") << qint64(1) << qint64(50) << qint64(54) << "0.00" << "25.00%";
        QTest::newRow("no decimals") << qint64(1) << qint64(1) << qint64(4) << "0." << "33.%";
        QTest::newRow("one line shows nothing") << qint64(1) << qint64(7) << qint64(7) << "0.00" << QString();
    }
    void progressCaption()
    {
        QFETCH(qint64, counter);
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QFETCH(QString, format);
        QFETCH(QString, caption);
        const std::optional<QString> shown = tools::progressCaption(counter, LineRange{first, last}, format);
        QCOMPARE(shown.value_or(QString()), caption);
        QCOMPARE(shown.has_value(), !caption.isEmpty());
    }

    void stepTextKeepsFieldsApart()
    {
        // A field holding the separator's pieces, or nothing at all, still takes exactly one slot.
        const QString sep = QStringLiteral("\nSEP.QEN\r");
        tools::StepText step(sep);
        step.text(QString()).text(QStringLiteral("SEP.QEN")).option(true).check(false);
        QCOMPARE(step.result(), QString(sep + "SEP.QEN" + sep + "True" + sep + "0" + sep));
        QCOMPARE(step.result().count(sep), 4);
    }
};

VORNEXA_TEST_MAIN(TestRange)
#include "tst_tools_range.moc"
