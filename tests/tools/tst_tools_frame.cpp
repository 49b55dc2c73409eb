#include "frmmirror.h"
#include "frmop.h"
#include "pageview.h"
#include "testhost.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>

// The frame every tool window shares, exercised through Operations: the range fields and their
// checks, the window's life, the operation lock and the progress on Go.
class TestFrame : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHost> shell;

    // An Operations window on the loaded program, ready to add `value` to X.
    std::unique_ptr<frmOp> operations(const char *value = "1")
    {
        auto w = std::make_unique<frmOp>(*shell);
        w->Form_Load();
        w->txtAxis->setText(QStringLiteral("X"));
        w->txtValue->setText(QString::fromLatin1(value));
        return w;
    }

    void range(tools::ToolWindow &w, const char *start, const char *end)
    {
        w.LINE2LINE->setChecked(true);
        w.StartLine->setText(QString::fromLatin1(start));
        w.EndLine->setText(QString::fromLatin1(end));
    }

    // The Go caption, then whether the editor is locked, the busy indicator turns and the page is read-only.
    QStringList runState(tools::ToolWindow &w)
    {
        return {w.Go->text(), QString::number(shell->editor().Run), QString::number(shell->busyShown),
                QString::number(shell->editor().txtmain->isReadOnly())};
    }

