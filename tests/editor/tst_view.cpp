#include "editorfixture.h"
#include "pageview.h"
#include "testenv.h"

#include <QLabel>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextLayout>

// What the view shows the machinist: where typing goes after a move, the line that holds the caret,
// the status strip, and comments in their colour.
class TestView : public QObject
{
    Q_OBJECT

private slots:
    void pageKeysLeaveTheCaretWhereTypingGoes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("from");        // the page's top line before the key
        QTest::addColumn<int>("changedLine"); // the program line the typing lands on
        QTest::newRow("Home") << int(Qt::Key_Home) << 50 << 1;
        QTest::newRow("End") << int(Qt::Key_End) << 50 << 100;
        QTest::newRow("Page Up") << int(Qt::Key_PageUp) << 50 << 21;
        QTest::newRow("Page Down") << int(Qt::Key_PageDown) << 30 << 88;
    }

    void pageKeysLeaveTheCaretWhereTypingGoes()
    {
        QFETCH(int, key);
        QFETCH(int, from);
        QFETCH(int, changedLine);
        EditorFixture f(30);
        f.load(numberedProgram(100));
        f.editor->setLine(from);
        f.editor->txtmain->setFocus();
        // The caret deep inside a line of the middle of the page.
        f.editor->txtmain->setSelStart(tessarc::CharOffset(f.editor->txtmain->lineStart(tessarc::PageRow(14)).value + 5));
        QTest::keyClick(f.editor->txtmain, static_cast<Qt::Key>(key));
        QTest::keyClicks(f.editor->txtmain, QStringLiteral("M0 "));
        // The line that holds the caret is marked, in the view and in the gutter.
        QCOMPARE(f.editor->curLine + f.editor->lineNumbers->currentRow(), changedLine);
        QCOMPARE(f.editor->txtmain->extraSelections().size(), 1);
        f.editor->loadLine(f.editor->curLine);
        const QList<QByteArray> lines = f.storeLines();
        for (int k = 1; k <= 100; ++k)
            QCOMPARE(lines.at(k - 1), k == changedLine ? "M0 " + numberedLine(k) : numberedLine(k));
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

    void lineCommentsTakeTheCommentColour()
    {
        EditorFixture f(30);
        f.editor->assigncolors(0, 0x0000ff, QStringLiteral("XY")); // words red
        f.editor->assigncolors(7, 0x00ff00, QStringLiteral("COMMENTS"));
        f.editor->lineComment = QStringLiteral(";");
        f.load("G1 X1 ; X2 (Y3) Y4\r\n(A;B) X5\r\n");
        const auto colourAt = [&](int row, int column) {
            const QTextBlock block = f.editor->txtmain->document()->findBlockByNumber(row);
            for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
                if (column >= range.start && column < range.start + range.length)
                    return range.format.foreground().color();
            }
            return f.editor->txtmain->palette().color(QPalette::Text);
        };
        const QColor red(255, 0, 0), green(0, 255, 0);
        QCOMPARE(colourAt(0, 3), red);    // X1
        QCOMPARE(colourAt(0, 8), green);  // X2, after ";"
        QCOMPARE(colourAt(0, 17), green); // Y4, still after ";"
        QCOMPARE(colourAt(1, 2), green);  // a ";" inside a delimited comment opens nothing
        QCOMPARE(colourAt(1, 6), red);    // X5
        // With no line comment, a ";" is plain text again.
        f.editor->lineComment.clear();
        f.editor->color();
        QCOMPARE(colourAt(0, 8), red);
    }
};

VORNEXA_TEST_MAIN(TestView)
#include "tst_view.moc"
