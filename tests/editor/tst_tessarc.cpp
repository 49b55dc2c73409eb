#include "editorfixture.h"
#include "history.h"
#include "pageview.h"
#include "testenv.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTextBlock>

// The control's interface apart from loading, saving and paging.
class TestTessarc : public QObject
{
    Q_OBJECT

private slots:
    // The caret's program line is told as it moves, by the caret and by the page, and a line is
    // shown with the caret on it.
    void theCaretLineIsTold()
    {
        EditorFixture f(10);
        f.load(numberedProgram(100));
        QList<qint64> told;
        QObject::connect(f.editor.get(), &TESSARC::caretLineChanged, [&](qint64 line) { told.append(line); });
        QTextCursor cursor = f.editor->txtmain->textCursor();
        cursor.movePosition(QTextCursor::Down, QTextCursor::MoveAnchor, 3);
        f.editor->txtmain->setTextCursor(cursor);
        QCOMPARE(f.editor->caretLine(), 4);
        f.editor->showLineWithCaret(57);
        QCOMPARE(f.editor->caretLine(), 57);
        QCOMPARE(f.editor->txtmain->textCursor().block().text(), QString::fromLatin1(numberedLine(57)));
        f.editor->showLineWithCaret(101); // past the end: nothing moves
        QCOMPARE(f.editor->caretLine(), 57);
        QCOMPARE(told.first(), 4);
        QCOMPARE(told.last(), 57);
    }

    // A selection counts a line break as two characters; cut and copy put it on the clipboard.
    void selectionsCutAndCopy()
    {
        EditorFixture f;
        f.load("G1 X1\r\nG2 Y2\r\nG3 Z3\r\n");
        QGuiApplication::clipboard()->setText(QStringLiteral("old"));
        f.editor->copy(); // nothing selected: an empty text
        QCOMPARE(QGuiApplication::clipboard()->text(), QString());
        f.editor->selectText(7, 2); // "G2" on the second line
        QCOMPARE(f.editor->getSel(), QStringLiteral("G2"));
        f.editor->selectText(3.4, 6.6); // numbers are rounded: from 3, seven characters
        QCOMPARE(f.editor->getSel(), QStringLiteral("X1\r\nG2 "));
        QCOMPARE(f.editor->txtmain->selStart().value, 3);
        f.editor->selectText(3, 2);
        f.editor->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("X1"));
        f.editor->selectText(0, 3);
        f.editor->cut();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("G1 "));
        QCOMPARE(f.editor->txtmain->pageText(), QStringLiteral("X1\r\nG2 Y2\r\nG3 Z3"));
        f.editor->loadLine(1);
        QCOMPARE(f.storeLines(), (QList<QByteArray>{"X1", "G2 Y2", "G3 Z3"}));
    }

    void pasteWritesThePastedLinesToTheStore()
    {
        EditorFixture f;
        f.load("A\r\nB\r\n");
        QGuiApplication::clipboard()->setText(QStringLiteral("X1\r\nY2\rZ3\n"));
        f.editor->selectText(1, 0); // after "A"
        f.editor->paste();
        QCOMPARE(f.storeLines(), (QList<QByteArray>{"AX1", "Y2", "Z3", "", "B"}));
        QCOMPARE(f.editor->numberOfLines(), 5);
        QCOMPARE(f.editor->shownText(), f.editor->txtmain->pageText());
    }

    // Typing that cannot be stored after a pause (the history cannot be written) is said at once,
    // once, and the page stays as typed, to be stored when it can.
    void aFailedWriteBackIsSaidWhenItHappens()
    {
        EditorFixture f;
        f.load(numberedProgram(5));
        f.editor->setTypingPause(20);
        const QString history = f.editor->program().history().folder();
        QDir(history).removeRecursively();
        writeBytes(history, "not a folder");
        f.editor->txtmain->setFocus();
        f.editor->txtmain->moveCursor(QTextCursor::Start);
        QTest::keyClicks(f.editor->txtmain, QStringLiteral("G04 "));
        QTRY_COMPARE(f.prompts.titles.size(), 1);
        QVERIFY2(f.prompts.texts.constFirst().contains(QStringLiteral("is a link or a file")),
                 qPrintable(f.prompts.texts.constFirst()));
        QVERIFY(f.editor->Notes->text().startsWith(QStringLiteral("Typing not stored: ")));
        QTest::keyClicks(f.editor->txtmain, QStringLiteral("P1"));
        QTest::qWait(200); // several pauses: still one warning
        QCOMPARE(f.prompts.titles.size(), 1);
        QVERIFY(!f.editor->pageIsStored());
        QFile::remove(history);
        QTest::keyClicks(f.editor->txtmain, QStringLiteral("2")); // the next pause stores the page
        QTRY_VERIFY(f.editor->pageIsStored());
        QCOMPARE(f.storeLines().constFirst(), QByteArray("G04 P12N1 G01 X1"));
        QCOMPARE(f.editor->Notes->text(), QStringLiteral("Typing stored."));
    }

    void enabledIsASavedPropertyAndSlotsAreEight()
    {
        TESSARC editor;
        QSignalSpy changed(&editor, &TESSARC::PropertyChanged);
        editor.setEnabledProperty(false);
        QVERIFY(!editor.txtmain->isEnabled());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("Enabled"));
        QVariantMap bag;
        editor.WriteProperties(bag);
        QCOMPARE(bag.value(QStringLiteral("Enabled")).toBool(), false);
        editor.ReadProperties(QVariantMap()); // the default is true
        QVERIFY(editor.Enabled());
        editor.ReadProperties(bag);
        QVERIFY(!editor.Enabled());
        QCOMPARE(raised([&] { editor.assigncolors(8, 0, QStringLiteral("A")); }).number(), 9);
        QCOMPARE(raised([&] { editor.assigncolors(-1, 0, QStringLiteral("A")); }).number(), 9);
    }

    void mouseDownIsRaisedWithButtonAndShift()
    {
        EditorFixture f;
        f.load("G1\r\n");
        QSignalSpy spy(f.editor.get(), &TESSARC::MouseDown);
        QTest::mousePress(f.editor->txtmain->viewport(), Qt::RightButton, Qt::ShiftModifier, QPoint(10, 5));
        QTest::mouseRelease(f.editor->txtmain->viewport(), Qt::RightButton, Qt::ShiftModifier, QPoint(10, 5));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0), (QList<QVariant>{2, 1, 10.0f, 5.0f}));
    }
};

VORNEXA_TEST_MAIN(TestTessarc)
#include "tst_tessarc.moc"
