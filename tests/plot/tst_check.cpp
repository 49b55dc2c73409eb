#include "frmcheck.h"
#include "machinefolder.h"
#include "program.h"
#include "scriptrun.h"
#include "testhost.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

// A mill whose X goes from 0 to 100, as Manage Machines would keep it.
void makeSmallMill()
{
    interp::MachineSetup mill;
    mill.axes[0].limited = true;
    mill.axes[0].max = 100.0;
    mill.axes[0].rapid = 600.0;
    const comm::MachineFolder folder = comm::MachineFolder::standard();
    folder.write(folder.create(QStringLiteral("Mill")));
    folder.writeSetup(QStringLiteral("Mill"), mill);
}

} // namespace

class tst_check : public QObject
{
    Q_OBJECT

private slots:
    void form_data();
    void form();
    void json();
    void window();
    void windowStopped();
};

void tst_check::form_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said"); // on stdout for a run, on stderr for a refusal
    QTest::newRow("clean") << QByteArray("G0 X10\nG1 X20 F600\nM2\n") << QStringList{} << 0
                           << "program.ngc: 0 errors, 0 warnings; 3 lines, 2 moves\nextents: X 0.000 to 20.000\n";
    QTest::newRow("an error") << QByteArray("G1 X1\nM2\n") << QStringList{} << 1 << "line 1: error: a feed move with no feed rate (F)\n";
    QTest::newRow("a warning only") << QByteArray("S100 M3\nT1 M6\nM2\n") << QStringList{} << 0
                                    << "line 2: warning: a tool change with the spindle turning (M3)";
    QTest::newRow("the machine's travel") << QByteArray("G0 X150\nM2\n") << QStringList{"--machine", "Mill"} << 1
                                          << "line 1: error: X goes to 150.000 in machine coordinates, 50.000 past its travel";
    QTest::newRow("no travel without the machine") << QByteArray("G0 X150\nM2\n") << QStringList{} << 0 << "0 errors";
    QTest::newRow("the machine's rapid rate") << QByteArray("G0 X100\nM2\n") << QStringList{"--machine", "Mill"} << 0 << "time: 0:10 ";
    QTest::newRow("no such machine") << QByteArray("G0 X1\nM2\n") << QStringList{"--machine", "Lathe"} << 2 << "there is no machine Lathe.";
    QTest::newRow("two programs") << QByteArray("M2\n") << QStringList{"other.ngc"} << 2 << "--check takes one program";
    QTest::newRow("a machine with no name") << QByteArray("M2\n") << QStringList{"--machine"} << 2 << "--machine takes";
}

void tst_check::form()
{
    QFETCH(QByteArray, program);
    QFETCH(QStringList, options);
    QFETCH(int, code);
    QFETCH(QString, said);
    emptyRunFolders();
    makeSmallMill();
    ScriptRun run(QStringList{QStringLiteral("--check"), writeTestFile(QStringLiteral("program.ngc"), program)} + options);
    QCOMPARE(run.exitCode(), code);
    QVERIFY2((code == 2 ? run.err() : run.out()).contains(said), qPrintable(run.out() + run.err()));
}

void tst_check::json()
{
    emptyRunFolders();
    ScriptRun run({QStringLiteral("--check"), writeTestFile(QStringLiteral("program.ngc"), "G0 X5 Y5\nG1 Z-1\nG1 X10 F100\n"), QStringLiteral("--json")});
    QCOMPARE(run.exitCode(), 1);
    const QJsonObject report = QJsonDocument::fromJson(run.out().toUtf8()).object();
    QCOMPARE(report.value("errors").toInt(), 2);
    const QJsonArray findings = report.value("findings").toArray();
    QCOMPARE(findings.size(), 2);
    QCOMPARE(findings[0].toObject().value("line").toInt(), 2);
    QCOMPARE(findings[1].toObject().value("reason").toString(), QStringLiteral("the program has no end (M2 or M30)"));
    const QJsonObject summary = report.value("summary").toObject();
    QCOMPARE(summary.value("extents").toObject().value("X").toArray(), (QJsonArray{0.0, 10.0}));
    QCOMPARE(summary.value("feedLength").toDouble(), 6.0);
}

