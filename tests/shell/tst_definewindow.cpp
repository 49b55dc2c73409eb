#include "faults.h"
#include "frmdefine.h"
#include "shellwindows.h"
#include "testhost.h"

#include <QListWidget>
#include <QPushButton>

class TestDefineWindow : public HostTest
{
    Q_OBJECT

    // Selects `length` characters from `start` of the first line of a program of that one line.
    void select(const QByteArray &line, int start, int length)
    {
        shell->open({line});
        shell->editor().selectText(start, length);
    }

    void prepare() override
    {
        registerShellWindows(*shell);
    }

private slots:
    // With no file, Define Selected Text opens the window instead, which makes the default file.
    void theFirstLookupMakesTheDefaultFile()
    {
        select("g0 X1", 0, 2);
        defineSelectedText(*shell);
        QCOMPARE(shell->messages(), QStringList{"message: Definition file not found.\r\nCreating file now."});
        QCOMPARE(readBytes(definitions::definitionsPath()), QByteArray("G Rapid Travel\r\nG0 Rapid Travel\r\nG00 Rapid Travel\r\nM6 Tool Change\r\n"));
        auto *w = qobject_cast<frmDefine *>(shell->showWindow(QStringLiteral("changedefinitions1")));
        QVERIFY(w && w->isVisible());
        QCOMPARE(listed(w->List1), (QStringList{"G Rapid Travel", "G0 Rapid Travel", "G00 Rapid Travel", "M6 Tool Change"}));
        w->close();
    }

    void lookups_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("shown");
        QTest::newRow("spaces round the selection") << QByteArray("X1 G00 Y2") << 2 << 5 << "message: G00 : G00 Rapid Travel";
        QTest::newRow("nothing selected") << QByteArray("G0") << 0 << 0
                                          << "message: No text is selected. You must select some text before I can find "
                                             "a definition for it.";
        QTest::newRow("a whole line finds nothing")
            << QByteArray("G0 X1") << 0 << 5
            << "ask: No definition: Sorry, no definition was found for G0 X1 .\r\nDid you know you can make your own "
               "definition file? Would you like to add a definition for G0 X1 now.";
    }
    void lookups()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(QString, shown);
        writeBytes(definitions::definitionsPath(), definitions::defaultContent());
        select(line, start, length);
        shell->scripted.answer(Prompts::Answer::No);
        defineSelectedText(*shell);
        QCOMPARE(shell->messages(), QStringList{shown});
        QCOMPARE(readBytes(definitions::definitionsPath()), definitions::defaultContent());
    }

    // Add and Remove change the list only; closing writes it back sorted, a definition holding a
    // comma included, and reading the file again gives the same list.
    void addRemoveAndWriteBack()
    {
        const QByteArray handEdited = "M6 Tool Change\r\n\"G1 Linear, feed\"\r\nG0 Rapid Travel\r\n";
        writeBytes(definitions::definitionsPath(), handEdited);
        auto *w = qobject_cast<frmDefine *>(shell->showWindow(QStringLiteral("changedefinitions1")));
        shell->scripted.answerText(QStringLiteral(" m30, "));
        shell->scripted.answerText(QStringLiteral("End, of program "));
        w->Command1->click();
        QCOMPARE(listed(w->List1), (QStringList{"G0 Rapid Travel", "G1 Linear, feed", "M30 End of program", "M6 Tool Change"}));
        QCOMPARE(readBytes(definitions::definitionsPath()), handEdited); // nothing written yet
        w->List1->setCurrentRow(3);
        w->Command2->click();
        w->close();
        QVERIFY(!w->isVisible());
        const QByteArray written = "G0 Rapid Travel\r\n\"G1 Linear, feed\"\r\nM30 End of program\r\n";
        QCOMPARE(readBytes(definitions::definitionsPath()), written);
        QCOMPARE(definitions::readFields(written), (QStringList{"G0 Rapid Travel", "G1 Linear, feed", "M30 End of program"}));
        QCOMPARE(shell->scripted.log.mid(0, 2),
                 (QStringList{"input: G-code: Please enter the G-code you would like to create a definition for.",
                              "input: Definition: Please enter definition for M30. You can type \"newline\" to start "
                              "a new line."}));
    }

    // A definition added by a lookup while the window is open stays when the window writes its list.
    void aLookupAddsToTheOpenWindow()
    {
        writeBytes(definitions::definitionsPath(), definitions::defaultContent());
        auto *w = qobject_cast<frmDefine *>(shell->showWindow(QStringLiteral("changedefinitions1")));
        select("M30", 0, 3);
        shell->scripted.answer(Prompts::Answer::Yes);
        shell->scripted.answerText(QStringLiteral("Program, end"));
        defineSelectedText(*shell);
        QVERIFY(listed(w->List1).contains(QStringLiteral("M30  Program end")));
        w->close();
        QVERIFY(readBytes(definitions::definitionsPath()).contains("M30  Program end\r\n"));
    }

    // A list that cannot be written keeps the window open unless the machinist lets it go.
    void aFailedWriteAsksBeforeClosing()
    {
        writeBytes(definitions::definitionsPath(), definitions::defaultContent());
        auto *w = qobject_cast<frmDefine *>(shell->showWindow(QStringLiteral("changedefinitions1")));
        w->List1->setCurrentRow(0);
        w->Command2->click();
        {
            LockedFolder locked(qEnvironmentVariable("VORNEXA_HOME"));
            QVERIFY(locked.ok());
            shell->scripted.answer(Prompts::Answer::No);
            w->close();
            QVERIFY(w->isVisible());
            QVERIFY2(shell->scripted.log.last().contains(QStringLiteral("Close anyway?")), qPrintable(shell->scripted.log.last()));
        }
        w->close();
        QVERIFY(!w->isVisible());
        QCOMPARE(readBytes(definitions::definitionsPath()), QByteArray("G0 Rapid Travel\r\nG00 Rapid Travel\r\nM6 Tool Change\r\n"));
    }
};

VORNEXA_TEST_MAIN(TestDefineWindow)
#include "tst_definewindow.moc"
