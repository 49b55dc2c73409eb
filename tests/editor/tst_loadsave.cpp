#include "editorfixture.h"
#include "linestore.h"
#include "pageview.h"
#include "testenv.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTextBlock>

namespace {

QByteArray allHighBytes()
{
    QByteArray b;
    for (int v = 127; v < 256; ++v)
        b.append(static_cast<char>(v));
    return b;
}

// Types text at a view offset the way the keyboard does, then lets the control react.
void typeAt(TESSARC &editor, tessarc::CharOffset offset, const QString &text)
{
    editor.txtmain->setSelStart(offset);
    editor.txtmain->textCursor().insertText(text);
    QCoreApplication::processEvents();
}

} // namespace

// Loading, saving and writing an edited page back into the store.
class TestLoadSave : public QObject
{
    Q_OBJECT

private slots:
    // How line ends split a file is the line reader's own test; here, what a load shows and a save writes.
    void roundTripsByteForByte_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("lfEndsLine");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<QString>("firstViewLine");
        QTest::newRow("CR LF") << QByteArray("G1 X1\r\nG2 X2\r\n") << true << 2 << QByteArray("G1 X1\r\nG2 X2\r\n")
                               << "G1 X1";
        QTest::newRow("lone CR") << QByteArray("G1\rG2\r") << true << 2 << QByteArray("G1\r\nG2\r\n") << "G1";
        QTest::newRow("LF kept in the line") << QByteArray("G1\nG2\n") << false << 1
                                             << QByteArray("G1\nG2\n\r\n") << "G1(LF)G2(LF)";
        QTest::newRow("last line without an end") << QByteArray("G1\r\nM30") << true << 2
                                                  << QByteArray("G1\r\nM30\r\n") << "G1";
        QTest::newRow("empty file") << QByteArray() << true << 0 << QByteArray() << "";
        QTest::newRow("control characters") << QByteArray("\x12X1\x14\t\x00Y\r\n", 9) << true << 1
                                            << QByteArray("\x12X1\x14\t\x00Y\r\n", 9) << "(DC2)X1(DC4)(HT)(NUL)Y";
        QTest::newRow("bytes 127 to 255") << allHighBytes() + "\r\nG1\r\n" << true << 2
                                          << allHighBytes() + "\r\nG1\r\n" << QString::fromLatin1(allHighBytes());
    }

    void roundTripsByteForByte()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, lfEndsLine);
        QFETCH(QByteArray, saved);
        EditorFixture f;
        f.editor->lfEndsLine = lfEndsLine;
        QCOMPARE(f.editor->lfile, f.load(file));
        QTEST(f.editor->numberOfLines(), "count");
        QTEST(f.editor->txtmain->pageLines().value(0), "firstViewLine");
        QCOMPARE(f.saveAndRead(), saved);
        // An edit writes its page back: every byte but the typed one stays as it was.
        typeAt(*f.editor, tessarc::CharOffset(0), QStringLiteral("%"));
        f.editor->loadLine(1);
        QCOMPARE(f.saveAndRead(QStringLiteral("again.nc")), saved.isEmpty() ? QByteArray("%\r\n") : "%" + saved);
        QVERIFY(f.prompts.titles.isEmpty());
    }

    void loadShowsTheFirstPageAndReportsTheTime()
    {
        EditorFixture f(30);
        const QString path = f.load(numberedProgram(100));
        QCOMPARE(f.editor->curLine, 1);
        QCOMPARE(f.editor->t->text(), QStringLiteral("100"));
        QCOMPARE(f.editor->txtmain->pageLines().size(), 30);
        QCOMPARE(f.editor->txtmain->pageLines().last(), QString::fromLatin1(numberedLine(30)));
        QVERIFY(f.editor->lineNumbers->caption().startsWith(QStringLiteral("1\r\n2\r\n")));
        QCOMPARE(f.editor->Notes->text(), path + QStringLiteral(" Loaded. (0 seconds)"));
        QVERIFY(!QFile::exists(f.editor->tempFile2));
        QCOMPARE(QFileInfo(f.editor->tempFile).size(), qint64(100) * 500);

        const QString target = testEnvironment().path(QStringLiteral("out.nc"));
        f.editor->saveFile(target);
        const QRegularExpression saved(QRegularExpression::escape(target) +
                                       QStringLiteral(" Saved\\. \\(\\d+\\.\\d\\d seconds\\)"));
        QVERIFY2(saved.match(f.editor->Notes->text()).hasMatch(), qPrintable(f.editor->Notes->text()));
        QCOMPARE(f.editor->lfile, path); // saving elsewhere keeps the program's name
        // A second load leaves nothing of the first.
        f.load("M3\r\nM5\r\n", QStringLiteral("second.nc"));
        QCOMPARE(f.editor->numberOfLines(), 2);
        QCOMPARE(QFileInfo(f.editor->tempFile).size(), qint64(2) * 500);
        QCOMPARE(f.saveAndRead(), QByteArray("M3\r\nM5\r\n"));
    }

    void busyControlRefusesStoreOperations()
    {
        EditorFixture f;
        const QString path = f.load(numberedProgram(40));
        const QString notes = f.editor->Notes->text();
        f.editor->Run = true;
        f.editor->loadFile(path);
        f.editor->loadLine(5);
        f.editor->saveFile(testEnvironment().path(QStringLiteral("busy.nc")));
        f.editor->pageDown();
        QCOMPARE(f.editor->curLine, 1);
        QCOMPARE(f.editor->Notes->text(), notes);
        QVERIFY(!QFile::exists(testEnvironment().path(QStringLiteral("busy.nc"))));
        QVERIFY(f.editor->Run);
        f.editor->Run = false;
    }

    // A load that fails is reported and leaves no program: nothing to save (which only beeps) and
    // no store, and the next load works.
    void aFailedLoadLeavesNoProgram_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: no such file
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("says");
        QTest::newRow("no such file") << QByteArray() << "TESSARC1 - LoadFile"
                                      << QStringList{"File not found", "\r\n\r\nFor a report: TESSARC1 - LoadFile, Unexpected error - 53, LINE: 60."};
        QTest::newRow("a line too long for a record")
            << "G1\r\nG2\r\n" + QByteArray(30, 'X') + "\r\nG4\r\n" << "TESSARC1 - Conve2"
            << QStringList{"Bad record length: line 3 has 30 characters", "at least 32", "Unexpected error - 59"};
    }

    void aFailedLoadLeavesNoProgram()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, says);
        EditorFixture f;
        f.editor->recLen = 20;
        const QString path = testEnvironment().path(QStringLiteral("failing.nc"));
        QFile::remove(path);
        if (!file.isEmpty())
            writeBytes(path, file);
        f.editor->loadFile(path);
        QTEST(f.prompts.titles.value(0), "title");
        // What happened comes first, the routine and the step after it.
        QVERIFY2(f.prompts.texts.value(0).startsWith(says.first()), qPrintable(f.prompts.texts.value(0)));
        for (const QString &piece : says)
            QVERIFY2(f.prompts.texts.value(0).contains(piece), qPrintable(f.prompts.texts.value(0)));
        QVERIFY(!f.editor->Run);
        QCOMPARE(f.editor->lfile, QString());
        QCOMPARE(f.editor->numberOfLines(), 0);
        QVERIFY(!QFile::exists(f.editor->tempFile));
        QCOMPARE(f.editor->txtmain->pageText(), QStringLiteral("Please Load A File."));
        f.prompts.clear();
        f.editor->saveFile(testEnvironment().path(QStringLiteral("nothing.nc")));
        QCOMPARE(f.prompts.beeps, 1);
        QVERIFY(!QFile::exists(testEnvironment().path(QStringLiteral("nothing.nc"))));
        // With a record length that holds every line, the file loads.
        writeBytes(path, file + "G5\r\n");
        f.editor->recLen = 32;
        f.editor->loadFile(path);
        QVERIFY(f.prompts.titles.isEmpty());
        QCOMPARE(f.editor->numberOfLines(), file.count('\n') + 1);
    }

    void editsAreWrittenBack_data()
    {
        QTest::addColumn<int>("top");
        QTest::addColumn<QString>("edit"); // "type", "add" or "remove"
        QTest::addColumn<int>("total");
        QTest::newRow("typed in a line, written in place") << 41 << "type" << 100;
        QTest::newRow("line added mid-program") << 41 << "add" << 101;
        QTest::newRow("line removed mid-program") << 41 << "remove" << 99;
        QTest::newRow("line added on the last page") << 90 << "add" << 101;
        QTest::newRow("line removed on the last page") << 90 << "remove" << 99;
        QTest::newRow("line added on the first page") << 1 << "add" << 101;
    }

    void editsAreWrittenBack()
    {
        QFETCH(int, top);
        QFETCH(QString, edit);
        QFETCH(int, total);
        EditorFixture f(30);
        f.load(numberedProgram(100));
        f.editor->setLine(top);
        QCOMPARE(f.editor->curLine, top);
        QTextCursor cur = f.editor->txtmain->textCursor();
        cur.setPosition(f.editor->txtmain->document()->findBlockByNumber(2).position());
        if (edit == QLatin1String("type")) {
            cur.insertText(QStringLiteral("M8 "));
        } else if (edit == QLatin1String("add")) {
            cur.insertText(QStringLiteral("G4 P1\n"));
        } else {
            cur.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
            cur.removeSelectedText();
        }
        QCoreApplication::processEvents();
        QCOMPARE(f.editor->numberOfLines(), total);
        if (edit == QLatin1String("type"))
            f.editor->setLine(1); // an edit keeping the count is written when its page is left
        else
            QCOMPARE(f.editor->shownText(), f.editor->txtmain->pageText()); // the store is rebuilt at once
        QVERIFY(!QFile::exists(f.editor->tempFile2));
        QList<QByteArray> want;
        for (int k = 1; k <= 100; ++k) {
            if (k == top + 2 && edit == QLatin1String("add"))
                want.append("G4 P1");
            if (k == top + 2 && edit == QLatin1String("remove"))
                continue;
            want.append((k == top + 2 && edit == QLatin1String("type") ? "M8 " : "") + numberedLine(k));
        }
        QCOMPARE(f.storeLines(), want);
        QCOMPARE(QFileInfo(f.editor->tempFile).size() / 500, qint64(total));
    }

    // A short last page that becomes full is written back; deleting every line leaves one empty line.
    void editsAtTheEdgesOfTheProgram()
    {
        EditorFixture f(30);
        f.load(numberedProgram(40));
        f.editor->setLine(12); // lines 12 to 40: 29 lines on a page of 30
        QCOMPARE(f.editor->txtmain->pageLines().size(), 29);
        QTextCursor cur = f.editor->txtmain->textCursor();
        cur.movePosition(QTextCursor::End);
        cur.insertText(QStringLiteral("\nM30"));
        QCoreApplication::processEvents();
        QCOMPARE(f.editor->numberOfLines(), 41);
        QCOMPARE(f.storeLines().last(), QByteArray("M30"));
        f.load(numberedProgram(12), QStringLiteral("short.nc"));
        f.editor->txtmain->selectAll();
        f.editor->txtmain->textCursor().removeSelectedText();
        QCoreApplication::processEvents();
        QCOMPARE(f.editor->numberOfLines(), 1);
        QCOMPARE(f.saveAndRead(), QByteArray("\r\n"));
    }

    void namesTypedInTheViewBecomeControlCharacters()
    {
        EditorFixture f;
        f.load("G1 X1\r\nG2\r\n");
        typeAt(*f.editor, tessarc::CharOffset(5), QStringLiteral("(CR)Y2(dc2)"));
        f.editor->loadLine(1);
        QCOMPARE(f.storeLines().at(0), QByteArray("G1 X1\rY2(dc2)"));
        QCOMPARE(f.editor->txtmain->pageLines().at(0), QStringLiteral("G1 X1(CR)Y2(dc2)"));
        // Once saved, the carriage return ends a line when the file is read again.
        const QByteArray saved = f.saveAndRead();
        QCOMPARE(saved, QByteArray("G1 X1\rY2(dc2)\r\nG2\r\n"));
        f.load(saved, QStringLiteral("reloaded.nc"));
        QCOMPARE(f.editor->numberOfLines(), 3);
    }

    // A page whose write-back would change the line count, and whose second line is too long for
    // its record: nothing of the page reaches the store, the first line's edit included.
    void pageLineTooLongIsRefusedWithoutLoss()
    {
        EditorFixture f;
        f.editor->recLen = 20;
        f.load("G1\r\nG2\r\n");
        typeAt(*f.editor, tessarc::CharOffset(2), QStringLiteral("N1\n") + QString(30, QLatin1Char('Z')));
        QCOMPARE(f.prompts.titles, QStringList{QStringLiteral("TESSARC1 - LoadLine")}); // written back at once
        QVERIFY(f.prompts.texts.at(0).contains(QStringLiteral("line 2 has 30 characters")));
        f.editor->loadLine(1); // and refused again when the page is to be left
        QCOMPARE(f.prompts.titles.size(), 2);
        QVERIFY(!f.editor->Run);
        QCOMPARE(f.editor->numberOfLines(), 2);
        QCOMPARE(readBytes(f.editor->tempFile), QByteArray("\x02\x00G1", 4) + QByteArray(16, '\0') +
                                                    QByteArray("\x02\x00G2", 4) + QByteArray(16, '\0'));
        // The edit is still in the view, for the machinist to shorten.
        QCOMPARE(f.editor->txtmain->pageLines().at(1).size(), 30);
    }

    // A host that writes the store tells the new count: the page follows it, to the last page when
    // the program shrinks below the top line, and an emptied program leaves an empty page that
    // keeps what is typed into it.
    void hostRewritesAndNewLineCounts()
    {
        EditorFixture f(30);
        f.load(numberedProgram(200));
        f.editor->setLine(150);
        f.editor->ChangeLineCount(100);
        QCOMPARE(f.editor->curLine, 71);
        QCOMPARE(f.editor->txtmain->pageLines().last(), QString::fromLatin1(numberedLine(100)));
        f.editor->setLine(90); // a short last page, that takes the new line
        {
            tessarc::LineStore store;
            store.open(f.editor->tempFile, 500);
            store.write(tessarc::LineNumber(101), "M30");
        }
        f.editor->ChangeLineCount(101);
        QCOMPARE(f.editor->numberOfLines(), 101);
        QCOMPARE(f.editor->txtmain->pageLines().last(), QStringLiteral("M30"));
        f.editor->ChangeLineCount(0);
        QCOMPARE(f.editor->numberOfLines(), 0);
        QCOMPARE(f.editor->txtmain->pageText(), QString());
        QVERIFY(!f.editor->Run);
        typeAt(*f.editor, tessarc::CharOffset(0), QStringLiteral("G0 X0"));
        f.editor->loadLine(1);
        QCOMPARE(f.saveAndRead(), QByteArray("G0 X0\r\n"));
    }
};

VORNEXA_TEST_MAIN(TestLoadSave)
#include "tst_loadsave.moc"
