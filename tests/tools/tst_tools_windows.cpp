#include "frmmirror.h"
#include "frmop.h"
#include "pageview.h"
#include "steprecorder.h"
#include "testhost.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

// A window that collects recorded steps, as the macro editor does.
class StepCollector : public QWidget, public StepRecorder
{
public:
    void addStep(const QString &name, const QString &settings) override { steps.append({name, settings}); }
    QList<QPair<QString, QString>> steps;
};

// The fields of a step as recording joins them.
QString step(const QStringList &fields)
{
    const QString sep = QStringLiteral("\nSEP.QEN\r");
    return fields.join(sep) + sep;
}

} // namespace

// The frame every tool window shares (the range fields and their checks, the window's life, the
// operation lock and the progress on Go), and Operations and Mirror from their fields to the store.
class TestToolWindows : public HostTest
{
    Q_OBJECT

    // An Operations window on the loaded program, its fields filled in and its option (1 add ...
    // 4 divide) chosen.
    std::unique_ptr<frmOp> operations(const QString &value = QStringLiteral("1"), int option = 1,
                                      const QString &axis = QStringLiteral("X"), QWidget *owner = nullptr)
    {
        auto w = std::make_unique<frmOp>(*shell, owner);
        w->Form_Load();
        w->txtAxis->setText(axis);
        w->txtValue->setText(value);
        QRadioButton *options[] = {w->Option1, w->Option2, w->Option3, w->Option4};
        options[option - 1]->click();
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

    void noProgramNoTool()
    {
        auto w = std::make_unique<frmOp>(*shell);
        w->Form_Load();
        QVERIFY(w->StartLine->text().isEmpty());
        QTRY_VERIFY(!w->isVisible());
        QCOMPARE(shell->messages(), QStringList{QStringLiteral("message: You must load a file before using this feature.")});
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
            QTEST(field->text(), "reset");
        }
        // A value the program sets stands until Go checks it.
        shell->scripted.clear();
        field->setText(QStringLiteral("11"));
        QVERIFY(shell->scripted.log.isEmpty());
        QCOMPARE(field->text(), QStringLiteral("11"));
    }

