#include "findlistmodel.h"
#include "frmfind.h"
#include "frmfindlist.h"
#include "frmreplace.h"
#include "history.h"
#include "mainform.h"
#include "pageview.h"
#include "pdftext.h"
#include "printing.h"
#include "resultlist.h"
#include "searchwindows.h"
#include "testhost.h"
#include "toolwindows.h"
#include "toolwindowtest.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

class TestSearchWindows : public HostTest
{
    Q_OBJECT

    // The main window with the search and tool windows, on a program of `text`.
    std::unique_ptr<mainform> mainWindow(const QByteArray &text)
    {
        auto main = std::make_unique<mainform>(shell->scripted);
        search::registerWindows(*main);
        tools::registerWindows(*main);
        main->Form_Load({writeTestFile(QStringLiteral("main.nc"), text)});
        return main;
    }

private slots:
    void initTestCase()
    {
        // This machine's printers, if any, are never used: the listings go to PDF files.
        qputenv("CUPS_SERVER", QFile::encodeName(testEnvironment().path(QStringLiteral("no-cups.sock"))));
        QVERIFY(printing::defaultPrinterName().isEmpty());
    }

    // Find Next goes from hit to hit, selecting each, and stops at the end of the range: a hit on
    // the last line leaves StartLine past it, so the next press fails the range check.
    void findNextStepsThroughTheHits()
    {
        shell->open({"G00 X0", "N2 G01 X1", "M6", "n4 g01 x2", "\tG01 X3"});
        Find w(*shell);
        w.Form_Load();
        w.txtFind->setText(QStringLiteral("g01"));
        const QList<std::pair<int, QString>> hits = {{2, "G01"}, {4, "g01"}, {5, "G01"}};
        for (const auto &[line, selected] : hits) {
            w.Go->click();
            QVERIFY(shell->scripted.log.isEmpty());
            QCOMPARE(shell->editor().curLine, line);
            QCOMPARE(shell->editor().getSel(), selected);
            QCOMPARE(w.StartLine->text(), QString::number(line + 1));
            QVERIFY(w.LINE2LINE->isChecked());
            QCOMPARE(w.Go->text(), QStringLiteral("Find Next"));
            QVERIFY(shell->allGivenBack());
        }
        w.Go->click();
        QCOMPARE(shell->messages(), QStringList{"message: Are all the text boxes filled out correctly?"});
        QCOMPARE(shell->editor().curLine, 5);

        // Match Case finds only the exact case; a range without a hit says so and keeps StartLine.
        shell->scripted.clear();
        w.case1->setChecked(true);
        w.StartLine->setText(QStringLiteral("1"));
        w.Go->click();
        QCOMPARE(shell->editor().curLine, 4);
        w.Go->click();
        QCOMPARE(shell->scripted.log, QStringList{"message: VORNEXA SEARCH: Done Searching."});
        QCOMPARE(w.StartLine->text(), QStringLiteral("5"));
        QVERIFY(shell->allGivenBack());
    }

    // An axis search selects the word it finds: above 1.5; above 3, the value inside the comment
    // passed over; and = 0 never holds on a letter with no number. Each search opens the program
    // again over the last one's hit, as opening a file after a search does: the page's text is
    // replaced while a word is selected.
    void axisSearchSelectsTheWord()
    {
        const std::tuple<const char *, const char *, int, const char *> searches[] = { // the line 0: no hit
            {"g", "1.5", 1, "x2.25"}, {"g", "3", 4, "X 5"}, {"e", "0", 0, ""}};
        for (const auto &[option, value, line, selected] : searches) {
            shell->scripted.clear();
            shell->open({"G1 x2.25", "(AT X5) Y1", "G01 X Y2", "X 5  Y1"});
            Find w(*shell);
            w.Form_Load();
            QVERIFY(setFields(w, {"txtAxis=X", QLatin1String(option) + "=True", "txtValue=" + QLatin1String(value)}));
            w.ALL->setChecked(true);
            w.go2->click();
            if (line == 0) {
                QCOMPARE(shell->scripted.log, QStringList{"message: VORNEXA SEARCH: Done Searching."});
                QVERIFY(shell->notes.constLast().contains(QStringLiteral(": nothing found in ")));
                continue;
            }
            QVERIFY(shell->scripted.log.isEmpty());
            QCOMPARE(shell->editor().curLine, line);
            QCOMPARE(shell->editor().getSel(), QLatin1String(selected));
            QVERIFY(shell->notes.constLast().contains(QStringLiteral(": found on line %1 in ").arg(line)));
            QCOMPARE(w.go2->text(), QStringLiteral("Find Next"));
            QCOMPARE(w.Go->text(), QStringLiteral("&Find"));
        }
    }