void tst_check::window()
{
    TestHost host;
    plot::registerCheckWindow(host);
    host.open({"G0 X10 Y10", "G1 X20 F600", "G1 Y20", "G1 X30 Y20 Z-1 S99999", "G0 Z5", "M2"});
    auto *check = qobject_cast<frmCheck *>(host.showWindow(QStringLiteral("checkprogram")));
    QVERIFY(check);
    QCOMPARE(check->cboMachine->currentText(), QStringLiteral("(no machine)"));
    check->Go->click();
    QVERIFY(host.allGivenBack());
    QCOMPARE(check->Go->text(), QStringLiteral("Go"));
    QCOMPARE(check->lstFindings->topLevelItemCount(), 0);
    QVERIFY2(check->txtSummary->toPlainText().contains(QStringLiteral("0 errors, 0 warnings; 6 lines, 5 moves")),
             qPrintable(check->txtSummary->toPlainText()));
    // The status strip follows the caret through the run.
    host.editor().showLineWithCaret(3);
    QVERIFY2(host.notes.last().startsWith(QStringLiteral("line 3: 0:0")), qPrintable(host.notes.join('|')));
    QVERIFY(host.notes.last().endsWith(QStringLiteral(" of ") + interp::clockText(check->lastRun().summary.seconds)));

    // On a machine, its findings; a click shows the line.
    makeSmallMill();
    check->Form_Load();
    check->cboMachine->setCurrentText(QStringLiteral("Mill"));
    host.editor().program().replaceLines(tessarc::LineNumber{5}, 1, {"G0 X150 Z5"});
    check->Go->click();
    QCOMPARE(check->lstFindings->topLevelItemCount(), 1);
    QTreeWidgetItem *finding = check->lstFindings->topLevelItem(0);
    QCOMPARE(finding->text(0), QStringLiteral("5"));
    QVERIFY(finding->text(2).startsWith(QStringLiteral("X goes to 150.000")));
    check->lstFindings->itemClicked(finding, 0);
    QCOMPARE(host.editor().caretLine(), 5);

    // A change makes the check stale: no time is told until it runs again.
    QVERIFY(check->isCurrent());
    host.editor().program().replaceLines(tessarc::LineNumber{1}, 1, {"G0 X11 Y10"});
    QVERIFY(!check->isCurrent());
    QCOMPARE(check->timeAtLine(3), QString());
    QVERIFY(check->txtSummary->toPlainText().endsWith(QStringLiteral("check it again.")));
    // Enter checks again; Escape closes the window.
    QTest::keyClick(check, Qt::Key_Return);
    QVERIFY(check->isCurrent());
    QTest::keyClick(check, Qt::Key_Escape);
    QVERIFY(!check->isVisible());
}

void tst_check::windowStopped()
{
    TestHost host;
    plot::registerCheckWindow(host);
    QList<QByteArray> lines;
    for (int i = 0; i < 60000; ++i)
        lines.append("G1 X" + QByteArray::number(i % 100) + " F1000");
    host.open(lines);
    auto *check = qobject_cast<frmCheck *>(host.showWindow(QStringLiteral("checkprogram")));
    // Go again while it runs stops it, and so does Escape, which leaves the window open.
    for (const bool escape : {false, true}) {
        QTimer::singleShot(0, check, [check, escape] {
            if (escape)
                QTest::keyClick(check, Qt::Key_Escape);
            else
                check->Go->click();
        });
        check->Go->click();
        QVERIFY(check->lastRun().cancelled);
        QVERIFY(!check->isCurrent());
        QVERIFY(check->isVisible());
        QVERIFY(host.allGivenBack());
        QCOMPARE(check->Go->text(), QStringLiteral("Go"));
        QVERIFY(check->txtSummary->toPlainText().startsWith(QStringLiteral("The check was stopped")));
    }
}

QTEST_MAIN(tst_check)
#include "tst_check.moc"