    void rangeFieldsTakeOnlyDigitsAndChooseFromLine()
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
        // A click on "to Line" or the end field chooses From Line.
        w->ALL->setChecked(true);
        QTest::mouseClick(w->Label2, Qt::LeftButton);
        QVERIFY(w->LINE2LINE->isChecked());
        w->ALL->setChecked(true);
        w->EndLine_GotFocus();
        QVERIFY(w->LINE2LINE->isChecked());
    }

    // With All Lines chosen the range fields are still checked.
    void goRefusesABadRange()
    {
        shell->open(numberedLines(10));
        const QList<QByteArray> before = shell->store();
        auto w = operations();
        w->StartLine->setText(QStringLiteral("3abc"));
        QVERIFY(w->ALL->isChecked());
        shell->scripted.clear();
        w->Go->click();
        QCOMPARE(shell->messages(), QStringList{QStringLiteral("message: Are all the text boxes filled out correctly?")});
        QCOMPARE(shell->store(), before);
        QCOMPARE(runState(*w), QStringList({"&Go", "0", "0", "0"}));
    }

    void runsOverTheRangeAndShowsProgress()
    {
        shell->open(numberedLines(201));
        auto w = operations();
        range(*w, "1", "201");
        QStringList during;
        QTimer::singleShot(0, w.get(), [&] { during = runState(*w); });
        w->Go->click();
        QCOMPARE(during, QStringList({"0.50%", "1", "1", "1"}));
        QCOMPARE(runState(*w), QStringList({"Go", "0", "0", "0"}));
        const QList<QByteArray> lines = shell->store();
        QCOMPARE(lines.first(), QByteArray("N1 X2."));
        QCOMPARE(lines.last(), QByteArray("N201 X202."));
        QCOMPARE(shell->editor().txtmain->pageLines().first(), QStringLiteral("N1 X2.")); // the page shows the store
        QVERIFY(w->isVisible());
        QVERIFY(shell->scripted.log.isEmpty());
    }

    void aOneLineRangeShowsNoPercentage()
    {
        shell->open(numberedLines(5));
        auto w = operations(QStringLiteral("10"));
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
        auto w = operations();
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
        auto first = operations();
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
        // The first run went on to the end; the refused ones changed nothing.
        QCOMPARE(shell->store().at(0), QByteArray("N1 X2."));
        QCOMPARE(shell->store().at(99), QByteArray("N100 X101."));
        // Once it is over the windows close.
        QVERIFY(first->close());
        QVERIFY(second->close());
    }

    void aPageTheStoreRefusedHoldsTheRunBack()
    {
        shell->open(numberedLines(3));
        auto w = operations();
        const QList<QByteArray> before = shell->store();
        shell->editor().txtmain->textCursor().insertText(QString(600, QLatin1Char('Y')));
        w->Go->click();
        // The control says why; the run would otherwise be undone when the page is written back.
        QCOMPARE(shell->scripted.log.size(), 1);
        QVERIFY(shell->scripted.log.first().startsWith(QStringLiteral("warning: TESSARC1 - LoadLine")));
        QCOMPARE(shell->store(), before);
        QCOMPARE(runState(*w), QStringList({"&Go", "0", "0", "0"}));
    }

    // The store fails under a run: the run names the line it stopped at and what may have changed.
    void aFailingRunStillGivesTheLockBack_data()
    {
        QTest::addColumn<int>("damaged"); // the record whose count is damaged; 0: the store has gone; -1: cut short
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("ends");
        QTest::newRow("store gone") << 0 << "message: Line 1: File not found" << "no line was changed.";
        QTest::newRow("store cut short") << -1 << "message: Line 1: Bad record length: the line store holds 7 of"
                                         << "no line was changed.";
        QTest::newRow("record 6 damaged") << 6 << "message: Line 6: Bad record length"
                                          << "The run stopped there; the lines before it may have been changed.";
    }

    void aFailingRunStillGivesTheLockBack()
    {
        QFETCH(int, damaged);
        QFETCH(QString, line);
        QFETCH(QString, ends);
        shell->open(numberedLines(10));
        auto w = operations();
        QFile store(shell->editor().tempFile);
        if (damaged == 0)
            QVERIFY(store.remove());
        else if (damaged < 0)
            QVERIFY(store.resize(7 * 500));
        else
            QVERIFY(store.open(QIODevice::ReadWrite) && store.seek((damaged - 1) * 500) &&
                    store.write("\xff\x7f", 2) == 2);
        store.close();
        w->Go->click();
        // The editor reports its own failures to show the page; the run says where it stopped.
        const QStringList told = shell->messages().filter(QStringLiteral("message: "));
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().endsWith(ends), qPrintable(told.first()));
        QVERIFY2(told.first().startsWith(line), qPrintable(told.first()));
        QCOMPARE(runState(*w), QStringList({"Go", "0", "0", "0"}));
        QVERIFY(w->close());
    }

    void aLineTooLongForItsRecordStopsTheRun()
    {
        shell->globalVar.numbers.spaces = false;
        shell->editor().recLen = 20; // lines of at most 18 characters
        shell->open({"X1Y2", "X1Y2", "N3 X1Y22222222222", "X1"});
        operations(QStringLiteral("0.25"))->Go->click();
        QCOMPARE(shell->messages(),
                 QStringList{QStringLiteral("message: Line 3: ") + tools::lineFaultText(tools::LineFault::TooLong) +
                             QStringLiteral(" The run stopped there: lines 1 to 2 were changed, the lines from line 3 "
                                            "on were not.")});
        QVERIFY(!shell->editor().Run);
        QVERIFY(!shell->editor().txtmain->isReadOnly());
        // The program is still whole: it saves as it now stands.
        const QString saved = testEnvironment().path(QStringLiteral("after-stop.nc"));
        shell->editor().saveFile(saved);
        QCOMPARE(readBytes(saved), QByteArray("X1.25Y2\r\nX1.25Y2\r\nN3 X1Y22222222222\r\nX1\r\n"));
    }

    void operationsRewriteTheStore_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("axis");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("add 0.5 to X, spaces on") << 1 << "X" << "0.5" << true
            << QList<QByteArray>{"G01 X1.5Y2.", "G01 Y2.", "x2.", "(EX0.5AMPLE) X1.", "G01X-1.Y2.", "X1.5"};
        QTest::newRow("add 0.5 to X, spaces off") << 1 << "X" << "0.5" << false
            << QList<QByteArray>{"G01 X1.5 Y2.", "G01 Y2.", "x2.", "(EX0.5AMPLE) X1.", "G01X-1.Y2.", "X1.5"};
        QTest::newRow("subtract 2 from x") << 2 << "x" << "2" << true
            << QList<QByteArray>{"G01 X-1.Y2.", "G01 Y2.", "x-0.5", "(EX-2.AMPLE) X1.", "G01X-3.5Y2.", "X-1."};
        QTest::newRow("multiply Y by 2") << 3 << "Y" << "2" << true
            << QList<QByteArray>{"G01 X1. Y4.", "G01 Y4.", "x1.5", "(EXAMPLE) X1.", "G01X-1.5Y4.", "X1.0000"};
        QTest::newRow("divide X by 4") << 4 << "X" << "4" << false
            << QList<QByteArray>{"G01 X0.25 Y2.", "G01 Y2.", "x0.375", "(EX0.AMPLE) X1.", "G01X-0.375Y2.", "X0.25"};
    }

    void operationsRewriteTheStore()
    {
        QFETCH(int, option);
        QFETCH(QString, axis);
        QFETCH(QString, value);
        QFETCH(bool, spaces);
        shell->globalVar.numbers.spaces = spaces;
        const QList<QByteArray> lines{"G01 X1. Y2.", "G01 Y2.", "x1.5", "(EXAMPLE) X1.", "G01X-1.5Y2.", "X1.0000"};
        shell->open(lines);
        operations(value, option, axis)->Go->click();
        QTEST(shell->store(), "expected");
        QVERIFY(shell->scripted.log.isEmpty());
        shell->checkUndoRedo(lines);
    }

    void operationsRefuseFieldsThatCannotRun_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("axis");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no letter") << 1 << "" << "1" << "Are all the text boxes filled out correctly?";
        QTest::newRow("divide by 0") << 4 << "X" << "0" << tools::divideByZeroText();
    }

    void operationsRefuseFieldsThatCannotRun()
    {
        QFETCH(int, option);
        QFETCH(QString, axis);
        QFETCH(QString, value);
        QFETCH(QString, shown);
        shell->open(numberedLines(4));
        const QList<QByteArray> before = shell->store();
        operations(value, option, axis)->Go->click();
        QCOMPARE(shell->messages(), QStringList{QStringLiteral("message: ") + shown});
        QCOMPARE(shell->store(), before);
        QVERIFY(!shell->busyShown);
    }

    void mirrorRewritesTheStore_data()
    {
        QTest::addColumn<QString>("at");
        QTest::addColumn<bool>("arcs");
        QTest::addColumn<bool>("compensation");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("at 0, both swaps, spaces off") << "0" << true << true << false
            << QList<QByteArray>{"G03 X-1.5 Y2. I-1.5", "G02 x-1.", "G42 G41 Y1", "X0. 4.", "G2 X2.5"};
        QTest::newRow("at 10, arcs only, spaces on") << "10" << true << false << true
            << QList<QByteArray>{"G03 X18.5Y2. I-1.5", "G02 x19.", "G41 G42 Y1", "X16.", "G2 X22.5"};
        QTest::newRow("at 10, compensation only, spaces off") << "10" << false << true << false
            << QList<QByteArray>{"G02 X18.5 Y2. I-1.5", "g03 x19.", "G42 G41 Y1", "X20. 4.", "G2 X22.5"};
    }

    void mirrorRewritesTheStore()
    {
        QFETCH(QString, at);
        QFETCH(bool, arcs);
        QFETCH(bool, compensation);
        QFETCH(bool, spaces);
        shell->globalVar.numbers.spaces = spaces;
        // On line 4 a space follows the letter: with spaces off no number follows it.
        const QList<QByteArray> lines{"G02 X1.5 Y2. I-1.5", "g03 x1.", "G41 G42 Y1", "X 4.", "G2 X-2.5"};
        shell->open(lines);
        frmMirror w(*shell);
        w.Form_Load();
        w.txtAxis->setText(QStringLiteral("X"));
        w.txtValue->setText(at);
        w.g02g03->setChecked(arcs);
        w.g41g42->setChecked(compensation);
        w.Go->click();
        QTEST(shell->store(), "expected");
        shell->checkUndoRedo(lines);
        QVERIFY(shell->scripted.log.isEmpty());
    }

    // Opened from a recorder (the macro editor), Go hands over the step instead of running.
    void aRecorderOwnerGetsTheStepInsteadOfARun()
    {
        shell->open(numberedLines(6));
        const QList<QByteArray> before = shell->store();
        StepCollector macroEditor;
        auto *w = new frmMirror(*shell, &macroEditor);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->Form_Load();
        w->txtAxis->setText(QStringLiteral("Y"));
        w->txtValue->setText(QStringLiteral("2.5"));
        w->g41g42->setChecked(false);
        w->LINE2LINE->setChecked(true);
        w->StartLine->setText(QStringLiteral("2"));
        QPointer<frmMirror> alive(w);
        w->Go->click();
        QTRY_VERIFY(!alive); // the window closes
        operations(QStringLiteral("0.5"), 3, QStringLiteral("F"), &macroEditor)->Go->click();
        QCOMPARE(macroEditor.steps,
                 (QList<QPair<QString, QString>>{
                     {QStringLiteral("Mirror"), step({"2.5", "Y", "False", "True", "2", "6", "1", "0"})},
                     {QStringLiteral("Operations"),
                      step({"False", "False", "True", "False", "0.5", "F", "True", "False", "1", "6"})}}));
        QCOMPARE(shell->store(), before);
        QVERIFY(!shell->busyShown);
    }
};

VORNEXA_TEST_MAIN(TestToolWindows)
#include "tst_tools_windows.moc"