    // The context menu's Find opens Find, through its menu item, with the selection to find.
    void contextMenuFindTakesTheSelection()
    {
        const auto main = mainWindow("G01 X1\r\nM30\r\n");
        main->TESSARC1->selectText(0, 3);
        main->item(QStringLiteral("pFind"))->trigger();
        auto *find = qobject_cast<Find *>(main->window(QStringLiteral("findButton")));
        QVERIFY(find && find->isVisible());
        QCOMPARE(find->txtFind->text(), QStringLiteral("G01"));
        main->TESSARC1->done();
    }

    // A search or tool window shown from its menu item is the active window, below the menu bar:
    // what is typed next goes into its field, never into the program under it.
    void windowsOpenActiveBesideTheText()
    {
        const auto main = mainWindow("G01 X1\r\nM30\r\n");
        main->show();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
        for (const char *item : {"findButton", "replace1", "Operations1"}) {
            main->item(QLatin1String(item))->trigger();
            QWidget *tool = main->window(QLatin1String(item));
            QVERIFY2(tool, item);
            QTRY_COMPARE(QApplication::activeWindow(), tool);
            auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            QVERIFY2(field && tool->isAncestorOf(field), item);
            QTest::keyClicks(field, QStringLiteral("X"));
            QVERIFY2(field->text().endsWith(QStringLiteral("X")), item);
            QCOMPARE(main->TESSARC1->txtmain->pageLines().first(), QStringLiteral("G01 X1"));
            QVERIFY2(tool->frameGeometry().top() > main->mapToGlobal(main->menuBar()->geometry().bottomLeft()).y(), item);
            tool->close();
        }
        main->TESSARC1->done();
    }

