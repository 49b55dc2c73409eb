#include "filter.h"
#include "linerun.h"
#include "testenv.h"

using Lines = QList<QByteArray>;

class TestFilter : public QObject
{
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<QString>("tolerance");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<Lines>("expected");
        QTest::addColumn<double>("kept"); // the last value kept afterwards
        QTest::newRow("small change taken out") << "0.01" << false << Lines{"X1.", "X1.005", "X1.02"}
                                                << Lines{"X1.", "", "X1.02"} << 1.02;
        QTest::newRow("word taken out, spaces off") << "0.01" << false << Lines{"X1.", "G01 X1. Y2."}
                                                    << Lines{"X1.", "G01  Y2."} << 1.0;
        QTest::newRow("word taken out, spaces on") << "0.01" << true << Lines{"X1.", "G01 X1. Y2."}
                                                   << Lines{"X1.", "G01 Y2."} << 1.0;
        QTest::newRow("tolerance 0: only the same value goes") << "0" << false << Lines{"X1.", "X1.0", "X1.0001"}
                                                               << Lines{"X1.", "", "X1.0001"} << 1.0001;
        QTest::newRow("a negative tolerance counts as positive") << "-0.01" << false << Lines{"X1.", "x1.005"}
                                                                 << Lines{"X1.", ""} << 1.0;
        QTest::newRow("the first word stays, even at 0") << "0.5" << false << Lines{"X0.", "X0.2", "X-0.6"}
                                                         << Lines{"X0.", "", "X-0.6"} << -0.6;
        QTest::newRow("a value and its negative differ") << "0.01" << false << Lines{"X1.", "X-1.", "X-1.001"}
                                                         << Lines{"X1.", "X-1.", ""} << -1.0;
        QTest::newRow("lines without the letter move nothing") << "0.01" << false << Lines{"X1.", "Y5.", "X1.009"}
                                                               << Lines{"X1.", "Y5.", ""} << 1.0;
        QTest::newRow("a letter with no digit is no word") << "1" << true
                                                           << Lines{"(MAX DEPTH)", "G01 X", "X0.", "X0.5"}
                                                           << Lines{"(MAX DEPTH)", "G01 X", "X0.", ""} << 0.0;
        QTest::newRow("an arc keeps its end point") << "0.01" << false
                                                    << Lines{"X1.", "G2 X1.001 Y1 I1", "X1.002 R2", "X1.003"}
                                                    << Lines{"X1.", "G2 X1.001 Y1 I1", "X1.002 R2", ""} << 1.002;
        QTest::newRow("an expression moves nothing") << "0.01" << false << Lines{"X1.", "X[#1]", "X1.001"}
                                                     << Lines{"X1.", "X[#1]", ""} << 1.0;
    }

    void runs()
    {
        QFETCH(QString, tolerance);
        QFETCH(bool, spaces);
        QFETCH(Lines, lines);
        tools::LineRules rules;
        rules.spaces = spaces;
        tools::FilterWork work(tools::FilterSettings{QStringLiteral("X"), tolerance}, rules);
        QVERIFY(!work.anyKept());
        const LineRun run = runLines(work, lines);
        QTEST(run.lines, "expected");
        QCOMPARE(run.stoppedAt, -1);
        QVERIFY(work.anyKept());
        QTEST(work.lastKept(), "kept");
    }

    void checkFields_data()
    {
        QTest::addColumn<QString>("axis");
        QTest::addColumn<QString>("tolerance");
        QTest::addColumn<bool>("refused");
        QTest::newRow("filled in") << "X" << "0.001" << false;
        QTest::newRow("empty tolerance") << "X" << "" << true;
        QTest::newRow("tolerance not numeric") << "X" << "0,1" << true;
        QTest::newRow("empty axis") << "" << "1" << true;
        QTest::newRow("blank axis") << " " << "1" << true;
    }

    void checkFields()
    {
        QFETCH(QString, axis);
        QFETCH(QString, tolerance);
        QFETCH(bool, refused);
        const std::optional<QString> got =
            tools::checkFields(tools::FilterSettings{axis, tolerance}, QStringLiteral("TEXTNULL"));
        QCOMPARE(got.value_or(QString()), refused ? QStringLiteral("TEXTNULL") : QString());
    }
};

VORNEXA_TEST_MAIN(TestFilter)
#include "tst_tools_filter.moc"
