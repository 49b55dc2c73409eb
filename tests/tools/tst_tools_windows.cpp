#include "frmmirror.h"
#include "frmop.h"
#include "pageview.h"
#include "testhost.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWindow>

// The frame every tool window shares: the range fields and their checks, the window's life, the
// operation lock and the progress on Go.
class TestToolWindows : public HostTest
{
    Q_OBJECT

    // An Operations window on the loaded program, adding `value` to X.
    std::unique_ptr<frmOp> operations(const QString &value = QStringLiteral("1"))
    {
        auto w = std::make_unique<frmOp>(*shell);
        w->Form_Load();
        w->txtAxis->setText(QStringLiteral("X"));
        w->txtValue->setText(value);
        return w;
    }

    // The Go caption, then whether the editor is locked, the busy indicator turns and the page is read-only.
    QStringList runState(tools::ToolWindow &w)
    {
        return {w.Go->text(), QString::number(shell->editor().Run), QString::number(shell->busyShown),
                QString::number(shell->editor().txtmain->isReadOnly())};
    }

private slots:
    // The range opens from the current line to the end, All Lines chosen; another program refills it.
    void opensOnTheCurrentLineAndTheWholeProgram()
    {
        shell->open(numberedLines(60));
        shell->editor().setLine(12);
        auto w = operations();
        QCOMPARE(w->StartLine->text(), QString::number(shell->editor().curLine));
        QCOMPARE(w->EndLine->text(), QStringLiteral("60"));
        QVERIFY(w->ALL->isChecked());
        QVERIFY(shell->scripted.log.isEmpty());
        shell->open(numberedLines(2));
        QCOMPARE(w->StartLine->text(), QStringLiteral("1"));
        QCOMPARE(w->EndLine->text(), QStringLiteral("2"));
    }

    void noProgramNoTool()
    {
        auto w = std::make_unique<frmOp>(*shell);
        w->Form_Load();
        QVERIFY(w->StartLine->text().isEmpty());
        QTRY_VERIFY(!w->isVisible());
        QCOMPARE(shell->messages(), QStringList{QStringLiteral("message: You must load a file before using this feature.")});
    }

    // A line outside the program typed in either field is said and reset, the start to 1 and the
    // end to the last line; a value the program sets stands until Go checks it.
    void rangeLineOutsideTheProgramIsReset()
    {
        shell->open(numberedLines(10));
        for (const bool startField : {true, false}) {
            auto w = operations();
            QLineEdit *field = startField ? w->StartLine : w->EndLine;
            const QString message = startField ? QStringLiteral("message: Sorry, that is an invalid starting line.")
                                               : QStringLiteral("message: Sorry, that is an invalid ending line.");
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
                QCOMPARE(field->text(), startField ? QStringLiteral("1") : QStringLiteral("10"));
            }
            shell->scripted.clear();
            field->setText(QStringLiteral("11"));
            QVERIFY(shell->scripted.log.isEmpty());
            QCOMPARE(field->text(), QStringLiteral("11"));
        }
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

    // Go refuses a bad start line, with All Lines chosen too, and a page the store refused (a line
    // too long for its record): the control says why (the run would otherwise be undone when the
    // page is written back); nothing changes.
    void goRefuses()
    {
        for (const bool badPage : {false, true}) {
            shell->open(numberedLines(10));
            const QList<QByteArray> before = shell->store();
            auto w = operations();
            shell->scripted.clear();
            if (badPage)
                shell->editor().txtmain->textCursor().insertText(QString(600, QLatin1Char('Y')));
            else
                w->StartLine->setText(QStringLiteral("3abc"));
            QVERIFY(w->ALL->isChecked());
            w->Go->click();
            // The window's one message without its title; the control's warning with its routine's.
            const QStringList said = badPage ? shell->scripted.log : shell->messages();
            QCOMPARE(said.size(), 1);
            QVERIFY2(badPage ? said.first().startsWith(QLatin1String("warning: TESSARC1 - LoadLine"))
                             : said.first() == QLatin1String("message: Are all the text boxes filled out correctly?"),
                     qPrintable(said.first()));
            QCOMPARE(shell->store(), before);
            QCOMPARE(runState(*w), QStringList({"&Go", "0", "0", "0"}));
        }
    }

    // The run shows its progress on Go, the editor locked meanwhile (as a timer due at once finds
    // it), and goes over the whole range; without percents it neither shows them nor lets events
    // through, so the timer never fires during it.
    void runsOverTheRangeAndShowsProgress()
    {
        for (const bool percents : {true, false}) {
            shell->open(numberedLines(201));
            shell->globalVar.numbers.calcPercent = percents;
            auto w = operations();
            QStringList during;
            QTimer::singleShot(0, w.get(), [&] { during = runState(*w); });
            w->Go->click();
            QCOMPARE(during, percents ? QStringList({"0.50%", "1", "1", "1"}) : QStringList());
            QCOMPARE(runState(*w), QStringList({"Go", "0", "0", "0"}));
            const QList<QByteArray> lines = shell->store();
            QCOMPARE(lines.first(), QByteArray("N1 X2."));
            QCOMPARE(lines.last(), QByteArray("N201 X202."));
            QCOMPARE(shell->editor().txtmain->pageLines().first(), QStringLiteral("N1 X2.")); // the page shows the store
            QVERIFY(w->isVisible());
            QVERIFY(shell->scripted.log.isEmpty());
        }
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

    // The store fails under a run (gone, cut short, or a record's count damaged): the run names the
    // line it stopped at and what changed, and gives everything back.
    void aFailingRunStillGivesTheLockBack()
    {
        const struct
        {
            int damaged; // the record whose count is damaged; 0: the store has gone; -1: cut short
            const char *line;
            const char *ends;
        } faults[] = {{0, "message: Line 1: File not found", "no line was changed."},
                      {-1, "message: Line 1: Bad record length: the line store holds 7 of", "no line was changed."},
                      {6, "message: Line 6: Bad record length",
                       "The run stopped there: lines 1 to 5 were changed, the lines from line 6 on were not."}};
        for (const auto &[damaged, line, ends] : faults) {
            shell->scripted.clear();
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
            QVERIFY2(told.first().endsWith(QLatin1String(ends)), qPrintable(told.first()));
            QVERIFY2(told.first().startsWith(QLatin1String(line)), qPrintable(told.first()));
            QCOMPARE(runState(*w), QStringList({"Go", "0", "0", "0"}));
            QVERIFY(w->close());
        }
    }

    // A tool window stays above the main window when the editor takes the focus.
    void staysAboveTheMainWindow()
    {
        shell->open(numberedLines(5));
        auto w = operations();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        shell->editor().txtmain->setFocus(); // a click in the editor
        QVERIFY(w->windowFlags().testFlag(Qt::Tool));
        QCOMPARE(w->windowHandle()->transientParent(), shell->mainWindow()->windowHandle());
        QVERIFY(w->isVisible());
    }

    void enterRunsGoAndEscapeCloses()
    {
        shell->open(numberedLines(5));
        auto w = operations();
        w->txtValue->setFocus();
        QTest::keyClick(w->txtValue, Qt::Key_Return);
        QCOMPARE(shell->store().at(0), QByteArray("N1 X2."));
        QTest::keyClick(w->txtValue, Qt::Key_Escape);
        QVERIFY(!w->isVisible());
    }
};

VORNEXA_TEST_MAIN(TestToolWindows)
#include "tst_tools_windows.moc"