    // F3 finds the next hit of the Find window's text; Ctrl+G puts the keyboard in the top line box.
    void findNextAndGoToLine()
    {
        const auto main = mainWindow("G01 X1\r\nM30\r\nG01 X2\r\nM30\r\n");
        main->show();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
        main->item(QStringLiteral("findNext"))->trigger(); // Find opens, waiting for its text
        auto *find = qobject_cast<Find *>(main->window(QStringLiteral("findButton")));
        QVERIFY(find && find->isVisible());
        QCOMPARE(main->TESSARC1->curLine, 1);
        find->txtFind->setText(QStringLiteral("X2"));
        main->item(QStringLiteral("findNext"))->trigger();
        QCOMPARE(main->TESSARC1->curLine, 3);
        QCOMPARE(main->TESSARC1->getSel(), QStringLiteral("X2"));

        // Shift+F3 goes back from the hit, never past the first line; F3 goes on from where it stands.
        find->txtFind->setText(QStringLiteral("G01"));
        const QList<std::pair<const char *, int>> keys = {
            {"findPrevious", 1}, {"findPrevious", 0}, {"findNext", 3}, {"findPrevious", 1}};
        for (const auto &[key, line] : keys) {
            shell->scripted.clear();
            main->item(QLatin1String(key))->trigger();
            QCOMPARE(shell->messages(), line ? QStringList() : QStringList{"message: VORNEXA SEARCH: Done Searching."});
            QCOMPARE(main->TESSARC1->curLine, line ? line : 1);
            QVERIFY(!main->TESSARC1->Run && !main->TESSARC1->txtmain->isReadOnly());
        }
        QCOMPARE(main->TESSARC1->getSel(), QStringLiteral("G01"));
        // The axis search, once pressed, is what F3 runs again.
        find->txtAxis->setText(QStringLiteral("X"));
        find->txtValue->setText(QStringLiteral("1.5"));
        find->go2->click();
        QCOMPARE(main->TESSARC1->curLine, 3);
        main->item(QStringLiteral("findPrevious"))->trigger();
        QCOMPARE(shell->messages(), QStringList{"message: VORNEXA SEARCH: Done Searching."});
        shell->scripted.clear();
        main->item(QStringLiteral("gotoLine"))->trigger();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(main->TESSARC1->c));
        QCOMPARE(main->TESSARC1->c->selectedText(), main->TESSARC1->c->text());
        QCOMPARE(shell->messages(), QStringList());
        main->TESSARC1->done();
    }

    // Each button's action on the lines where it applies, and the run's note with its counts: a
    // line whose condition word holds an expression is left alone and counted.
    void replaceRunsThePressedAction_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QList<QByteArray>>("after");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("note");
        const QList<QByteArray> before = {"ab AB", "G01 X10 Y5", "G01 X10", "G01 X2 Y1", "G01 X[#1] Y5"};
        const QString textNull = QStringLiteral("message: Are all the text boxes filled out correctly?");
        const QString lines = QStringLiteral("Replace: lines 1 to 5: ");
        const QString xAlone = QStringLiteral(", 1 line left alone: X holds an expression");
        QTest::newRow("text, match case: only the case matched")
            << "Go" << QStringList{"txtFind=ab", "txtReplace=x", "case1=1"}
            << QList<QByteArray>{"x AB", "G01 X10 Y5", "G01 X10", "G01 X2 Y1", "G01 X[#1] Y5"} << ""
            << lines + "1 line changed";
        QTest::newRow("text, append") << "Go" << QStringList{"txtFind=x1", "txtReplace= M8", "r3=True"}
                                      << QList<QByteArray>{"ab AB", "G01 X10 Y5 M8", "G01 X10 M8", "G01 X2 Y1",
                                                           "G01 X[#1] Y5"}
                                      << "" << lines + "2 lines changed";
        QTest::newRow("set a value; a line without the letter stays")
            << "go2" << QStringList{"txtAxis=X", "txtValue=5", "txtReplaceAxis=Y", "txtReplaceValue=7.5"}
            << QList<QByteArray>{"ab AB", "G01 X10 Y7.500", "G01 X10", "G01 X2 Y1", "G01 X[#1] Y5"} << ""
            << lines + "1 line changed, 1 line left alone: X or Y holds an expression";
        QTest::newRow("then replace, where X < > 10")
            << "go3" << QStringList{"txtAxis=X", "n=True", "txtValue=10", "Text1=g01", "Text2=G1"}
            << QList<QByteArray>{"ab AB", "G01 X10 Y5", "G01 X10", "G1 X2 Y1", "G01 X[#1] Y5"} << ""
            << lines + "1 line changed" + xAlone;
        QTest::newRow("whole line emptied, the line kept")
            << "go4" << QStringList{"txtAxis=X", "e=True", "txtValue=10"}
            << QList<QByteArray>{"ab AB", "", "", "G01 X2 Y1", "G01 X[#1] Y5"} << "" << lines + "2 lines changed" + xAlone;
        QTest::newRow("append where X < 5")
            << "go5" << QStringList{"txtAxis=X", "l=True", "txtValue=5", "txtAppendLine= (A)"}
            << QList<QByteArray>{"ab AB", "G01 X10 Y5", "G01 X10", "G01 X2 Y1 (A)", "G01 X[#1] Y5"} << ""
            << lines + "1 line changed" + xAlone;
        QTest::newRow("nothing to change") << "go5" << QStringList{"txtAxis=Z", "txtValue=0", "txtAppendLine=M8"}
                                           << before << "" << lines + "no line changed";
        QTest::newRow("empty txtFind is refused") << "Go" << QStringList{"txtReplace=x"} << before << textNull << "";
        QTest::newRow("empty txtAxis is refused")
            << "go4" << QStringList{"txtValue=1", "txtReplaceLine=M30"} << before << textNull << "";
        QTest::newRow("txtReplaceValue not a number is refused")
            << "go2" << QStringList{"txtAxis=X", "txtValue=1", "txtReplaceAxis=Y", "txtReplaceValue=1a"}
            << before << textNull << "";
    }
    void replaceRunsThePressedAction()
    {
        QFETCH(QString, button);
        QFETCH(QStringList, fields);
        QFETCH(QList<QByteArray>, after);
        QFETCH(QString, message);
        QFETCH(QString, note);
        const QList<QByteArray> before{"ab AB", "G01 X10 Y5", "G01 X10", "G01 X2 Y1", "G01 X[#1] Y5"};
        shell->open(before);
        shell->globalVar.numbers.outputFormat = QStringLiteral("0.000");
        frmReplace w(*shell);
        w.Form_Load();
        QVERIFY(setFields(w, fields));
        QMap<QPushButton *, QString> captions;
        for (QPushButton *b : {w.Go, w.go2, w.go3, w.go4, w.go5})
            captions.insert(b, b->text());
        auto *pressed = w.findChild<QPushButton *>(button);
        pressed->click();
        QCOMPARE(shell->messages(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(shell->store(), after);
        QVERIFY(shell->allGivenBack());
        if (message.isEmpty()) {
            captions[pressed] = QStringLiteral("Replace");
            QCOMPARE(w.lastNote().textWithoutTime(), note);
        }
        for (auto it = captions.cbegin(); it != captions.cend(); ++it)
            QCOMPARE(it.key()->text(), it.value());
        if (after != before)
            shell->checkUndoRedo(before);
    }

    // A line that would outgrow its record stops the run there, naming it; the lines before it
    // keep their change and everything is given back.
    void aLineTooLongStopsTheRun()
    {
        shell->open({"X1", "X2 " + QByteArray(490, 'A'), "X3"});
        frmReplace w(*shell);
        w.Form_Load();
        QVERIFY(setFields(w, {"txtAxis=X", "txtValue=0", "txtAppendLine= (ADDED BY REPLACE)"}));
        w.ALL->setChecked(true);
        w.go5->click();
        QCOMPARE(shell->store(), (QList<QByteArray>{"X1 (ADDED BY REPLACE)", "X2 " + QByteArray(490, 'A'), "X3"}));
        QCOMPARE(shell->messages().size(), 1);
        QVERIFY2(shell->messages().front().startsWith(QStringLiteral("message: Line 2: ")), qPrintable(shell->messages().front()));
        QVERIFY(shell->allGivenBack());
        QCOMPARE(w.go5->text(), QStringLiteral("Replace"));
        // The note tells of the stop, never "done".
        QVERIFY2(w.lastNote().textWithoutTime().startsWith(QStringLiteral("Replace: lines 1 to 3: 1 line changed. Line 2: ")),
                 qPrintable(w.lastNote().textWithoutTime()));
    }

    // Opened from the macro editor, a press records the settings text with its mode digit; Enter
    // presses the button of the field it is pressed in, and txtAxis is turned to capitals.
    void replaceRecordsItsStep()
    {
        shell->open(numberedLines(8));
        const QList<QByteArray> before = shell->store();
        StepCollector macro;
        auto *w = new frmReplace(*shell, &macro);
        w->Form_Load();
        QVERIFY(setFields(*w, {"txtFind=a", "txtReplace=b", "r2=True", "case1=1", "LINE2LINE=True", "StartLine=2",
                               "EndLine=7", "txtValue=1.5", "l=True", "txtReplaceAxis=Y", "txtReplaceValue=2", "Text1=G1",
                               "Text2=G01", "txtReplaceLine=M30", "txtAppendLine=M8"}));
        w->txtAxis->setFocus();
        QTest::keyClick(w->txtAxis, Qt::Key_X);
        QCOMPARE(w->txtAxis->text(), QStringLiteral("X"));
        w->txtValue->setFocus();
        QTest::keyClick(w->txtValue, Qt::Key_Return); // the condition belongs to four actions: none runs
        QVERIFY(macro.steps.isEmpty());
        w->Text2->setFocus();
        QTest::keyClick(w->Text2, Qt::Key_Return);
        QCOMPARE(macro.steps.size(), 1);
        QCOMPARE(macro.steps.front().first, QStringLiteral("Replace"));
        const QStringList expected = {"a", "b", "False", "True", "False", "1", "False", "True", "2", "7", "X",
                                      "False", "True", "False", "False", "1.5", "Y", "2", "G1", "G01", "0", "M30",
                                      "M8", "3"};
        QCOMPARE(macro.steps.front().second.split(QStringLiteral("\nSEP.QEN\r")), expected);
        QCOMPARE(shell->store(), before);
        QVERIFY(shell->scripted.log.isEmpty());
        QTRY_VERIFY(!w->isVisible());
    }

    // Every hit listed (no limit on the rows), a click showing its line, and the list printed.
    void findListListsEveryHitAndPrintsThem()
    {
        shell->open(numberedLines(40000));
        frmFindList w(*shell);
        w.Form_Load();
        w.txtFind->setText(QStringLiteral("x"));
        w.Go->click();
        QVERIFY(shell->scripted.log.isEmpty());
        QCOMPARE(w.results().rowCount(), 40000);
        QCOMPARE(w.Label6->text(), QStringLiteral("40000 results."));
        QCOMPARE(w.lastNote().textWithoutTime(), QStringLiteral("Find (List): lines 1 to 40000: 40000 lines listed"));
        QCOMPARE(w.Go->text(), QStringLiteral("Find (List)"));
        const search::FindListModel &rows = w.results();
        QCOMPARE(rows.data(rows.index(39999, 0)).toString(), QStringLiteral("Line 40000: N40000 X40000"));
        QVERIFY(shell->allGivenBack());

        w.resize(900, 600);
        QTest::mouseClick(w.List1->viewport(), Qt::LeftButton, {}, w.List1->rowRect(4).center());
        QCOMPARE(shell->editor().curLine, 5);
        w.List1->setFocus();
        QTest::keyClick(w.List1, Qt::Key_End);
        QTest::keyClick(w.List1, Qt::Key_Return);
        QCOMPARE(shell->editor().curLine, 40000);

        const QString pdf = testEnvironment().path(QStringLiteral("results.pdf"));
        shell->scripted.answerFont(QFont(QStringLiteral("monospace"), 8));
        shell->scripted.answerText(QStringLiteral("1"));
        shell->scripted.answerText(pdf);
        w.Command1->click();
        QCOMPARE(shell->scripted.log.last(),
                 "message: VORNEXA: No printer is set up, so the listing was written to " + QDir::toNativeSeparators(pdf) + ".");
        QStringList printed;
        for (const QStringList &page : pdfPages(pdf))
            printed += page;
        QCOMPARE(printed.mid(0, 4), (QStringList{"VORNEXA", "Search Results:", "", "Line 1: N1 X1"}));
        QCOMPARE(printed.size(), 3 + 40000 + 1);
        QCOMPARE(printed.at(40002), QStringLiteral("Line 40000: N40000 X40000"));
        QCOMPARE(printed.last(), QStringLiteral("40000 Results"));
        QVERIFY(shell->allGivenBack());
    }

    // An axis search that lists nothing says so, and counts the lines it could not compare.
    void findListWithoutHitsHasNothingToPrint()
    {
        QList<QByteArray> lines = numberedLines(20);
        lines[4] = "X[#1-2]";
        shell->open(lines);
        frmFindList w(*shell);
        w.Form_Load();
        QVERIFY(setFields(w, {"txtAxis=X", "l=True", "txtValue=0"}));
        w.go2->click();
        QCOMPARE(w.results().rowCount(), 0);
        QCOMPARE(w.Label6->text(), QStringLiteral("0 results."));
        QCOMPARE(w.lastNote().textWithoutTime(),
                 QStringLiteral("Find (List): lines 1 to 20: no line listed, 1 line not compared: X holds an expression"));
        QCOMPARE(w.go2->text(), QStringLiteral("Find (List)"));
        w.Command1->click();
        QCOMPARE(shell->messages(), QStringList{"message: Nothing to print."});
        QVERIFY(shell->allGivenBack());
        // Once the program changes the list says it is out of date, until it is run again.
        {
            tessarc::Program &program = shell->editor().program();
            tessarc::ChangeRecord change(program, QStringLiteral("Mark"), tessarc::LineNumber(1));
            const QList<QByteArray> old = program.readLines(tessarc::LineNumber(1), 1);
            program.replaceLines(tessarc::LineNumber(1), 1, {QByteArray("X-5")});
            change.keepLines(tessarc::LineNumber(1), old, 1);
            change.finish();
        }
        QCOMPARE(w.Label6->text(), QStringLiteral("0 results. The program has changed since: search again."));
        w.go2->click();
        QCOMPARE(w.Label6->text(), QStringLiteral("1 results."));
    }
};

VORNEXA_TEST_MAIN(TestSearchWindows)
#include "tst_search_windows.moc"
