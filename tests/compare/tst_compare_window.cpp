#include "frmcompare.h"
#include "testenv.h"
#include "testhost.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using compare::CompareModel;

class TestCompareWindow : public HostTest
{
    Q_OBJECT

    // The row's four cells as shown, "|"-joined.
    static QString row(const CompareModel *model, int r)
    {
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells.append(model->index(r, c).data().toString());
        return cells.join(QLatin1Char('|'));
    }

private slots:
    // The open program against another, side by side; F8 steps through the differences; each is
    // taken over into the open program as one Undo step, until the two are the same.
    void sideBySideAndTakenOver()
    {
        const QList<QByteArray> mine = {"N10 G0 X0 Y0", "N20 G1 X10 F100", "N30 Y10", "N40 M30"};
        shell->open(mine);
        const QString other = testEnvironment().path(QStringLiteral("other.nc"));
        writeBytes(other, "G0 X0. Y0.\r\nG1 X12 F100\r\nY10\r\nM8\r\nM30\r\n");
        compare::frmCompare w(*shell);
        w.show();
        shell->scripted.answerText(other);
        w.Form_Load();
        QCOMPARE(w.lblCount->text(), QStringLiteral("2 differences: difference 1 of 2"));
        const CompareModel *model = w.model();
        QCOMPARE(model->rowCount(), 5);
        QCOMPARE(row(model, 1), QStringLiteral("2|N20 G1 X10 F100|2|G1 X12 F100"));
        QCOMPARE(row(model, 3), QStringLiteral("||4|M8"));
        QCOMPARE(model->index(1, CompareModel::AText).data(Qt::BackgroundRole).value<QColor>(), CompareModel::changedColour());
        QCOMPARE(model->index(3, CompareModel::BText).data(Qt::BackgroundRole).value<QColor>(), CompareModel::insertedColour());
        QCOMPARE(model->index(0, CompareModel::AText).data(Qt::BackgroundRole), QVariant());
        const QList<QPoint> words = model->index(1, CompareModel::BText).data(CompareModel::kChangedWordsRole).value<QList<QPoint>>();
        QCOMPARE(words, (QList<QPoint>{QPoint(3, 3)})); // X12
        QTest::keyClick(&w, Qt::Key_F8);
        QCOMPARE(w.current(), 1);
        QVERIFY(!w.cmdNext->isEnabled() && w.cmdPrevious->isEnabled());
        QCOMPARE(w.grid->currentIndex().row(), 3);

        w.cmdTake->click(); // M8 goes in after line 3
        QList<QByteArray> expected = mine;
        expected.insert(3, "M8");
        QCOMPARE(shell->store(), expected);
        QCOMPARE(w.lblCount->text(), QStringLiteral("1 difference: difference 1 of 1"));
        w.cmdTake->click();
        const QList<QByteArray> once = expected;
        expected[1] = "G1 X12 F100";
        QCOMPARE(shell->store(), expected);
        QCOMPARE(w.lblCount->text(), QStringLiteral("identical"));
        QVERIFY(!w.cmdTake->isEnabled() && shell->allGivenBack());
        QVERIFY(w.cmdCompare_Click());
        QVERIFY(w.result().identical());
        shell->checkUndoRedo(once); // each taking over, one step
        shell->editor().program().history().undo();
        shell->editor().program().history().undo();
        QCOMPARE(shell->store(), mine);

        // The rules turned off: the N words count, and so do the numbers as written.
        w.chkN->setChecked(true);
        w.chkValue->setChecked(true);
        QVERIFY(w.cmdCompare_Click());
        QCOMPARE(w.lblCount->text(), QStringLiteral("1 difference: difference 1 of 1; the programs have no line in common"));
        w.txtTolerance->setText(QStringLiteral("much"));
        QVERIFY(!w.cmdCompare_Click());
        QCOMPARE(shell->messages().last(), QStringLiteral("message: Compare: The tolerance must be a number from 0; \"much\" is not one."));

        // A change of the open program makes the compare stale: nothing is taken over then.
        w.chkN->setChecked(false);
        w.chkValue->setChecked(false);
        w.txtTolerance->setText(QStringLiteral("0"));
        QVERIFY(w.cmdCompare_Click());
        shell->editor().program().replaceLines(tessarc::LineNumber(1), 1, {"G0 X5 Y0"});
        QVERIFY(w.lblCount->text().endsWith(QLatin1String("The open program has changed since: Compare again.")));
    }

    // No program chosen: the window goes; one that cannot be read is said.
    void nothingChosen()
    {
        shell->open({"G0 X1"});
        auto *w = new compare::frmCompare(*shell);
        w->setAttribute(Qt::WA_DeleteOnClose);
        const QPointer<compare::frmCompare> alive(w);
        w->show();
        shell->scripted.answerText(testEnvironment().path(QStringLiteral("gone.nc")));
        w->Form_Load();
        QVERIFY(shell->messages().last().startsWith(QLatin1String("message: Compare: ")));
        QVERIFY(shell->messages().last().contains(QLatin1String("gone.nc could not be read")));
        shell->scripted.answerNothing();
        w->Form_Load();
        QTRY_VERIFY(!alive);
    }
};

VORNEXA_TEST_MAIN(TestCompareWindow)
#include "tst_compare_window.moc"
