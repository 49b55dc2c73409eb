#include "editorfixture.h"
#include "linestore.h"
#include "pageview.h"
#include "testenv.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

namespace {

enum class Move { PageDown, PageUp, Key, CtrlKey, StepDown, StepUp, Wheel, LoadLine };

} // namespace

Q_DECLARE_METATYPE(Move)

// Moving through a program and the view's reactions to keys, edits and clicks.
class TestPaging : public QObject
{
    Q_OBJECT

private slots:
    // Every way of moving through a program of 100 lines, 30 a page: the page always shows the
    // lines from the new top line on, and moving never edits it; a line outside the program moves
    // nothing.
    void moves_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<Move>("move");
        QTest::addColumn<QList<int>>("args"); // keys, wheel turns, lines; one step a value otherwise
        QTest::addColumn<int>("to");
        const QList<int> once{0};
        QTest::newRow("Page Down from 1") << 1 << Move::PageDown << once << 30;
        QTest::newRow("Page Up from 32") << 32 << Move::PageUp << once << 3;
        QTest::newRow("Page Up from 31") << 31 << Move::PageUp << once << 1;
        QTest::newRow("Page Down near the end leaves the last line alone") << 80 << Move::PageDown << once << 100;
        QTest::newRow("Page Down from 70") << 70 << Move::PageDown << once << 99;
        QTest::newRow("Page Down key") << 1 << Move::Key << QList<int>{Qt::Key_PageDown} << 30;
        QTest::newRow("Ctrl+End") << 1 << Move::CtrlKey << QList<int>{Qt::Key_End} << 71;
        QTest::newRow("End alone stays on the page") << 1 << Move::Key << QList<int>{Qt::Key_End} << 1;
        QTest::newRow("Page Up key") << 71 << Move::Key << QList<int>{Qt::Key_PageUp} << 42;
        QTest::newRow("Ctrl+Home") << 50 << Move::CtrlKey << QList<int>{Qt::Key_Home} << 1;
        QTest::newRow("up button at line 1") << 1 << Move::StepUp << once << 1;
        QTest::newRow("down button twice") << 1 << Move::StepDown << QList<int>{0, 0} << 3;
        QTest::newRow("down button at the last line") << 100 << Move::StepDown << once << 100;
        QTest::newRow("up button") << 50 << Move::StepUp << once << 49;
        QTest::newRow("wheel a notch down: three lines") << 50 << Move::Wheel << QList<int>{-120} << 53;
        QTest::newRow("wheel two notches up") << 53 << Move::Wheel << QList<int>{240} << 47;
        QTest::newRow("half a notch waits for the other half") << 47 << Move::Wheel << QList<int>{60} << 47;
        QTest::newRow("two halves make a notch") << 47 << Move::Wheel << QList<int>{60, 60} << 44;
        QTest::newRow("wheel past the first line") << 10 << Move::Wheel << QList<int>{1200} << 1;
        QTest::newRow("lines outside the program") << 7 << Move::LoadLine << QList<int>{0, 101, -3} << 7;
    }

    void moves()
    {
        QFETCH(int, from);
        QFETCH(Move, move);
        QFETCH(QList<int>, args);
        QFETCH(int, to);
        EditorFixture f(30);
        f.load(numberedProgram(100));
        f.editor->setLine(from);
        QCOMPARE(f.editor->curLine, from);
        f.editor->txtmain->setFocus();
        QWidget *viewport = f.editor->txtmain->viewport();
        const QPoint at = viewport->rect().center();
        for (int arg : args) {
            switch (move) {
            case Move::PageDown: f.editor->pageDown(); break;
            case Move::PageUp: f.editor->pageUp(); break;
            case Move::Key: QTest::keyClick(f.editor->txtmain, Qt::Key(arg)); break;
            case Move::CtrlKey: QTest::keyClick(f.editor->txtmain, Qt::Key(arg), Qt::ControlModifier); break;
            case Move::StepDown: f.editor->TmrSDOWN_Timer(); break;
            case Move::StepUp: f.editor->TmrSUP_Timer(); break;
            case Move::Wheel: {
                QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, arg), Qt::NoButton, Qt::NoModifier,
                                  Qt::NoScrollPhase, false);
                QCoreApplication::sendEvent(viewport, &wheel);
                break;
            }
            case Move::LoadLine: f.editor->loadLine(arg); break;
            }
        }
        QCOMPARE(f.editor->curLine, to);
        QCOMPARE(f.editor->c->text(), QString::number(to));
        QStringList page;
        for (int k = to; k < to + 30 && k <= 100; ++k)
            page.append(QString::fromLatin1(numberedLine(k)));
        QCOMPARE(f.editor->txtmain->pageLines(), page);
        QCOMPARE(f.editor->numberOfLines(), 100);
        QVERIFY(!f.editor->Run);
    }

    void upAndDownAtThePageEdgesScrollOneLine()
    {
        EditorFixture f(30);
        f.load(numberedProgram(100));
        f.editor->setLine(10);
        f.editor->txtmain->setFocus();
        f.editor->txtmain->setSelStart(tessarc::CharOffset(3)); // on the first view line
        QTest::keyClick(f.editor->txtmain, Qt::Key_Up);
        QCOMPARE(f.editor->curLine, 9);
        QCOMPARE(f.editor->txtmain->selStart().value, 3); // the caret keeps its place in the page
        f.editor->setLine(1);
        f.editor->txtmain->setSelStart(tessarc::CharOffset(0));
        QTest::keyClick(f.editor->txtmain, Qt::Key_Up);
        QCOMPARE(f.editor->curLine, 1);

        const tessarc::CharOffset lastLine = f.editor->txtmain->lineStart(tessarc::PageRow(29));
        f.editor->txtmain->setSelStart(tessarc::CharOffset(lastLine.value + 2));
        QTest::keyClick(f.editor->txtmain, Qt::Key_Down);
        QCOMPARE(f.editor->curLine, 2);
        QCOMPARE(f.editor->txtmain->lineFromChar(f.editor->txtmain->selStart()).value, 29);
        // Inside the page the arrows only move the caret.
        f.editor->txtmain->setSelStart(f.editor->txtmain->lineStart(tessarc::PageRow(5)));
        QTest::keyClick(f.editor->txtmain, Qt::Key_Down);
        QCOMPARE(f.editor->curLine, 2);
        QCOMPARE(f.editor->txtmain->lineFromChar(f.editor->txtmain->selStart()).value, 6);
        // On the last line of the program there is nowhere further to go.
        f.editor->setLine(100);
        f.editor->txtmain->setSelStart(tessarc::CharOffset(0));
        QTest::keyClick(f.editor->txtmain, Qt::Key_Down);
        QCOMPARE(f.editor->curLine, 100);
    }

    void enterAtTheEndOfAFullPageScrollsToTheNewLine()
    {
        EditorFixture f(30);
        f.load(numberedProgram(60));
        f.editor->txtmain->setFocus();
        QTextCursor cur = f.editor->txtmain->textCursor();
        cur.movePosition(QTextCursor::End);
        f.editor->txtmain->setTextCursor(cur);
        QTest::keyClick(f.editor->txtmain, Qt::Key_Return);
        QCOMPARE(f.editor->numberOfLines(), 61);
        QCOMPARE(f.editor->curLine, 2);
        const QList<QByteArray> lines = f.storeLines();
        QCOMPARE(lines.at(29), numberedLine(30));
        QCOMPARE(lines.at(30), QByteArray());
        QCOMPARE(lines.at(31), numberedLine(31));
        // The caret stands at the start of the new, empty line: the page's last.
        const tessarc::CharOffset caret = f.editor->txtmain->selStart();
        QCOMPARE(f.editor->txtmain->lineFromChar(caret).value, 29);
        QVERIFY(caret == f.editor->txtmain->lineStart(tessarc::PageRow(29)));
        QCOMPARE(f.editor->txtmain->pageLines().at(29), QString());
        // Typing goes on into that line.
        QTest::keyClicks(f.editor->txtmain, QStringLiteral("M1"));
        f.editor->loadLine(f.editor->curLine);
        QCOMPARE(f.storeLines().at(30), QByteArray("M1"));
    }

    void theLastPageShowsEmptyGutterRows()
    {
        EditorFixture f(5);
        f.load(numberedProgram(12));
        f.editor->setLine(10);
        QCOMPARE(f.editor->lineNumbers->caption(), QStringLiteral("10\r\n11\r\n12\r\n\r\n"));
        QCOMPARE(f.editor->txtmain->pageLines().size(), 3);
        QVERIFY(f.editor->Notes->text().startsWith(QStringLiteral("83%  program.nc")));
    }

    void scrollBarReachesEveryLineOfALongProgram()
    {
        EditorFixture f(30);
        f.load(numberedProgram(40000));
        QCOMPARE(f.editor->scroll->minimum(), 1);
        QCOMPARE(f.editor->scroll->maximum(), 40000);
        f.editor->scroll->setValue(39999);
        QCOMPARE(f.editor->c->text(), QStringLiteral("39999"));
        QCOMPARE(f.editor->curLine, 39999);
        QCOMPARE(f.editor->txtmain->pageLines().first(), QString::fromLatin1(numberedLine(39999)));
        f.editor->setLine(123);
        QCOMPARE(f.editor->scroll->value(), 123);
    }

    void percentagesHoldPastTwentyOneMillionLines()
    {
        EditorFixture f(30);
        f.load("G1\r\n");
        // A host grows the store to 30 million lines (most of them empty records).
        {
            tessarc::LineStore store;
            store.open(f.editor->tempFile, 500);
            store.write(tessarc::LineNumber(30000000), "M30");
        }
        f.editor->ChangeLineCount(30000000);
        f.editor->setLine(25000000);
        QCOMPARE(f.editor->curLine, 25000000);
        QVERIFY2(f.editor->Notes->text().startsWith(QStringLiteral("83%")), qPrintable(f.editor->Notes->text()));
        QCOMPARE(f.editor->formatT->text(), QStringLiteral("  30,000,000"));
        f.editor->setLine(30000000);
        QCOMPARE(f.editor->txtmain->pageText(), QStringLiteral("M30"));
        QFile::remove(f.editor->tempFile);
    }

    void heldButtonsKeepStepping()
    {
        EditorFixture f(30);
        f.load(numberedProgram(50));
        f.editor->setLine(49);
        QTest::mousePress(f.editor->r, Qt::LeftButton);
        QVERIFY(f.editor->TmrSDOWN->isActive());
        QTest::mouseRelease(f.editor->r, Qt::LeftButton);
        QVERIFY(!f.editor->TmrSDOWN->isActive());
        QTest::mousePress(f.editor->l, Qt::LeftButton);
        QVERIFY(f.editor->TmrSUP->isActive());
        QTRY_VERIFY(f.editor->curLine < 48); // held down, it keeps stepping
        QTest::mouseRelease(f.editor->l, Qt::LeftButton);
        QVERIFY(!f.editor->TmrSUP->isActive());
    }

    void clickOnTheProgressBarJumpsInProportion()
    {
        EditorFixture f(30);
        f.load(numberedProgram(1000));
        const int w = f.editor->progressbar->width();
        QTest::mouseClick(f.editor->Notes, Qt::LeftButton, {}, QPoint(w / 4, 3)); // the label lies over the bar
        QCOMPARE(f.editor->curLine, static_cast<int>(1000.0 * (w / 4) / w));
        QTest::mouseClick(f.editor->progressbar, Qt::LeftButton, {}, QPoint(w / 2, 3));
        QCOMPARE(f.editor->curLine, static_cast<int>(1000.0 * (w / 2) / w));
        // The filled part shades from blue to red.
        const QImage &bar = f.editor->progressbar->image();
        const int filled = static_cast<int>(f.editor->curLine * 100.0 / 1000 / 100 * bar.width());
        QVERIFY(QColor(bar.pixel(1, 2)).blue() > 200);
        QVERIFY(QColor(bar.pixel(filled - 1, 2)).red() > 200);
    }

    void fontChangeKeepsThePageAndItsEdits()
    {
        EditorFixture f(30);
        f.load(numberedProgram(200));
        f.editor->setLine(20);
        f.editor->txtmain->setSelStart(tessarc::CharOffset(0));
        f.editor->txtmain->textCursor().insertText(QStringLiteral("M0 "));
        f.editor->setfont(true, false, QStringLiteral("DejaVu Sans Mono"), 16, false, false);
        QCOMPARE(f.editor->txtmain->font().pointSize(), 16);
        QVERIFY(f.editor->txtmain->font().bold());
        QCOMPARE(f.editor->curLine, 20);
        QCOMPARE(f.storeLines().at(19), "M0 " + numberedLine(20));
        QVERIFY(f.editor->lines < 30 + 20); // recomputed for the larger font
    }
};

VORNEXA_TEST_MAIN(TestPaging)
#include "tst_paging.moc"
