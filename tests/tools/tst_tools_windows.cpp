#include "frmmirror.h"
#include "frmop.h"
#include "pageview.h"
#include "steprecorder.h"
#include "testhost.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

// A window that collects recorded steps, as the macro editor does.
class StepCollector : public QWidget, public StepRecorder
{
public:
    void addStep(const QString &name, const QString &settings) override { steps.append({name, settings}); }
    QList<QPair<QString, QString>> steps;
};

const QString kSep = QStringLiteral("\nSEP.QEN\r");

} // namespace

// Operations and Mirror on a loaded program, from their fields to the store.
class TestToolWindows : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHost> shell;

    // An Operations window with its fields filled in and its option (1 add ... 4 divide) chosen.
    std::unique_ptr<frmOp> operations(int option, const QString &axis, const QString &value)
    {
        auto w = std::make_unique<frmOp>(*shell);
        w->Form_Load();
        w->txtAxis->setText(axis);
        w->txtValue->setText(value);
        QRadioButton *options[] = {w->Option1, w->Option2, w->Option3, w->Option4};
        options[option - 1]->click();
        return w;
    }

private slots:
    void init()
    {
        shell = std::make_unique<TestHost>();
    }

    void cleanup()
    {
        QVERIFY2(shell->scripted.unexpected.isEmpty(), qPrintable(shell->scripted.unexpected.join(QLatin1Char('\n'))));
        shell.reset();
    }

    void operationsRewriteTheStore_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("axis");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("add 0.5 to X, spaces on") << 1 << "X" << "0.5" << true
            << QList<QByteArray>{"G01 X1.5Y2.", "G01 Y2.", "x2.", "(EX0.5AMPLE) X1.", "G01X-1.Y2.", "X1.5"};
        QTest::newRow("add 0.5 to X, spaces off") << 1 << "X" << "0.5" << false
            << QList<QByteArray>{"G01 X1.5 Y2.", "G01 Y2.", "x2.", "(EX0.5AMPLE) X1.", "G01X-1.Y2.", "X1.5"};
        QTest::newRow("subtract 2 from x") << 2 << "x" << "2" << true
            << QList<QByteArray>{"G01 X-1.Y2.", "G01 Y2.", "x-0.5", "(EX-2.AMPLE) X1.", "G01X-3.5Y2.", "X-1."};
        QTest::newRow("multiply Y by 2") << 3 << "Y" << "2" << true
            << QList<QByteArray>{"G01 X1. Y4.", "G01 Y4.", "x1.5", "(EXAMPLE) X1.", "G01X-1.5Y4.", "X1.0000"};
        QTest::newRow("divide X by 4") << 4 << "X" << "4" << false
            << QList<QByteArray>{"G01 X0.25 Y2.", "G01 Y2.", "x0.375", "(EX0.AMPLE) X1.", "G01X-0.375Y2.", "X0.25"};
    }
    void operationsRewriteTheStore()
    {
        QFETCH(int, option);
        QFETCH(QString, axis);
        QFETCH(QString, value);
        QFETCH(bool, spaces);
        QFETCH(QList<QByteArray>, expected);
        shell->globalVar.numbers.spaces = spaces;
        shell->open({"G01 X1. Y2.", "G01 Y2.", "x1.5", "(EXAMPLE) X1.", "G01X-1.5Y2.", "X1.0000"});
        auto w = operations(option, axis, value);
        QCOMPARE(static_cast<int>(w->operation()), option);
        w->Go->click();
        QCOMPARE(shell->store(), expected);
        QVERIFY(shell->scripted.log.isEmpty());
    }

    void operationsStayInsideTheRange()
    {
        shell->open(numberedLines(8));
        auto w = operations(1, QStringLiteral("X"), QStringLiteral("100"));
        w->LINE2LINE->setChecked(true);
        w->StartLine->setText(QStringLiteral("3"));
        w->EndLine->setText(QStringLiteral("5"));
        w->Go->click();
        QCOMPARE(shell->store(),
                 QList<QByteArray>({"N1 X1", "N2 X2", "N3 X103.", "N4 X104.", "N5 X105.", "N6 X6", "N7 X7", "N8 X8"}));
    }

    void operationsRefuseFieldsThatCannotRun_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("axis");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("shown");
        const QString textNull = QStringLiteral("Are all the text boxes filled out correctly?");
        QTest::newRow("no letter") << 1 << "" << "1" << textNull;
        QTest::newRow("divide by 0") << 4 << "X" << "0" << tools::divideByZeroText();
    }
    void operationsRefuseFieldsThatCannotRun()
    {
        QFETCH(int, option);
        QFETCH(QString, axis);
        QFETCH(QString, value);
        QFETCH(QString, shown);
        shell->open(numberedLines(4));
        const QList<QByteArray> before = shell->store();
        operations(option, axis, value)->Go->click();
        QCOMPARE(shell->messages(), QStringList{QStringLiteral("message: ") + shown});
        QCOMPARE(shell->store(), before);
        QVERIFY(!shell->busyShown);
    }

    void mirrorRewritesTheStore_data()
    {
        QTest::addColumn<QString>("at");
        QTest::addColumn<bool>("arcs");
        QTest::addColumn<bool>("compensation");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("at 0, both swaps, spaces off") << "0" << true << true << false
            << QList<QByteArray>{"G03 X-1.5 Y2. I-1.5", "G02 x-1.", "G42 G41 Y1", "X0. 4.", "G2 X2.5"};
        QTest::newRow("at 0, both swaps, spaces on") << "0" << true << true << true
            << QList<QByteArray>{"G03 X-1.5Y2. I-1.5", "G02 x-1.", "G42 G41 Y1", "X-4.", "G2 X2.5"};
        QTest::newRow("at 10, no swaps") << "10" << false << false << false
            << QList<QByteArray>{"G02 X18.5 Y2. I-1.5", "g03 x19.", "G41 G42 Y1", "X20. 4.", "G2 X22.5"};
    }
    void mirrorRewritesTheStore()
    {
        QFETCH(QString, at);
        QFETCH(bool, arcs);
        QFETCH(bool, compensation);
        QFETCH(bool, spaces);
        QFETCH(QList<QByteArray>, expected);
        shell->globalVar.numbers.spaces = spaces;
        // On line 4 a space follows the letter: with spaces off no number follows it.
        shell->open({"G02 X1.5 Y2. I-1.5", "g03 x1.", "G41 G42 Y1", "X 4.", "G2 X-2.5"});
        frmMirror w(*shell);
        w.Form_Load();
        QVERIFY(w.g02g03->isChecked());
        QVERIFY(w.g41g42->isChecked());
        w.txtAxis->setText(QStringLiteral("X"));
        w.txtValue->setText(at);
        w.g02g03->setChecked(arcs);
        w.g41g42->setChecked(compensation);
        w.Go->click();
        QCOMPARE(shell->store(), expected);
        QVERIFY(shell->scripted.log.isEmpty());
    }

    void aLineTooLongForItsRecordStopsTheRun()
    {
        shell->globalVar.numbers.spaces = false;
        shell->editor().recLen = 20; // lines of at most 18 characters
        shell->open({"X1Y2", "X1Y2", "N3 X1Y22222222222", "X1"});
        auto w = operations(1, QStringLiteral("X"), QStringLiteral("0.25"));
        w->Go->click();
        QCOMPARE(shell->messages(),
                 QStringList{QStringLiteral("message: Line 3: ") + tools::lineFaultText(tools::LineFault::TooLong) +
                             QStringLiteral(" The run stopped there: lines 1 to 2 were changed, the lines from line 3 "
                                            "on were not.")});
        QCOMPARE(shell->store(), QList<QByteArray>({"X1.25Y2", "X1.25Y2", "N3 X1Y22222222222", "X1"}));
        QVERIFY(!shell->editor().Run);
        QVERIFY(!shell->editor().txtmain->isReadOnly());
        QCOMPARE(w->Go->text(), QStringLiteral("Go"));
        // The program is still whole: it saves as it now stands.
        const QString saved = testEnvironment().path(QStringLiteral("after-stop.nc"));
        shell->editor().saveFile(saved);
        QCOMPARE(readBytes(saved), QByteArray("X1.25Y2\r\nX1.25Y2\r\nN3 X1Y22222222222\r\nX1\r\n"));
    }

    void aRecorderOwnerGetsTheStepInsteadOfARun()
    {
        shell->open(numberedLines(6));
        const QList<QByteArray> before = shell->store();
        StepCollector macroEditor;
        auto *w = new frmMirror(*shell, &macroEditor);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->Form_Load();
        w->txtAxis->setText(QStringLiteral("Y"));
        w->txtValue->setText(QStringLiteral("2.5"));
        w->g41g42->setChecked(false);
        w->LINE2LINE->setChecked(true);
        w->StartLine->setText(QStringLiteral("2"));
        QPointer<frmMirror> alive(w);
        w->Go->click();
        QCOMPARE(macroEditor.steps.size(), 1);
        QCOMPARE(macroEditor.steps.first().first, QStringLiteral("Mirror"));
        QCOMPARE(macroEditor.steps.first().second,
                 QStringList({"2.5", "Y", "False", "True", "2", "6", "1", "0"}).join(kSep) + kSep);
        QTRY_VERIFY(!alive);
        QCOMPARE(shell->store(), before);
        QVERIFY(!shell->busyShown);
    }

    void operationsRecordTheirFieldsInOrder()
    {
        shell->open(numberedLines(3));
        StepCollector macroEditor;
        frmOp w(*shell, &macroEditor);
        w.Form_Load();
        w.txtAxis->setText(QStringLiteral("F"));
        w.txtValue->setText(QStringLiteral("0.5"));
        w.Option3->click();
        w.Go->click();
        QCOMPARE(macroEditor.steps.size(), 1);
        QCOMPARE(macroEditor.steps.first().first, QStringLiteral("Operations"));
        QCOMPARE(macroEditor.steps.first().second,
                 QStringList({"False", "False", "True", "False", "0.5", "F", "True", "False", "1", "3"}).join(kSep) + kSep);
    }
};

VORNEXA_TEST_MAIN(TestToolWindows)
#include "tst_tools_windows.moc"