private slots:
    void init()
    {
        shell = std::make_unique<TestHost>();
    }

    void cleanup()
    {
        QVERIFY2(shell->scripted.unexpected.isEmpty(), qPrintable(shell->scripted.unexpected.join(QLatin1Char('\n'))));
        shell.reset();
    }

    void opensOnTheCurrentLineAndTheWholeProgram()
    {
        shell->open(numberedLines(60));
        shell->editor().setLine(12);
        auto w = operations();
        QCOMPARE(w->StartLine->text(), QString::number(shell->editor().curLine));
        QCOMPARE(w->EndLine->text(), QStringLiteral("60"));
        QVERIFY(w->ALL->isChecked());
        QVERIFY(shell->scripted.log.isEmpty());
    }

    void rangeLineOutsideTheProgramIsReset_data()
    {
        QTest::addColumn<bool>("startField");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reset");
        QTest::newRow("start") << true << "message: Sorry, that is an invalid starting line." << "1";
        QTest::newRow("end") << false << "message: Sorry, that is an invalid ending line." << "10";
    }
    void rangeLineOutsideTheProgramIsReset()
    {
        QFETCH(bool, startField);
        QFETCH(QString, message);
        QFETCH(QString, reset);
        shell->open(numberedLines(10));
        auto w = operations();
        QLineEdit *field = startField ? w->StartLine : w->EndLine;
        // What the machinist types is checked as it changes.
        for (const char *bad : {"0", "11", ""}) {
            shell->scripted.clear();
            field->setText(QStringLiteral("5"));
            field->selectAll();
            if (*bad)
                QTest::keyClicks(field, QString::fromLatin1(bad));
            else
                QTest::keyClick(field, Qt::Key_Delete);
            QCOMPARE(shell->messages(), QStringList{message});
            QCOMPARE(field->text(), reset);
        }
        // A value the program sets stands until Go checks it.
        shell->scripted.clear();
        field->setText(QStringLiteral("11"));
        QVERIFY(shell->scripted.log.isEmpty());
        QCOMPARE(field->text(), QStringLiteral("11"));
    }

    void goRefusesABadRange_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("start after end") << false << "5" << "4";
        QTest::newRow("all lines, start not a number") << true << "3abc" << "10";
        QTest::newRow("all lines, start after end") << true << "6" << "2";
    }
    void goRefusesABadRange()
    {
        QFETCH(bool, all);
        QFETCH(QString, start);
        QFETCH(QString, end);
        shell->open(numberedLines(10));
        const QList<QByteArray> before = shell->store();
        auto w = operations();
        w->StartLine->setText(start);
        w->EndLine->setText(end);
        (all ? w->ALL : w->LINE2LINE)->setChecked(true);
        shell->scripted.clear();
        w->Go->click();
        QCOMPARE(shell->messages(), QStringList{QStringLiteral("message: Are all the text boxes filled out correctly?")});
        QCOMPARE(shell->store(), before);
        QCOMPARE(runState(*w), QStringList({"&Go", "0", "0", "0"}));
    }

    void rangeFieldsTakeOnlyDigits()
    {
        shell->open(numberedLines(30));
        auto w = operations();
        w->StartLine->setText(QStringLiteral("2"));
        w->StartLine->setFocus();
        w->StartLine->end(false);
        shell->scripted.clear();
        QTest::keyClick(w->StartLine, Qt::Key_A);
        QTest::keyClick(w->StartLine, Qt::Key_Period);
        QTest::keyClick(w->StartLine, Qt::Key_Minus);
        QCOMPARE(shell->scripted.log, QStringList({QStringLiteral("beep"), QStringLiteral("beep"), QStringLiteral("beep")}));
        QCOMPARE(w->StartLine->text(), QStringLiteral("2"));
        shell->scripted.clear();
        QTest::keyClick(w->StartLine, Qt::Key_5);
        QCOMPARE(w->StartLine->text(), QStringLiteral("25"));
        QTest::keyClick(w->StartLine, Qt::Key_Backspace);
        QCOMPARE(w->StartLine->text(), QStringLiteral("2"));
        QVERIFY(shell->scripted.log.isEmpty());
    }

    void theRangeFieldsChooseFromLine()
    {
        shell->open(numberedLines(10));
        auto w = operations();
        QVERIFY(w->ALL->isChecked());
        QTest::mouseClick(w->Label2, Qt::LeftButton);
        QVERIFY(w->LINE2LINE->isChecked());
        w->ALL->setChecked(true);
        w->EndLine_GotFocus();
        QVERIFY(w->LINE2LINE->isChecked());
    }

    void runsOverTheRangeAndShowsProgress()
    {
        shell->open(numberedLines(201));
        auto w = operations("1");
        range(*w, "1", "201");
        QStringList during;
        QTimer::singleShot(0, w.get(), [&] { during = runState(*w); });
        w->Go->click();
        QCOMPARE(during, QStringList({"0.50%", "1", "1", "1"}));
        QCOMPARE(runState(*w), QStringList({"Go", "0", "0", "0"}));
        const QList<QByteArray> lines = shell->store();
        QCOMPARE(lines.first(), QByteArray("N1 X2."));
        QCOMPARE(lines.last(), QByteArray("N201 X202."));
        // The page shows what the store now holds.
        QCOMPARE(shell->editor().txtmain->pageLines().first(), QStringLiteral("N1 X2."));
        QVERIFY(w->isVisible());
        QVERIFY(shell->scripted.log.isEmpty());
    }

    void aOneLineRangeShowsNoPercentage()
    {
        shell->open(numberedLines(5));
        auto w = operations("10");
        range(*w, "3", "3");
        QString captionDuring;
        QTimer::singleShot(0, w.get(), [&] { captionDuring = w->Go->text(); });
        w->Go->click();
        QCOMPARE(captionDuring, QStringLiteral("&Go"));
        QCOMPARE(w->Go->text(), QStringLiteral("Go"));
        QCOMPARE(shell->store(), QList<QByteArray>({"N1 X1", "N2 X2", "N3 X13.", "N4 X4", "N5 X5"}));
    }

    void withoutPercentsTheRunNeitherShowsNorYields()
    {
        shell->open(numberedLines(50));
        shell->globalVar.numbers.calcPercent = false;
        auto w = operations("1");
        bool fired = false;
        QTimer::singleShot(0, w.get(), [&] { fired = true; });
        w->Go->click();
        QVERIFY(!fired);
        QCOMPARE(w->Go->text(), QStringLiteral("Go"));
        QCOMPARE(shell->store().at(49), QByteArray("N50 X51."));
    }

    void aSecondOperationIsRefusedAndTheWindowStaysOpen()
    {
        shell->open(numberedLines(100));
        auto first = operations("1");
        auto second = std::make_unique<frmMirror>(*shell);
        second->Form_Load();
        second->txtAxis->setText(QStringLiteral("X"));
        second->txtValue->setText(QStringLiteral("0"));
        bool closed = true;
        bool secondClosed = true;
        bool secondGoEnabled = true;
        QTimer::singleShot(0, first.get(), [&] {
            secondGoEnabled = second->Go->isEnabled(); // another window's Go waits for the run
            second->Go_Click();
            first->Go->click();
            closed = first->close();
            secondClosed = second->close();
        });
        first->Go->click();
        const QString busy = QStringLiteral(
            "message: An operation is currently being preformed on this file, please wait for it to stop and then try again.");
        QCOMPARE(shell->messages(), QStringList({busy, busy}));
        QVERIFY(!secondGoEnabled);
        QVERIFY(second->Go->isEnabled());
        QVERIFY(!closed);
        QVERIFY(!secondClosed);
        QVERIFY(first->isVisible());
        QVERIFY(second->isVisible());
        // The first run went on to the end; the refused ones changed nothing.
        QCOMPARE(shell->store().at(0), QByteArray("N1 X2."));
        QCOMPARE(shell->store().at(99), QByteArray("N100 X101."));
        // Once it is over the windows close.
        QVERIFY(first->close());
        QVERIFY(second->close());
    }

    void noProgramNoTool()
    {
        auto w = std::make_unique<frmOp>(*shell);
        w->Form_Load();
        QVERIFY(w->StartLine->text().isEmpty());
        QTRY_VERIFY(!w->isVisible());
        QCOMPARE(shell->messages(), QStringList{QStringLiteral("message: You must load a file before using this feature.")});
    }

    void aFailingRunStillGivesTheLockBack()
    {
        shell->open(numberedLines(10));
        auto w = operations("1");
        // The store has gone from under the editor.
        QVERIFY(QFile::remove(shell->editor().tempFile));
        w->Go->click();
        // The editor reports its own failures to show the page; the run names the line it stopped at.
        const QStringList told = shell->messages().filter(QRegularExpression(QStringLiteral("^message: ")));
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().startsWith(QStringLiteral("message: Line 1: File not found")), qPrintable(told.first()));
        QVERIFY2(told.first().endsWith(QStringLiteral("no line was changed.")), qPrintable(told.first()));
        QCOMPARE(runState(*w), QStringList({"Go", "0", "0", "0"}));
        QVERIFY(w->close());
    }
};

VORNEXA_TEST_MAIN(TestFrame)
#include "tst_tools_frame.moc"
