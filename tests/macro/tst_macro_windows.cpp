#include "frmmacro.h"
#include "frmmacroname.h"
#include "frmmacrorun.h"
#include "fromsets.h"
#include "history.h"
#include "macrorun.h"
#include "pageview.h"
#include "stepfields.h"
#include "macrotest.h"
#include "tessarc.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QListWidget>
#include <QRegularExpression>

using Lines = QList<QByteArray>;
using macro::MacroStep;

namespace {

const QString kTextNull = QStringLiteral("Are all the text boxes filled out correctly?");

QStringList stepTypes(const QString &name)
{
    QStringList types;
    for (const MacroStep &step : macro::readMacro(macroFile(name)).steps)
        types.append(step.stepType + QLatin1Char(':') + step.comment);
    return types;
}

// Writes the macro `name` with `steps`: empty, or the reason it could not.
QString writeSteps(const QString &name, const QList<MacroStep> &steps)
{
    return macro::writeMacro(macroFile(name), steps).value_or(QString());
}

} // namespace

// The macro windows on the test host: steps put back into their windows, the runner, and the
// macro editor.
class TestMacroWindows : public HostTest
{
    Q_OBJECT

    // Runs the macro `name` from the Run Macro window; the captions Run Now showed at each step.
    QStringList runFromWindow(const QString &name, QList<bool> *heldBetween = nullptr)
    {
        frmMacroRun run(*shell);
        run.Form_Load();
        const QList<QListWidgetItem *> rows = run.c->findItems(name, Qt::MatchExactly);
        if (rows.size() != 1)
            return {QStringLiteral("no macro %1 in the list").arg(name)};
        run.c->setCurrentItem(rows.first());
        QStringList captions;
        connect(&run.runner(), &macro::MacroRunner::stepStarted, this, [&] {
            captions.append(run.Command1->text() + (run.c->isHidden() ? QString() : QStringLiteral(" (list shown)")));
        });
        connect(&run.runner(), &macro::MacroRunner::stepFinished, this, [&] {
            if (heldBetween)
                heldBetween->append(shell->editor().Run && shell->busyShown && shell->editor().txtmain->isReadOnly());
        });
        run.Command1->click();
        if (run.Command1->text() != QLatin1String("Run Now") || run.c->isHidden())
            captions.append(QStringLiteral("not idle after the run"));
        return captions;
    }

private slots:
    // Every step name: a step recorded from its window fills a fresh window back into the same
    // fields, set as the program sets them (no range message), so the fresh window records it again;
    // read without a window, the step gives the same tool. The step's table pictures the window as
    // it opens: its options' groups and defaults, its fields' lengths.
    void recordedStepsFillBack_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QStringList>("fields");
        const QStringList range{"LINE2LINE=True", "StartLine=2", "EndLine=5"};
        QTest::newRow("Operations") << "Operations" << range + QStringList{"Option3=True", "txtValue=0.5", "txtAxis=X"};
        QTest::newRow("Operations Plus")
            << "Operations Plus"
            << range + QStringList{"Text1=Z", "l=True", "Text2=-1", "cp=True", "Option2=True", "txtValue=0.5",
                                   "txtAxis=X", "Check2=1", "inc2=True", "inc=0.1"};
        QTest::newRow("Replace") << "Replace"
                                 << range + QStringList{"txtFind=X", "txtReplace=Y", "r2=True", "case1=1", "txtAxis=X",
                                                        "l=True", "txtValue=3", "txtReplaceAxis=Z", "txtReplaceValue=1",
                                                        "Text1=N", "Text2=M", "case2=1", "txtReplaceLine=G0",
                                                        "txtAppendLine=M9"};
        QTest::newRow("Insert File") << "Insert File"
                                     << QStringList{"Command1=" + writeTestFile(QStringLiteral("part.nc"), "G0 X1\r\n"),
                                                    "StartLine=3"};
        QTest::newRow("Remove Comments") << "Remove Comments" << range;
        QTest::newRow("Remove Lines") << "Remove Lines" << QStringList{"StartLine=2", "EndLine=3"};
        QTest::newRow("Filter") << "Filter" << QStringList{"txtAxis=X", "txtValue=0.001"};
        QTest::newRow("Format") << "Format" << range + QStringList{"txtAxis=Y"};
        QTest::newRow("Mirror") << "Mirror" << QStringList{"txtAxis=X", "txtValue=1.5", "g02g03=1", "g41g42=0"};
        QTest::newRow("Number") << "Number"
                                << range + QStringList{"Option2=True", "txtStartNumber=100", "txtInc=5", "Check1=0"};
        QTest::newRow("Space") << "Space" << QStringList{"remove=True"};
    }
    void recordedStepsFillBack()
    {
        QFETCH(QString, step);
        QFETCH(QStringList, fields);
        shell->open(numberedLines(6));
        const QString settings = recordedStep(*shell, step, fields);
        QVERIFY2(!settings.isEmpty(), qPrintable(shell->messages().join(QLatin1Char('\n'))));
        // The fresh window opens on lines 1 to 6 as the recording one did: a step of All Lines
        // leaves that range, a step of From Line brings its own.
        const std::unique_ptr<tools::ToolWindow> fresh = openStepWindow(*shell, step);
        const tools::RangeFields opened = fresh->rangeFields();
        for (const tools::StepField &field : tools::stepFields(step)) {
            const QString name = QLatin1String(field.name);
            if (field.kind == tools::FieldKind::Option) {
                const auto *option = fresh->findChild<QRadioButton *>(name);
                QVERIFY2(option, qPrintable(name));
                if (name != QLatin1String("ALL") && name != QLatin1String("LINE2LINE"))
                    QVERIFY2(option->isChecked() == field.on, qPrintable(name));
                for (const tools::StepField &other : tools::stepFields(step)) {
                    const auto *sibling = fresh->findChild<QRadioButton *>(QLatin1String(other.name));
                    if (other.kind == tools::FieldKind::Option)
                        QVERIFY2((other.group == field.group) == (sibling->parent() == option->parent()),
                                 qPrintable(name + QLatin1Char(' ') + QLatin1String(other.name)));
                }
            } else if (field.kind == tools::FieldKind::Text) {
                const auto *text = fresh->findChild<QLineEdit *>(name);
                QVERIFY2(text && text->maxLength() == field.maxLength, qPrintable(name));
            }
        }
        const fromSets::Filled filled = fromSets::fill(*fresh, step, settings, kSep);
        QVERIFY2(filled.ok(), qPrintable(filled.error));
        QCOMPARE(filled.button, fresh->findChild<QAbstractButton *>(QStringLiteral("Go")));
        QCOMPARE(fresh->stepSettings(), settings);
        const tools::StepForm form = tools::StepForm::read(step, settings, kSep, opened);
        QVERIFY2(form.ok(), qPrintable(form.error));
        QCOMPARE(macro::stepTool(step)(form)->stepSettings(kSep), settings);
        QCOMPARE(shell->messages(), QStringList());
    }

    // A Replace step presses the button of its mode digit: 3 is go3; 7 is none, so nothing runs.
    void replaceModeChoosesTheButton()
    {
        shell->open(numberedLines(4));
        const QString go3 = recordedStep(*shell, QStringLiteral("Replace"),
                                         {"txtAxis=X", "e=True", "txtValue=3", "Text1=N3", "Text2=N30"},
                                         QStringLiteral("go3"));
        // The mode digit follows the last separator.
        QVERIFY(go3.endsWith(kSep + QStringLiteral("3")));
        const QString none = go3.chopped(1) + QStringLiteral("7");
        QCOMPARE(writeSteps(QStringLiteral("Swap"), {{"Replace", "seven", none}, {"Replace", "three", go3}}), QString());
        const Lines before = shell->store();
        macro::WindowRunner runner(*shell);
        const macro::RunResult result = runner.run(macro::readMacro(macroFile(QStringLiteral("Swap"))).steps);
        QCOMPARE(result.steps.size(), 2);
        QCOMPARE(result.steps[0].outcome, macro::StepOutcome::Refused);
        QCOMPARE(result.steps[1].outcome, macro::StepOutcome::Ran);
        Lines expected = before;
        expected[2] = "N30 X3";
        QCOMPARE(shell->store(), expected);
    }

    // The two-step example: the captions on Run Now, the list hidden meanwhile, the lock held
    // between the steps, the report with its log, and one undo step a step.
    void runReportsEveryStep()
    {
        shell->open(numberedLines(10));
        const Lines before = shell->store();
        const QStringList shiftFields{"Option1=True", "txtValue=0.5", "txtAxis=X"};
        const QStringList numberFields{"Option2=True", "txtStartNumber=100", "txtInc=10"};
        const QString shift = recordedStep(*shell, QStringLiteral("Operations"), shiftFields);
        const QString number = recordedStep(*shell, QStringLiteral("Number"), numberFields);
        QCOMPARE(writeSteps(QStringLiteral("Rough"), {{"Operations", "shift", shift}, {"Number", QString(), number}}), QString());
        QList<bool> held;
        QCOMPARE(runFromWindow(QStringLiteral("Rough"), &held),
                 (QStringList{"1/2 Running Rough", "2/2 Running Rough"}));
        QCOMPARE(held, (QList<bool>{true, true}));
        QVERIFY(!shell->editor().Run);
        QVERIFY(!shell->editor().txtmain->isReadOnly());
        QCOMPARE(shell->messages().size(), 1);
        static const QRegularExpression report(
            QStringLiteral("^message: QEN EDIT MACRO: Done running Rough\\. Macro was started at .+\\. The current time "
                           "is .+\\.\r\nMacro took \\d+\\.\\d{3} seconds to run\\.\r\n\r\n001 Operations\\(shift\\) - "
                           "\\d+\\.\\d{3} seconds - Operations: lines 1 to 10: 10 lines changed\r\n002 Number\\(\\) - "
                           "\\d+\\.\\d{3} seconds - Number: lines 1 to 10: 10 lines changed$"));
        QVERIFY2(report.match(shell->messages().first()).hasMatch(), qPrintable(shell->messages().first()));

        // The same as the two windows run by hand, and taken back one step at a time.
        const Lines after = shell->store();
        QVERIFY(after != before);
        tessarc::History &history = shell->editor().program().history();
        history.undo();
        history.undo();
        QCOMPARE(shell->store(), before);
        QVERIFY(runByHand(*shell, QStringLiteral("Operations"), shiftFields));
        QVERIFY(runByHand(*shell, QStringLiteral("Number"), numberFields));
        QCOMPARE(shell->store(), after);
    }

    // A step whose tool refuses changes nothing, shows the tool's message, is logged as refused,
    // and the run goes on.
    void refusedStepIsLoggedAndTheRunGoesOn()
    {
        shell->open(numberedLines(10));
        const Lines before = shell->store();
        const QString outOfRange = tools::operationsStep({tools::Operation::Add, QStringLiteral("X"), QStringLiteral("1")},
                                                         {false, true, QStringLiteral("50"), QStringLiteral("60")}, kSep);
        const QString space = recordedStep(*shell, QStringLiteral("Space"), {"remove=True"});
        QCOMPARE(writeSteps(QStringLiteral("Late"), {{"Operations", "far", outOfRange}, {"Space", QString(), space}}), QString());
        QCOMPARE(runFromWindow(QStringLiteral("Late")).size(), 2);
        const QStringList messages = shell->messages();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages[0], QStringLiteral("message: ") + kTextNull);
        QVERIFY2(messages[1].contains(QStringLiteral("\r\n001 Operations(far) - ")) &&
                     messages[1].contains(QStringLiteral(" seconds - refused: ") + kTextNull + QStringLiteral("\r\n002 Space() - ")),
                 qPrintable(messages[1]));
        QCOMPARE(shell->store().first(), QByteArray("N1X1"));
        QCOMPARE(shell->store().size(), before.size());
    }

    // With no program open the run is refused once, before any step; a missing macro is told.
    void runRefusals()
    {
        const QString space = tools::spaceStep({false}, {true, false, QStringLiteral("1"), QStringLiteral("1")}, kSep);
        QCOMPARE(writeSteps(QStringLiteral("Tidy"), {{"Space", QString(), space}, {"Space", QString(), space}}), QString());
        QCOMPARE(runFromWindow(QStringLiteral("Tidy")), QStringList());
        QCOMPARE(shell->messages(), QStringList{"message: " + shell->values().messages.noFile});
        QVERIFY(!shell->editor().Run);

        shell->scripted.clear();
        frmMacroRun run(*shell);
        run.Form_Load();
        QCOMPARE(run.Label4->text(), QStringLiteral("1 macros"));
        // The list's current item alone is no choice (a list that takes the focus makes one).
        run.c->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        QTest::keyClick(run.c, Qt::Key_Return); // Enter presses Run Now
        QCOMPARE(shell->messages(), QStringList{"message: Please choose the macro to run in the list first."});
        shell->scripted.clear();
        run.c->setCurrentRow(0);
        QVERIFY(QFile::remove(macroFile(QStringLiteral("Tidy"))));
        run.Command1->click();
        QCOMPARE(shell->messages(), QStringList{"message: Macro does not exist."});
        QCOMPARE(run.c->count(), 0);
        QCOMPARE(run.Label4->text(), QStringLiteral("0 macros"));
    }

    // Add, overwrite, back up and remove macros; the list and its count follow the folder.
    void macros()
    {
        frmMacro editor(*shell);
        editor.Form_Load();
        QCOMPARE(editor.Label4->text(), QStringLiteral("0 macros"));
        shell->scripted.answerText(QStringLiteral("Rough"));
        editor.Command1->click();
        QCOMPARE(QFileInfo(macroFile(QStringLiteral("Rough"))).size(), qint64(0));
        QCOMPARE(listed(editor.c), QStringList{"Rough"});
        QCOMPARE(editor.Label4->text(), QStringLiteral("1 macros"));

        QCOMPARE(writeSteps(QStringLiteral("Rough"), {{"Space", "a", "x"}}), QString());
        shell->scripted.answerText(QStringLiteral("Rough"));
        shell->scripted.answer(Prompts::Answer::No);
        editor.Command1->click();
        QCOMPARE(stepTypes(QStringLiteral("Rough")), QStringList{"Space:a"});
        editor.c->setCurrentRow(0);
        editor.c_Click(QStringLiteral("Rough"));
        QCOMPARE(listed(editor.commands), QStringList{"Space (a)"});

        // A backup onto the macro's own name would empty it: refused.
        shell->scripted.answerText(QStringLiteral("Rough"));
        editor.Command6->click();
        QCOMPARE(stepTypes(QStringLiteral("Rough")), QStringList{"Space:a"});
        shell->scripted.answerText(QStringLiteral("Rough2"));
        editor.Command6->click();
        QCOMPARE(stepTypes(QStringLiteral("Rough2")), QStringList{"Space:a"});
        QCOMPARE(listed(editor.c), (QStringList{"Rough", "Rough2"}));

        shell->scripted.answerText(QStringLiteral("Rough"));
        shell->scripted.answer(Prompts::Answer::Yes);
        editor.Command1->click();
        QCOMPARE(QFileInfo(macroFile(QStringLiteral("Rough"))).size(), qint64(0));
        QCOMPARE(editor.commands->count(), 0);

        editor.c->setCurrentRow(1);
        shell->scripted.answer(Prompts::Answer::No);
        editor.Command2->click();
        QVERIFY(QFileInfo::exists(macroFile(QStringLiteral("Rough2"))));
        editor.c->setCurrentRow(1);
        shell->scripted.answer(Prompts::Answer::Yes);
        editor.Command2->click();
        QVERIFY(!QFileInfo::exists(macroFile(QStringLiteral("Rough2"))));
        QCOMPARE(listed(editor.c), QStringList{"Rough"});
        QCOMPARE(shell->messages().filter(QRegularExpression(QStringLiteral("^message"))),
                 QStringList{"message: A backup of Rough needs a name of its own; Rough was not changed."});
    }

    // Up, Down and Remove on three steps, each written to the file and read back.
    void stepOrder()
    {
        QCOMPARE(writeSteps(QStringLiteral("M"), {{"Space", "A", "1"}, {"Number", "B", "2"}, {"Format", "C", "3"}}), QString());
        frmMacro editor(*shell);
        editor.Form_Load();
        editor.c_Click(QStringLiteral("M"));
        QCOMPARE(listed(editor.commands), (QStringList{"Space (A)", "Number (B)", "Format (C)"}));
        const auto press = [&](int row, QPushButton *button) {
            editor.commands->setCurrentRow(row);
            button->click();
            return stepTypes(QStringLiteral("M")).join(QLatin1Char(' '));
        };
        QCOMPARE(press(1, editor.Command7), QStringLiteral("Number:B Space:A Format:C"));
        QVERIFY(editor.commands->selectedItems().isEmpty());
        QCOMPARE(press(2, editor.Command8), QStringLiteral("Number:B Space:A Format:C"));
        QCOMPARE(press(0, editor.Command7), QStringLiteral("Number:B Space:A Format:C"));
        QCOMPARE(press(0, editor.Command8), QStringLiteral("Space:A Number:B Format:C"));
        QCOMPARE(press(1, editor.Command4), QStringLiteral("Space:A Format:C"));
        editor.commands->clearSelection();
        editor.commands->setCurrentRow(-1);
        editor.Command4->click();
        QCOMPARE(stepTypes(QStringLiteral("M")).size(), 2);
        QCOMPARE(shell->messages(), QStringList());

        // A file damaged (or changed) since it was listed is refused, its bytes as they were.
        QFile file(macroFile(QStringLiteral("M")));
        QVERIFY(file.open(QIODevice::Append));
        file.write("\x09");
        file.close();
        const QByteArray damaged = readBytes(macroFile(QStringLiteral("M")));
        for (QPushButton *button : {editor.Command4, editor.Command7, editor.Command8}) {
            shell->scripted.clear();
            editor.commands->setCurrentRow(button == editor.Command7 ? 1 : 0);
            button->click();
            QCOMPARE(shell->messages().size(), 1);
            QVERIFY2(shell->messages().first().endsWith(QStringLiteral(" The macro was not changed.")),
                     qPrintable(shell->messages().first()));
            QCOMPARE(readBytes(macroFile(QStringLiteral("M"))), damaged);
        }
        QCOMPARE(writeSteps(QStringLiteral("M"), {{"Space", "A", "1"}}), QString());
        shell->scripted.clear();
        editor.commands->setCurrentRow(1);
        editor.Command4->click();
        QCOMPARE(shell->messages(), QStringList{"message: The macro M was changed outside this window; its steps are shown again."});
        QCOMPARE(listed(editor.commands), QStringList{"Space (A)"});
    }

    // A step recorded from the editor: the step type list, the tool window owned by the editor, the
    // comment asked for, the step at the end of the file; Copy With Options adds a changed copy.
    void recordingSteps()
    {
        shell->open(numberedLines(30));
        frmMacro editor(*shell);
        editor.Form_Load();
        editor.Command3->click();
        QCOMPARE(shell->messages(), QStringList{"message: Please choose the macro the step is for in the list first."});
        shell->scripted.clear();
        QCOMPARE(writeSteps(QStringLiteral("Cut"), {}), QString());
        editor.Form_Load();
        editor.c_Click(QStringLiteral("Cut"));

        editor.Command3->click();
        auto *types = editor.findChild<frmMacroName *>();
        QVERIFY(types && types->isVisible());
        QCOMPARE(listed(types->List1), tools::stepNames());
        types->List1_Click(types->List1->item(0));
        QTRY_VERIFY(!editor.findChild<frmMacroName *>());
        auto *tool = editor.findChild<tools::ToolWindow *>();
        QVERIFY(tool && tool->recorder() == &editor);
        QVERIFY(setFields(*tool, {"Option1=True", "txtValue=0.5", "txtAxis=X", "LINE2LINE=True", "StartLine=10", "EndLine=20"}));
        shell->scripted.answerText(QStringLiteral("shift"));
        const Lines before = shell->store();
        tool->Go->click();
        QCOMPARE(shell->store(), before);
        QCOMPARE(listed(editor.commands), QStringList{"Operations (shift)"});
        QByteArray hand;
        const QString settings = tools::operationsStep({tools::Operation::Add, QStringLiteral("X"), QStringLiteral("0.5")},
                                                       {false, true, QStringLiteral("10"), QStringLiteral("20")}, kSep);
        QCOMPARE(macro::encodeMacro({{QStringLiteral("Operations"), QStringLiteral("shift"), settings}}, hand), std::nullopt);
        QCOMPARE(readBytes(macroFile(QStringLiteral("Cut"))), hand);

        // Copy With Options: the step's tool window filled from it, recording; Go adds a copy.
        QTRY_VERIFY(!editor.findChild<tools::ToolWindow *>());
        editor.commands->setCurrentRow(0);
        editor.Command5->click();
        tool = editor.findChild<tools::ToolWindow *>();
        QVERIFY(tool);
        QCOMPARE(tool->StartLine->text(), QStringLiteral("10"));
        QVERIFY(setFields(*tool, {"txtValue=2"}));
        shell->scripted.answerNothing();
        tool->Go->click();
        QCOMPARE(listed(editor.commands), (QStringList{"Operations (shift)", "Operations ()"}));
        QCOMPARE(macro::readMacro(macroFile(QStringLiteral("Cut"))).steps.first().stepSettings, settings);

        // A value with a line feed could forge the separator: refused, and the file is unchanged.
        const QByteArray held = readBytes(macroFile(QStringLiteral("Cut")));
        QString forged = settings;
        forged.replace(QStringLiteral("0.5"), QStringLiteral("0.5\nX"));
        shell->scripted.clear();
        editor.addStep(QStringLiteral("Operations"), forged);
        QCOMPARE(readBytes(macroFile(QStringLiteral("Cut"))), held);
        QCOMPARE(shell->messages().size(), 1);
        QVERIFY(shell->messages().first().contains(QStringLiteral("line break")));
        shell->scripted.unexpected.clear();
    }

    // Test: the step's tool, filled from it, in normal mode; its Go runs on the program.
    void testRunsTheStep()
    {
        shell->open(numberedLines(3));
        const QString shift = tools::operationsStep({tools::Operation::Add, QStringLiteral("X"), QStringLiteral("1")},
                                                    {true, false, QStringLiteral("1"), QStringLiteral("3")}, kSep);
        QCOMPARE(writeSteps(QStringLiteral("T"), {{"Operations", QString(), shift}}), QString());
        frmMacro editor(*shell);
        editor.Form_Load();
        editor.c_Click(QStringLiteral("T"));
        editor.commands->setCurrentRow(0);
        editor.Command9->click();
        auto *tool = shell->mainWindow()->findChild<tools::ToolWindow *>();
        QVERIFY(tool && !tool->recorder());
        QCOMPARE(tool->findChild<QLineEdit *>(QStringLiteral("txtValue"))->text(), QStringLiteral("1"));
        tool->Go->click();
        QCOMPARE(shell->store(), (Lines{"N1 X2.", "N2 X3.", "N3 X4."}));
        tool->close();
    }
};

VORNEXA_TEST_MAIN(TestMacroWindows)
#include "tst_macro_windows.moc"
