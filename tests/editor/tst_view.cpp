#include "editorfixture.h"
#include "pageview.h"
#include "testenv.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QToolButton>
#include <QTextBlock>
#include <QTextLayout>

namespace {

// The colours the view draws a view line in, one letter a character: b blue, r red, g grey, n green,
// k the view's text colour (black here), ? anything else.
QString coloursOf(TESSARC &editor, int line)
{
    const QTextBlock block = editor.txtmain->document()->findBlockByNumber(line);
    QString out(block.length() - 1, QLatin1Char('k'));
    for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
        const QRgb rgb = range.format.foreground().color().rgb() & 0xffffff;
        const char letter = rgb == 0x0000ff ? 'b' : rgb == 0xff0000 ? 'r' : rgb == 0x808080 ? 'g'
                          : rgb == 0x00ff00 ? 'n' : rgb == 0 ? 'k' : '?';
        for (int i = range.start; i < range.start + range.length && i < out.size(); ++i)
            out[i] = QLatin1Char(letter);
    }
    return out;
}

} // namespace

// What the view shows the machinist: where typing goes after a move, the line that holds the caret,
// the status strip, and comments in their colour.
class TestView : public QObject
{
    Q_OBJECT

private slots:
    void pageKeysLeaveTheCaretWhereTypingGoes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("from");        // the page's top line before the key
        QTest::addColumn<int>("changedLine"); // the program line the typing lands on
        QTest::addColumn<bool>("atEnd");      // the typing goes at the line's end, not its start
        const int ctrl = int(Qt::ControlModifier);
        QTest::newRow("Home: the start of the line") << int(Qt::Key_Home) << 0 << 50 << 64 << false;
        QTest::newRow("End: the end of the line") << int(Qt::Key_End) << 0 << 50 << 64 << true;
        QTest::newRow("Ctrl+Home: the first page") << int(Qt::Key_Home) << ctrl << 50 << 1 << false;
        QTest::newRow("Ctrl+End: the end of the program") << int(Qt::Key_End) << ctrl << 50 << 100 << true;
        QTest::newRow("Page Up") << int(Qt::Key_PageUp) << 0 << 50 << 21 << false;
        QTest::newRow("Page Down") << int(Qt::Key_PageDown) << 0 << 30 << 88 << false;
    }

    void pageKeysLeaveTheCaretWhereTypingGoes()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, from);
        QFETCH(int, changedLine);
        QFETCH(bool, atEnd);
        EditorFixture f(30);
        f.load(numberedProgram(100));
        f.editor->setLine(from);
        f.editor->txtmain->setFocus();
        // The caret deep inside a line of the middle of the page.
        f.editor->txtmain->setSelStart(tessarc::CharOffset(f.editor->txtmain->lineStart(tessarc::PageRow(14)).value + 5));
        QTest::keyClick(f.editor->txtmain, static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));
        QTest::keyClicks(f.editor->txtmain, QStringLiteral("M0 "));
        // The line that holds the caret is marked, in the view and in the gutter.
        QCOMPARE(f.editor->curLine + f.editor->lineNumbers->currentRow(), changedLine);
        QCOMPARE(f.editor->txtmain->extraSelections().size(), 1);
        f.editor->loadLine(f.editor->curLine);
        const QList<QByteArray> lines = f.storeLines();
        for (int k = 1; k <= 100; ++k) {
            const QByteArray typed = atEnd ? numberedLine(k) + "M0 " : "M0 " + numberedLine(k);
            QCOMPARE(lines.at(k - 1), k == changedLine ? typed : numberedLine(k));
        }
    }

    void theTopLineBoxTakesDigitsAndStopsAtTheLastPage()
    {
        EditorFixture f(30);
        f.load(numberedProgram(100));
        f.editor->c->clear();
        QTest::keyClicks(f.editor->c, QStringLiteral("4x5"));
        QCOMPARE(f.editor->c->text(), QStringLiteral("45"));
        QCOMPARE(f.editor->curLine, 45);
        f.editor->c->setText(QStringLiteral("5000"));
        QCOMPARE(f.editor->curLine, 71);
        QCOMPARE(f.editor->c->text(), QStringLiteral("71"));
    }

    // A resize shows the page again for its new size: the selection (a hit) and the caret stay.
    void aResizeKeepsTheSelection()
    {
        EditorFixture f(30);
        f.load(numberedProgram(100));
        f.editor->setLine(40);
        f.editor->selectText(10, 3);
        const QString selected = f.editor->getSel();
        QCOMPARE(selected.size(), 3);
        for (int height : {300, 700, 480}) {
            f.editor->resize(640, height);
            QCOMPARE(f.editor->curLine, 40);
            QCOMPARE(f.editor->getSel(), selected);
            QCOMPARE(f.editor->txtmain->extraSelections().size(), 2); // the line, and the selection marked
        }
    }

    void theStatusStripFitsItsText()
    {
        EditorFixture f(30);
        f.load(numberedProgram(3));
        for (int width : {200, 640, 1400}) {
            f.editor->resize(width, 480);
            const QString longest = QStringLiteral("  2,147,483,647");
            QVERIFY(f.editor->formatT->width() >= f.editor->formatT->fontMetrics().horizontalAdvance(longest));
            QVERIFY(f.editor->c->width() >= f.editor->c->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
            QVERIFY(f.editor->e->geometry().right() <= f.editor->width());
        }
    }

    // With no program the view holds words, not a program: no colours, no line numbers; the
    // scroll bar stands alone with its one pair of arrows.
    void theViewWithNoProgramIsPlain()
    {
        EditorFixture f(30);
        f.editor->assigncolors(0, 0x0000ff, QStringLiteral("PLAEF"));
        f.editor->setColor(0x000000, 0xffffff);
        f.editor->color();
        QCOMPARE(f.editor->txtmain->pageText(), QStringLiteral("Please Load A File."));
        QCOMPARE(coloursOf(*f.editor, 0), QString(19, QLatin1Char('k')));
        QCOMPARE(f.editor->lineNumbers->caption().trimmed(), QString());
        QVERIFY(f.editor->l->isHidden() && f.editor->r->isHidden());
        QCOMPARE(f.editor->scroll->height(), f.editor->txtmain->height());
        f.load("P1 L2\r\n");
        QCOMPARE(coloursOf(*f.editor, 0), QStringLiteral("rrkrr"));
        QVERIFY(f.editor->lineNumbers->caption().startsWith(QStringLiteral("1\r\n")));
    }

    void wordsAndCommentsAreColoured()
    {
        EditorFixture f(30);
        f.editor->assigncolors(0, 0xff0000, QStringLiteral("G")); // blue: red is in the low byte
        f.editor->assigncolors(1, 0x0000ff, QStringLiteral("X"));
        f.editor->assigncolors(7, 0x808080, QString());
        f.editor->setColor(0x000000, 0xffffff);
        f.load("G01X1.5(FAST)\r\nN2 x2 Y3\r\n");
        QCOMPARE(coloursOf(*f.editor, 0), QStringLiteral("bbbrrrrgggggg"));
        QCOMPARE(coloursOf(*f.editor, 1), QStringLiteral("kkkrrkkk"));
        QCOMPARE(f.editor->txtmain->palette().color(QPalette::Base), QColor(255, 255, 255));
        QCOMPARE(f.editor->txtmain->palette().color(QPalette::Text), QColor(0, 0, 0));
        // Typing on a line recolours it, the first line too.
        f.editor->txtmain->setFocus();
        f.editor->txtmain->setSelStart(tessarc::CharOffset(f.editor->txtmain->lineStart(tessarc::PageRow(1)).value + 8));
        QTest::keyClicks(f.editor->txtmain, QStringLiteral(" G4"));
        QCOMPARE(coloursOf(*f.editor, 1), QStringLiteral("kkkrrkkkkbb"));
        f.editor->txtmain->setSelStart(tessarc::CharOffset(0));
        QTest::keyClicks(f.editor->txtmain, QStringLiteral("X9 "));
        QCOMPARE(coloursOf(*f.editor, 0), QStringLiteral("rrkbbbrrrrgggggg"));
        // A line comment runs to the end of the line; inside a delimited comment it opens nothing;
        // with none set, a ";" is plain text again.
        f.editor->lineComment = QStringLiteral(";");
        f.load("X1 ; X2 (G3) G4\r\n(A;B) X5\r\n", QStringLiteral("semicolon.nc"));
        QCOMPARE(coloursOf(*f.editor, 0), QStringLiteral("rrk") + QString(12, QLatin1Char('g')));
        QCOMPARE(coloursOf(*f.editor, 1), QStringLiteral("gggggkrr"));
        f.editor->lineComment.clear();
        f.editor->color();
        QCOMPARE(coloursOf(*f.editor, 0).mid(5, 2), QStringLiteral("rr"));
    }
};

VORNEXA_TEST_MAIN(TestView)
#include "tst_view.moc"
