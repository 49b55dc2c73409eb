#include "faults.h"
#include "frmcopy.h"
#include "frmdel.h"
#include "frmexportpc.h"
#include "frminsert.h"
#include "frmsize.h"
#include "pageview.h"
#include "testhost.h"
#include "toolwindowtest.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStringListModel>

// The tools that read the program whole or change its number of lines, through their windows.
class TestWholeLineTools : public HostTest
{
    Q_OBJECT

    // After every run, whichever way it ended: the lock is free and the view editable.
    void checkGivenBack()
    {
        QVERIFY(shell->allGivenBack());
        QVERIFY(shell->editor().curLine >= 1);
        QVERIFY(shell->editor().curLine <= std::max(1, shell->editor().numberOfLines()));
    }

    std::unique_ptr<frmInsert> insertWindow(const QString &file, const QString &after)
    {
        auto w = std::make_unique<frmInsert>(*shell);
        w->Form_Load();
        shell->scripted.answerText(file);
        w->Command1->click(); // the open dialog gives the file
        shell->scripted.clear();
        w->StartLine->setText(after);
        return w;
    }

    std::unique_ptr<frmDel> removeWindow(int first, int last)
    {
        auto w = std::make_unique<frmDel>(*shell);
        w->Form_Load();
        w->StartLine->setText(QString::number(first));
        w->EndLine->setText(QString::number(last));
        return w;
    }

private slots:
    // The inserted file's lines arrive exactly as the file holds them, read with the load's line rule.
    void insertFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("lfEndsLine");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QList<QByteArray>>("expected");
        const QByteArray words = "  G01 X1.,C1.\r\n\"(QUOTED, TOO)\",R0.5\r\n";
        QTest::newRow("commas, quotes and blanks, after line 0")
            << words << true << "0" << QList<QByteArray>{"  G01 X1.,C1.", "\"(QUOTED, TOO)\",R0.5", "N1 X1", "N2 X2", "N3 X3"};
        QTest::newRow("after the last line")
            << words << true << "3" << QList<QByteArray>{"N1 X1", "N2 X2", "N3 X3", "  G01 X1.,C1.", "\"(QUOTED, TOO)\",R0.5"};
        QTest::newRow("a lone LF ends a line, a last line without an end counts")
            << QByteArray("A\nB\rC") << true << "1" << QList<QByteArray>{"N1 X1", "A", "B", "C", "N2 X2", "N3 X3"};
        QTest::newRow("a lone LF stays in its line when it does not end one")
            << QByteArray("A\nB\r\n") << false << "2" << QList<QByteArray>{"N1 X1", "N2 X2", "A\nB", "N3 X3"};
        QTest::newRow("an empty file changes nothing") << QByteArray() << true << "2" << numberedLines(3);
    }
    void insertFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, lfEndsLine);
        QFETCH(QString, after);
        QFETCH(QList<QByteArray>, expected);
        shell->open(numberedLines(3));
        shell->editor().lfEndsLine = lfEndsLine;
        const QString path = testEnvironment().path(QStringLiteral("insert & more.nc"));
        writeBytes(path, file);
        auto w = insertWindow(path, after);
        QCOMPARE(w->Command1->text(), QString(path).replace(QStringLiteral("&"), QStringLiteral("&&"))); // shown as it is
        w->Go->click();
        QCOMPARE(shell->messages(), QStringList());
        QCOMPARE(shell->store(), expected);
        QCOMPARE(shell->editor().numberOfLines(), expected.size());
        QCOMPARE(w->Go->text(), QStringLiteral("Go"));
        checkGivenBack();
        if (expected != numberedLines(3))
            shell->checkUndoRedo(numberedLines(3));
    }

    void removeLines_data()
    {
        QTest::addColumn<int>("curLine");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("the middle") << 1 << 2 << 3 << QList<QByteArray>{"N1 X1", "N4 X4", "N5 X5"};
        QTest::newRow("the end, the page was there") << 5 << 4 << 5 << QList<QByteArray>{"N1 X1", "N2 X2", "N3 X3"};
        QTest::newRow("every line") << 3 << 1 << 5 << QList<QByteArray>{};
    }
    void removeLines()
    {
        QFETCH(int, curLine);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QList<QByteArray>, expected);
        shell->open(numberedLines(5));
        shell->editor().setLine(curLine);
        auto w = removeWindow(first, last);
        w->Go->click();
        QCOMPARE(shell->messages(), QStringList());
        QCOMPARE(shell->store(), expected);
        QCOMPARE(shell->editor().numberOfLines(), expected.size());
        checkGivenBack();
        // What the view shows is the program as it now is, and it can be typed into.
        QCOMPARE(shell->editor().txtmain->pageLines().join(QLatin1Char('\n')),
                 QString::fromLatin1(expected.mid(shell->editor().curLine - 1).join('\n')));
        shell->checkUndoRedo(numberedLines(5));
        QCOMPARE(shell->editor().numberOfLines(), expected.size());
    }

    // Refused before anything changes: the store as it was and the lock free.
    void refusals_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("shown");
        const QString textNull = QStringLiteral("Are all the text boxes filled out correctly?");
        QTest::newRow("insert: no such file") << "insert" << QByteArray() << "1" << "" << "Bad Filename";
        QTest::newRow("insert: after a line past the end") << "insert" << QByteArray("G01\r\n") << "4" << "" << textNull;
        QTest::newRow("insert: a line too long for a record")
            << "insert" << QByteArray("G01\r\n" + QByteArray(499, 'X') + "\r\n") << "1" << ""
            << "Bad record length: line 2 has 499 characters, but a record of 500 bytes holds at most 498. Raise the "
               "record length to at least 501 before loading this file. Nothing was inserted; the program is as it was.";
        QTest::newRow("remove: start after end") << "remove" << QByteArray() << "3" << "2" << textNull;
        QTest::newRow("copy: end past the program") << "copy" << QByteArray() << "1" << "9" << textNull;
    }
    void refusals()
    {
        QFETCH(QString, tool);
        QFETCH(QByteArray, file);
        QFETCH(QString, start);
        QFETCH(QString, end);
        shell->open(numberedLines(3));
        const QByteArray before = readBytes(shell->editor().tempFile);
        const QString path = testEnvironment().path(QStringLiteral("insert.nc"));
        QFile::remove(path);
        if (!file.isEmpty())
            writeBytes(path, file);
        std::unique_ptr<tools::ToolWindow> w;
        if (tool == QLatin1String("insert")) {
            w = insertWindow(path, start);
        } else {
            w = tool == QLatin1String("remove") ? std::unique_ptr<tools::ToolWindow>(std::make_unique<frmDel>(*shell))
                                                : std::make_unique<frmCopy>(*shell);
            w->Form_Load();
            w->StartLine->setText(start);
            w->EndLine->setText(end);
        }
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        w->Go->click();
        QFETCH(QString, shown);
        QCOMPARE(shell->messages(), QStringList{QStringLiteral("message: ") + shown});
        QCOMPARE(readBytes(shell->editor().tempFile), before);
        QCOMPARE(shell->editor().numberOfLines(), 3);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
        checkGivenBack();
    }

    // A scratch store that cannot be written (a locked folder, a full disk) leaves the store and
    // the saved program byte for byte as they were, and the lock free.
    void failedRebuildsChangeNothing_data()
    {
        QTest::addColumn<bool>("remove");
        QTest::newRow("remove lines, scratch folder locked") << true;
        QTest::newRow("insert a file, disk full") << false;
    }
    void failedRebuildsChangeNothing()
    {
        QFETCH(bool, remove);
        shell->open(numberedLines(2000));
        const QByteArray store = readBytes(shell->editor().tempFile);
        const QByteArray program = readBytes(shell->editor().lfile);
        const QString insert = testEnvironment().path(QStringLiteral("insert.nc"));
        writeBytes(insert, "G00 X0\r\n");
        const QString lockedPath = testEnvironment().path(QStringLiteral("locked"));
        QDir().mkpath(lockedPath);
        std::unique_ptr<tools::ToolWindow> w;
        {
            std::optional<LockedFolder> locked;
            std::optional<FullDisk> full;
            if (remove) {
                shell->editor().tempFile2 = lockedPath + QStringLiteral("/scratch");
                locked.emplace(lockedPath);
                QVERIFY(locked->ok());
                w = removeWindow(1, 1000);
            } else {
                full.emplace(64 * 1024);
                shell->editor().tempFile2 = full->path(QStringLiteral("scratch"));
                full->fill();
                w = insertWindow(insert, QStringLiteral("1000"));
            }
            w->Go->click();
        }
        QCOMPARE(shell->messages().size(), 1);
        QVERIFY2(shell->messages().first().endsWith(remove ? QStringLiteral("No line was removed.")
                                                           : QStringLiteral("the program is as it was.")),
                 qPrintable(shell->messages().first()));
        QCOMPARE(readBytes(shell->editor().tempFile), store);
        QCOMPARE(readBytes(shell->editor().lfile), program);
        QCOMPARE(shell->editor().numberOfLines(), 2000);
        checkGivenBack();
    }

    // Opened from the macro editor, Go hands the step over instead of running.
    void recordedSteps()
    {
        shell->open(numberedLines(5));
        const QString path = testEnvironment().path(QStringLiteral("insert.nc"));
        writeBytes(path, "G00\r\n");
        StepCollector macro;
        auto insert = std::make_unique<frmInsert>(*shell, &macro);
        insert->Form_Load();
        insert->Command1->setText(path);
        insert->StartLine->setText(QStringLiteral("0"));
        insert->Go->click();
        auto remove = std::make_unique<frmDel>(*shell, &macro);
        remove->Form_Load();
        remove->StartLine->setText(QStringLiteral("2"));
        remove->EndLine->setText(QStringLiteral("4"));
        remove->Go->click();
        const QList<QPair<QString, QString>> expected = {{QStringLiteral("Insert File"), stepText({path, "0"})},
                                                         {QStringLiteral("Remove Lines"), stepText({"2", "4"})}};
        QCOMPARE(macro.steps, expected);
        QCOMPARE(shell->store(), numberedLines(5));
    }

    // A store that cannot be read through (a record claiming more than it holds) stops a read-only
    // run with the line it stopped at; nothing half-read is shown or copied.
    void aDamagedStoreStopsAReadingRun()
    {
        shell->open(numberedLines(200)); // the damage lies past the page shown
        {
            QFile store(shell->editor().tempFile);
            QVERIFY(store.open(QIODevice::ReadWrite));
            store.seek(shell->editor().recLen * 179);
            store.write("\xff\xff", 2);
        }
        frmSize size(*shell);
        size.Form_Load();
        size.Go->click();
        QCOMPARE(size.letterRows()->rowCount(), 0);
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        frmCopy copy(*shell);
        copy.Form_Load();
        copy.ALL->setChecked(true);
        copy.Go->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
        const QStringList shown = shell->messages();
        QCOMPARE(shown.size(), 2);
        for (const QString &message : shown)
            QVERIFY2(message.startsWith(QStringLiteral("message: Line 180: Bad record length")), qPrintable(message));
        checkGivenBack();
    }

    // Copy Lines puts the range on the clipboard, every line followed by CR LF; it opens on the
    // current line alone.
    void copyLines()
    {
        shell->open({"G01 X1", "", "(\xe9)", "M30"});
        shell->editor().setLine(2);
        frmCopy w(*shell);
        w.Form_Load();
        QCOMPARE(w.StartLine->text(), QStringLiteral("2"));
        QCOMPARE(w.EndLine->text(), QStringLiteral("2"));
        QVERIFY(w.LINE2LINE->isChecked() && w.ALL->isHidden());
        w.EndLine->setText(QStringLiteral("3"));
        w.Go->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("\r\n(\u00e9)\r\n"));
        checkGivenBack();
    }

    // Find Size lists every letter's extent, then every position of one letter however many, and
    // a click on a position shows its line.
    void findSize()
    {
        QList<QByteArray> lines;
        for (int n = 1; n <= 41000; ++n)
            lines.append(n % 10 == 0 ? "(X9) Y2" : "G01 X" + QByteArray::number(n) + " Y-" + QByteArray::number(n % 7));
        shell->open(lines);
        frmSize w(*shell);
        w.Form_Load();
        QCOMPARE(w.Go->text(), QStringLiteral("&Find Size"));
        w.Go->click();
        QCOMPARE(w.letterRows()->stringList(),
                 QStringList({"G\t\t1\t\t1", "X\t\t40999\t\t1", "Y\t\t2\t\t-6"}));
        QCOMPARE(w.Go->text(), QStringLiteral("Find Size"));
        QCOMPARE(w.lastNote().textWithoutTime(), QStringLiteral("Find Size: lines 1 to 41000: 3 letters listed"));

        shell->scripted.answer(Prompts::Answer::Yes);
        w.List1->clicked(w.letterRows()->index(1));
        QCOMPARE(shell->messages(),
                 QStringList{"ask: Confirm List.: Would you like to list all positions of the X axis from lines 1 to 41000?"});
        QCOMPARE(w.positionRows()->rowCount(), 36900);
        QCOMPARE(w.Label3->text(), QStringLiteral("All positions of X."));
        QCOMPARE(w.Label5->text(), QStringLiteral("36900 positions."));
        const QModelIndex last = w.positionRows()->index(36899);
        QCOMPARE(last.data().toString(), QStringLiteral("Line 40999: X = 40999"));
        checkGivenBack();
        w.List2->clicked(last);
        QCOMPARE(shell->editor().curLine, 40999);
    }

    // Export Point Cloud proposes the program's name with the "pc" extension and writes the file;
    // it never writes over the open program.
    void exportPointCloud()
    {
        shell->open({"%", "G00 X1.5 Y2", "(x) M03", "Z-1.23456"});
        frmExportPC w(*shell);
        w.Form_Load();
        const QString proposed = testEnvironment().path(QStringLiteral("program.pc"));
        QCOMPARE(w.target(), proposed);
        w.o2->setChecked(true);
        w.Go->click();
        QCOMPARE(shell->messages(), QStringList());
        // The "x" of a comment is no word: that line gives no point.
        QCOMPARE(readBytes(proposed), QByteArray("1.5,2.,0.\r\n1.5,2.,-1.2346\r\n"));
        QCOMPARE(w.Go->text(), QStringLiteral("Export Point Cloud"));

        shell->scripted.answerText(shell->editor().lfile);
        w.text1->click();
        w.Go->click();
        QCOMPARE(shell->messages().last(), QStringLiteral("message: The point cloud cannot be written over the open "
                                                          "program. Please choose another file."));
        QCOMPARE(shell->store().size(), 4);
        QCOMPARE(readBytes(shell->editor().lfile), QByteArray("%\r\nG00 X1.5 Y2\r\n(x) M03\r\nZ-1.23456\r\n"));
        checkGivenBack();
    }
};

VORNEXA_TEST_MAIN(TestWholeLineTools)
#include "tst_tools_wholeline.moc"
