#include "frmcomment.h"
#include "frmfilter.h"
#include "frmformat.h"
#include "frmmirror.h"
#include "frmn.h"
#include "frmop.h"
#include "frmopplus.h"
#include "frmspace.h"
#include "mainform.h"
#include "operations.h"
#include "pageview.h"
#include "shellwindows.h"
#include "testhost.h"
#include "toolwindows.h"
#include "toolwindowtest.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>

Q_DECLARE_METATYPE(tools::LineFault)

namespace {

using Lines = QList<QByteArray>;

template <class Window>
std::unique_ptr<tools::ToolWindow> make(Host &host, QWidget *owner)
{
    return std::make_unique<Window>(host, owner);
}

// The window behind a menu item, owned by `owner` (a recorder) or by the host's main window.
std::unique_ptr<tools::ToolWindow> makeTool(Host &host, const QString &item, QWidget *owner = nullptr)
{
    using Make = std::unique_ptr<tools::ToolWindow> (*)(Host &, QWidget *);
    static const QHash<QString, Make> windows{
        {QStringLiteral("Operations1"), make<frmOp>},   {QStringLiteral("mirror1"), make<frmMirror>},
        {QStringLiteral("opPLUS"), make<frmOpPlus>},    {QStringLiteral("frmn1"), make<frmN>},
        {QStringLiteral("frmSpace1"), make<frmSpace>},  {QStringLiteral("frmComments1"), make<frmComment>},
        {QStringLiteral("filter1"), make<frmFilter>},   {QStringLiteral("Format1"), make<frmFormat>}};
    const Make maker = windows.value(item);
    return maker ? maker(host, owner) : nullptr;
}

QByteArray programText(const Lines &lines)
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + "\r\n";
    return text;
}

const QString kTextNull = QStringLiteral("Are all the text boxes filled out correctly?");

} // namespace

// The windows of the in-place tools on a loaded program: their fields, checks and runs through the
// frame, their recorded steps, and the labels that open Options.
class TestInPlaceWindows : public HostTest
{
    Q_OBJECT

    std::unique_ptr<tools::ToolWindow> opened(const QString &item, const QStringList &fields, QWidget *owner = nullptr)
    {
        auto w = makeTool(*shell, item, owner);
        w->Form_Load();
        if (!setFields(*w, fields))
            QTest::qFail(qPrintable(QStringLiteral("a field is missing in ") + item), __FILE__, __LINE__);
        return w;
    }

    // The lock, the busy indicator, the view and Go as a run leaves them.
    void expectGivenBack(const tools::ToolWindow &w)
    {
        QVERIFY(shell->allGivenBack());
        QCOMPARE(w.Go->text(), QStringLiteral("Go"));
    }

private slots:
    // Each menu item opens its window on the program, from the current line.
    void everyMenuItemOpensItsWindowOnTheProgram()
    {
        shell->open(numberedLines(9));
        shell->editor().setLine(4);
        tools::registerWindows(*shell);
        const std::pair<const char *, const char *> windows[] = {
            {"Operations1", "frmOp"},   {"mirror1", "frmMirror"},     {"opPLUS", "frmOpPlus"},
            {"frmn1", "frmN"},          {"frmSpace1", "frmSpace"},    {"frmComments1", "frmComment"},
            {"filter1", "frmFilter"},   {"Format1", "frmFormat"},     {"size1", "frmSize"},
            {"exportPointCloud1", "frmExportPC"}, {"frmInsert1", "frmInsert"}, {"frmDel1", "frmDel"},
            {"copy2", "frmCopy"}};
        QCOMPARE(shell->windows.size(), qsizetype(std::size(windows)));
        for (const auto &[item, name] : windows) {
            QVERIFY2(shell->windows.contains(QLatin1String(item)), item);
            const auto &[make, show] = shell->windows.value(QLatin1String(item));
            std::unique_ptr<QWidget> w(make(*shell));
            show(w.get());
            QCOMPARE(w->objectName(), QLatin1String(name));
            QVERIFY(w->isVisible());
            QCOMPARE(static_cast<tools::ToolWindow *>(w.get())->StartLine->text(), QStringLiteral("4"));
        }
    }

    void windowsRewriteTheStore_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<Lines>("expected");
        QTest::addColumn<QString>("alone"); // what the note says was left alone, after the counts
        // Each option button of Operations, and each swap of Mirror on and off.
        const Lines ops{"G01 X1. Y2.", "x1.5", "(EXAMPLE) X1.", "G01X-1.5Y2."};
        QTest::newRow("Operations: add 0.5 to X") << "Operations1" << QStringList{"txtAxis=X", "txtValue=0.5"} << true
            << ops << Lines{"G01 X1.5 Y2.", "x2.", "(EXAMPLE) X1.5", "G01X-1.Y2."} << "";
        QTest::newRow("Operations: subtract 2 from x")
            << "Operations1" << QStringList{"Option2=True", "txtAxis=x", "txtValue=2"} << true << ops
            << Lines{"G01 X-1. Y2.", "x-0.5", "(EXAMPLE) X-1.", "G01X-3.5Y2."} << "";
        QTest::newRow("Operations: multiply Y by 2")
            << "Operations1" << QStringList{"Option3=True", "txtAxis=Y", "txtValue=2"} << true << ops
            << Lines{"G01 X1. Y4.", "x1.5", "(EXAMPLE) X1.", "G01X-1.5Y4."} << "";
        QTest::newRow("Operations: divide X by 4, spaces off")
            << "Operations1" << QStringList{"Option4=True", "txtAxis=X", "txtValue=4"} << false << ops
            << Lines{"G01 X0.25 Y2.", "x0.375", "(EXAMPLE) X0.25", "G01X-0.375Y2."} << "";
        // On line 4 a space follows the letter: with spaces off no number follows it, and the
        // letter is no word.
        const Lines arcs{"G02 X1.5 Y2. I-1.5", "g03 x1.", "G41 G42 Y1", "X 4.", "G2 X-2.5"};
        QTest::newRow("Mirror at 10, arcs only")
            << "mirror1" << QStringList{"txtAxis=X", "txtValue=10", "g02g03=1", "g41g42=0"} << true << arcs
            << Lines{"G03 X18.5 Y2. I1.5", "g02 x19.", "G41 G42 Y1", "X 16.", "G3 X22.5"} << "";
        QTest::newRow("Mirror at 10, compensation only, spaces off")
            << "mirror1" << QStringList{"txtAxis=X", "txtValue=10", "g02g03=0", "g41g42=1"} << false << arcs
            << Lines{"G02 X18.5 Y2. I1.5", "g03 x19.", "G42 G41 Y1", "X 4.", "G2 X22.5"} << "";
        QTest::newRow("Operations Plus: Z above -1")
            << "opPLUS" << QStringList{"Text1=Z", "Text2=-1", "txtValue=0.5", "txtAxis=X"} << false << Lines{"X1. Z0.", "X1. Z-2."} << Lines{"X1.5 Z0.", "X1. Z-2."} << "";
        QTest::newRow("Operations Plus: below 1 on this line only, subtract")
            << "opPLUS" << QStringList{"Text1=Z", "l=True", "Text2=1", "cp=True", "Option2=True", "txtValue=1", "txtAxis=X"}
            << false << Lines{"X1. Z-5.", "X2.", "X3. Z2."} << Lines{"X0. Z-5.", "X1.", "X3. Z2."} << "";
        QTest::newRow("Operations Plus: not equal, multiply, stepped on each replacement")
            << "opPLUS"
            << QStringList{"Text1=Y", "n=True", "Text2=0", "Option3=True", "txtValue=2", "txtAxis=X", "Check1=1",
                           "inc3=True", "inc=10"}
            << false << Lines{"X1. Y1.", "X1. Y0.", "G0", "X1. Y1."} << Lines{"X2. Y1.", "X1. Y0.", "G0", "X200. Y1."} << "";
        QTest::newRow("Operations Plus: equal, divide, stepped on each line")
            << "opPLUS"
            << QStringList{"Text1=Z", "e=True", "Text2=1", "Option4=True", "txtValue=4", "txtAxis=X", "Check2=1",
                           "inc4=True", "inc=2"}
            << false << Lines{"X1. Z1.", "X1. Z2.", "X1. Z1."} << Lines{"X0.25 Z1.", "X1. Z2.", "X1. Z1."} << "";
        QTest::newRow("Add N: real line numbers, old N replaced")
            << "frmn1" << QStringList{} << true << Lines{"G90", "N5 G01 X1.", ""} << Lines{"N1 G90", "N2 G01 X1.", ""} << "";
        QTest::newRow("Add N: from 10 by 10 on lines 2 to 3, no space")
            << "frmn1"
            << QStringList{"LINE2LINE=True", "StartLine=2", "EndLine=3", "Option2=True", "txtStartNumber=10",
                           "txtInc=10", "Check1=0"}
            << true << Lines{"A", "B", "C"} << Lines{"A", "N10B", "N20C"} << "";
        QTest::newRow("Add N: old N kept")
            << "frmn1" << QStringList{"Check2=0"} << true << Lines{"N5 G01"} << Lines{"N1 N5 G01"} << "";
        QTest::newRow("Remove N") << "frmn1" << QStringList{"remove=True"} << true << Lines{"n7 X1.", " N7 X1."}
                                  << Lines{"X1.", " N7 X1."} << "";
        QTest::newRow("Add spaces") << "frmSpace1" << QStringList{} << true << Lines{"G01X1.5Y2.", "G01X-1.5Y2.", ""}
                                    << Lines{"G01 X1.5 Y2.", "G01 X-1.5 Y2.", ""} << "";
        QTest::newRow("Remove spaces") << "frmSpace1" << QStringList{"remove=True"} << true
                                       << Lines{" G01 X1.5 (MY NOTE)"} << Lines{"G01X1.5(MY NOTE)"} << "";
        QTest::newRow("Remove comments")
            << "frmComments1" << QStringList{} << true
            << Lines{"G01 X1. (ROUGH) Y2.", "(PROGRAM 1)", "G00 Z5. (CLEAR", "G01 X1. ; FINISH"}
            << Lines{"G01 X1.  Y2.", "", "G00 Z5. ", "G01 X1. "} << "";
        QTest::newRow("Filter: small changes go") << "filter1" << QStringList{"txtAxis=X", "txtValue=0.01"} << false
                                                  << Lines{"X1.", "X1.005", "X1.02"} << Lines{"X1.", "", "X1.02"} << "";
        QTest::newRow("Format, spaces off") << "Format1" << QStringList{"txtAxis=X"} << false
                                            << Lines{"G01 X1.0000 Y2", "X01", "X-.5", "Y1"}
                                            << Lines{"G01 X1. Y2", "X1.", "X-0.5", "Y1"} << "";
        QTest::newRow("Format with nothing to change") << "Format1" << QStringList{"txtAxis=X"} << false
                                                       << Lines{"X1.", "Y2"} << Lines{"X1.", "Y2"} << "";
        // A word holding an expression is left alone and named; Remove Comments keeps the commands.
        QTest::newRow("Operations, an expression") << "Operations1" << QStringList{"txtAxis=X", "txtValue=1"} << true
            << Lines{"G1 X[#1]", "X1", "(X) Y2"} << Lines{"G1 X[#1]", "X2.", "(X) Y2"}
            << ", 1 line left alone: X holds an expression";
        QTest::newRow("Operations Plus, the condition's letter an expression")
            << "opPLUS" << QStringList{"Text1=Z", "Text2=-1", "txtValue=1", "txtAxis=X"} << false
            << Lines{"X1 Z#2", "X1 Z0"} << Lines{"X1 Z#2", "X2. Z0"} << ", 1 line left alone: Z or X holds an expression";
        QTest::newRow("Format, an expression") << "Format1" << QStringList{"txtAxis=X"} << false << Lines{"X[#1]", "X1.0"}
                                               << Lines{"X[#1]", "X1."} << ", 1 line left alone: X holds an expression";
        QTest::newRow("Remove Comments keeps the commands") << "frmComments1" << QStringList{} << true
            << Lines{"(MSG, HI) G1 (X)", "(PRINT, A)"} << Lines{"(MSG, HI) G1 ", "(PRINT, A)"}
            << ", 2 command comments kept";
    }
    void windowsRewriteTheStore()
    {
        QFETCH(QString, item);
        QFETCH(QStringList, fields);
        QFETCH(bool, spaces);
        QFETCH(Lines, lines);
        QFETCH(Lines, expected);
        QFETCH(QString, alone);
        shell->globalVar.numbers.spaces = spaces;
        shell->open(lines);
        auto w = opened(item, fields);
        w->Go->click();
        QCOMPARE(shell->store(), expected);
        QCOMPARE(shell->messages(), QStringList());
        expectGivenBack(*w);
        // The run's note names its range, counts the lines whose text differs, says what it left
        // alone and how long it took.
        qint64 changed = 0;
        for (qsizetype i = 0; i < lines.size(); ++i)
            changed += lines[i] != expected[i] ? 1 : 0;
        const QString counts = changed == 0   ? QStringLiteral("no line changed")
                               : changed == 1 ? QStringLiteral("1 line changed")
                                              : QStringLiteral("%1 lines changed").arg(changed);
        const auto field = [&](const QString &name, qsizetype otherwise) {
            const QStringList set = fields.filter(QRegularExpression(QLatin1Char('^') + name + QLatin1Char('=')));
            return set.isEmpty() ? QString::number(otherwise) : set.last().section(QLatin1Char('='), 1);
        };
        const QString said = w->lastNote().textWithoutTime();
        QCOMPARE(said, QStringLiteral("%1: lines %2 to %3: %4%5")
                           .arg(w->stepName(), field(QStringLiteral("StartLine"), 1),
                                field(QStringLiteral("EndLine"), lines.size()), counts, alone));
        QCOMPARE(shell->notes.size(), 1);
        const QString note = shell->notes.constFirst();
        QVERIFY2(note.startsWith(said) &&
                     QRegularExpression(QStringLiteral("^ in \\d+\\.\\d\\d s\\.$")).match(note.mid(said.size())).hasMatch(),
                 qPrintable(note));
        if (changed > 0) // a run that changed nothing leaves nothing to take back
            shell->checkUndoRedo(lines);
    }

    // Stepped on each line, Operations Plus shows the value it reached: five lines by 1 (0 to 4
    // added in turn), ten thousand by a tenth.
    void operationsPlusShowsTheValueItReached()
    {
        for (const auto &[lines, step, reached] : {std::tuple{5, "1", "5"}, std::tuple{10000, "0.1", "1000"}}) {
            shell->open(numberedLines(lines));
            auto w = opened(QStringLiteral("opPLUS"), {"Text1=N", "Text2=0", "txtValue=0", "txtAxis=X", "Check2=1",
                                                       QStringLiteral("inc=") + QLatin1String(step)});
            auto &plus = static_cast<frmOpPlus &>(*w);
            QCOMPARE(plus.Label11->text(), QStringLiteral("0"));
            w->Go->click();
            QCOMPARE(plus.txtValue->text(), QLatin1String(reached));
            QCOMPARE(plus.Label11->text(), QLatin1String(reached));
            if (lines == 5)
                QCOMPARE(shell->store(), Lines({"N1 X1.", "N2 X3.", "N3 X5.", "N4 X7.", "N5 X9."}));
        }
    }

    void refusedRunsLeaveTheProgramAndTheLockAlone_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Operations with no letter") << "Operations1" << QStringList{"txtValue=1"} << kTextNull;
        QTest::newRow("Operations dividing by 0")
            << "Operations1" << QStringList{"Option4=True", "txtAxis=X", "txtValue=0"} << tools::divideByZeroText();
        // Eleven lines from 999999999999990 end past the fifteen digits a number is exact to.
        QTest::newRow("Add N past 15 digits")
            << "frmn1" << QStringList{"Option2=True", "txtStartNumber=999999999999990", "txtInc=1"} << kTextNull;
        QTest::newRow("Add N from nothing") << "frmn1" << QStringList{"Option2=True", "txtStartNumber="} << kTextNull;
        QTest::newRow("Operations Plus dividing by 0")
            << "opPLUS" << QStringList{"Text1=Z", "Text2=0", "Option4=True", "txtValue=0", "txtAxis=X"}
            << tools::divideByZeroText();
        QTest::newRow("Operations Plus stepping by dividing by 0")
            << "opPLUS"
            << QStringList{"Text1=Z", "Text2=0", "txtValue=1", "txtAxis=X", "Check1=1", "inc4=True", "inc=0"}
            << tools::divideByZeroText();
        QTest::newRow("Operations Plus with no step") << "opPLUS"
            << QStringList{"Text1=Z", "Text2=0", "txtValue=1", "txtAxis=X", "Check2=1"} << kTextNull;
        QTest::newRow("Filter with no tolerance") << "filter1" << QStringList{"txtAxis=X"} << kTextNull;
        QTest::newRow("Format with no letter") << "Format1" << QStringList{} << kTextNull;
    }
    void refusedRunsLeaveTheProgramAndTheLockAlone()
    {
        QFETCH(QString, item);
        QFETCH(QStringList, fields);
        QFETCH(QString, shown);
        shell->open(numberedLines(11));
        const QByteArray before = readBytes(shell->editor().tempFile);
        auto w = opened(item, fields);
        w->Go->click();
        QCOMPARE(shell->messages(), QStringList{QStringLiteral("message: ") + shown});
        QCOMPARE(readBytes(shell->editor().tempFile), before);
        QCOMPARE(w->Go->text(), QStringLiteral("&Go"));
        // The next tool runs.
        shell->scripted.clear();
        auto next = opened(QStringLiteral("frmSpace1"), {"remove=True"});
        next->Go->click();
        QCOMPARE(shell->store().at(10), QByteArray("N11X11"));
        QCOMPARE(shell->messages(), QStringList());
        expectGivenBack(*next);
    }

    void aRunThatCannotGoOnStopsAtItsLine_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<Lines>("expected");
        QTest::addColumn<int>("stoppedAt");
        QTest::addColumn<tools::LineFault>("fault");
        // Records of length 20: a line holds at most 18 characters.
        const QByteArray eighteen("G01X1.55Y2.5Z3.5F1");
        QTest::newRow("Operations") << "Operations1" << QStringList{"txtAxis=X", "txtValue=0.25"}
                                    << Lines{"X1Y2", "X1Y2", "N3 X1Y22222222222", "X1"}
                                    << Lines{"X1.25Y2", "X1.25Y2", "N3 X1Y22222222222", "X1"} << 3
                                    << tools::LineFault::TooLong;
        QTest::newRow("Add spaces") << "frmSpace1" << QStringList{} << Lines{"G01X1Y2", "G01X1.55Y2.25Z35", "X1Y1"}
                                    << Lines{"G01 X1 Y2", "G01X1.55Y2.25Z35", "X1Y1"} << 2 << tools::LineFault::TooLong;
        QTest::newRow("Add N") << "frmn1" << QStringList{} << Lines{"G0", "X123456789.12345", "G1"}
                               << Lines{"N1 G0", "X123456789.12345", "G1"} << 2 << tools::LineFault::TooLong;
        QTest::newRow("Format") << "Format1" << QStringList{"txtAxis=F"} << Lines{"F1", eighteen}
                                << Lines{"F1.", eighteen} << 2 << tools::LineFault::TooLong;
        QTest::newRow("Operations Plus, too long")
            << "opPLUS" << QStringList{"Text1=X", "Text2=0", "txtValue=0.0001", "txtAxis=X"}
            << Lines{"X1", "X1", eighteen} << Lines{"X1.0001", "X1.0001", eighteen} << 3 << tools::LineFault::TooLong;
        // Divided by 2, then by 1, then by a value stepped down to 0.
        QTest::newRow("Operations Plus, dividing by a value stepped to 0")
            << "opPLUS"
            << QStringList{"Text1=X", "Text2=0", "Option4=True", "txtValue=2", "txtAxis=X", "Check2=1", "inc2=True",
                           "inc=1"}
            << Lines{"X1", "X1", "X1", "X1"} << Lines{"X0.5", "X1.", "X1", "X1"} << 3 << tools::LineFault::DivideByZero;
    }
    void aRunThatCannotGoOnStopsAtItsLine()
    {
        QFETCH(QString, item);
        QFETCH(QStringList, fields);
        QFETCH(Lines, lines);
        QFETCH(Lines, expected);
        QFETCH(int, stoppedAt);
        QFETCH(tools::LineFault, fault);
        shell->globalVar.numbers.spaces = false;
        shell->editor().recLen = 20;
        shell->open(lines);
        auto w = opened(item, fields);
        QSignalSpy told(&shell->editor().program(), &tessarc::Program::linesChanged);
        w->Go->click();
        // Listeners hear of the lines the run came past, once.
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.first(), (QList<QVariant>{qint64(1), qint64(stoppedAt - 1), qint64(stoppedAt - 1)}));
        QCOMPARE(shell->messages(),
                 QStringList{QStringLiteral("message: Line %1: %2 The run stopped there: lines 1 to %3 were changed, "
                                            "the lines from line %1 on were not.")
                                 .arg(stoppedAt)
                                 .arg(tools::lineFaultText(fault))
                                 .arg(stoppedAt - 1)});
        QCOMPARE(shell->store(), expected);
        expectGivenBack(*w);
        if (auto *plus = qobject_cast<frmOpPlus *>(w.get()); plus && fault == tools::LineFault::DivideByZero)
            QCOMPARE(plus->txtValue->text(), QStringLiteral("0")); // the value the run reached
        // The program is whole: it saves as it now stands.
        const QString saved = testEnvironment().path(QStringLiteral("after-stop.nc"));
        shell->editor().saveFile(saved);
        QCOMPARE(readBytes(saved), programText(expected));
    }

    void aRecorderOwnerGetsTheStep_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("values");
        const QStringList range{"LINE2LINE=True", "StartLine=2"};
        QTest::newRow("Operations") << "Operations1" << QStringList{"Option3=True", "txtAxis=F", "txtValue=0.5"}
                                    << "Operations"
                                    << QStringList{"False", "False", "True", "False", "0.5", "F", "True", "False", "1", "6"};
        QTest::newRow("Mirror") << "mirror1" << range + QStringList{"txtAxis=Y", "txtValue=2.5", "g41g42=0"} << "Mirror"
                                << QStringList{"2.5", "Y", "False", "True", "2", "6", "1", "0"};
        QTest::newRow("Operations Plus")
            << "opPLUS"
            << range + QStringList{"Text1=Z", "l=True", "Text2=-1", "cp=True", "Option3=True", "txtValue=0.5",
                                   "txtAxis=X", "Check2=1", "inc2=True", "inc=0.1"}
            << "Operations Plus"
            << QStringList{"Z",   "False", "True", "False", "False", "-1", "False", "True", "False",
                           "False", "True", "False", "0.5", "X",    "False", "True", "2",    "6",
                           "0",   "1",     "False", "True", "False", "False", "0.1"};
        QTest::newRow("Number") << "frmn1"
                                << range + QStringList{"Option2=True", "txtStartNumber=100", "txtInc=5", "Check1=0"}
                                << "Number"
                                << QStringList{"True", "False", "False", "True", "2", "6", "False", "0", "True", "100",
                                               "5", "1"};
        QTest::newRow("Space") << "frmSpace1" << range + QStringList{"remove=True"} << "Space"
                               << QStringList{"False", "True", "False", "True", "2", "6"};
        QTest::newRow("Remove Comments") << "frmComments1" << QStringList{} << "Remove Comments"
                                         << QStringList{"True", "False", "1", "6"};
        QTest::newRow("Filter") << "filter1" << range + QStringList{"txtAxis=X", "txtValue=0.001"} << "Filter"
                                << QStringList{"0.001", "X", "False", "True", "2", "6"};
        QTest::newRow("Format") << "Format1" << QStringList{"txtAxis=Y"} << "Format"
                                << QStringList{"Y", "True", "False", "1", "6"};
    }
    void aRecorderOwnerGetsTheStep()
    {
        QFETCH(QString, item);
        QFETCH(QStringList, fields);
        QFETCH(QString, name);
        QFETCH(QStringList, values);
        shell->open(numberedLines(6));
        const Lines before = shell->store();
        StepCollector macroEditor;
        auto w = opened(item, fields, &macroEditor);
        w->Go->click();
        QCOMPARE(macroEditor.steps, (QList<QPair<QString, QString>>{{name, stepText(values)}}));
        QVERIFY(!w->isVisible());
        QCOMPARE(shell->store(), before);
        QVERIFY(!shell->busyShown);
    }

    void numberFieldsTakeDigitsAndChooseStartingAt()
    {
        shell->open(numberedLines(3));
        auto w = opened(QStringLiteral("frmn1"), {});
        auto &numbers = static_cast<frmN &>(*w);
        QVERIFY(numbers.Option1->isChecked());
        numbers.txtInc->setFocus();
        numbers.txtInc->end(false);
        QTest::keyClick(numbers.txtInc, Qt::Key_Minus);
        QTest::keyClick(numbers.txtInc, Qt::Key_5);
        QCOMPARE(numbers.txtInc->text(), QStringLiteral("15"));
        QVERIFY(numbers.Option2->isChecked());
        QCOMPARE(shell->scripted.log, QStringList{QStringLiteral("beep")});
        // Removing needs no numbering: its choices are put away.
        numbers.remove->click();
        QVERIFY(!numbers.Frame2->isVisible());
        numbers.add->click();
        QVERIFY(numbers.Frame2->isVisible());
    }

    // The labels of Remove Comments and Format bring up Options.
    void onTheMainWindowTheLabelBringsUpOptions()
    {
        shell.reset(); // the main window clears the program folder's stores when it starts
        ScriptedPrompts prompts;
        const QString path = testEnvironment().path(QStringLiteral("labels.nc"));
        writeBytes(path, "G1 X1 (A)\r\n");
        mainform main(prompts);
        registerShellWindows(main);
        tools::registerWindows(main);
        main.Form_Load({path});
        main.show();
        QList<QWidget *> tools;
        QStringList broughtUp; // the items whose label brought Options up
        const auto options = [&] { return main.window(QStringLiteral("options1")); };
        for (const QString &item : {QStringLiteral("frmComments1"), QStringLiteral("Format1")}) {
            main.item(item)->trigger();
            if (QWidget *tool = main.window(item)) {
                tools.append(tool);
                if (options())
                    options()->close();
                if (!QTest::qWaitFor([&] { return !options() || !options()->isVisible(); }))
                    continue; // Options did not close: this label is not counted as bringing it up
                if (auto *label = tool->findChild<QLabel *>(QStringLiteral("Label1")))
                    QTest::mouseClick(label, Qt::LeftButton);
                if (QTest::qWaitFor([&] { return options() && options()->isVisible(); }, 2000))
                    broughtUp.append(item);
            }
        }
        // An item with no window behind it does nothing.
        main.showWindow(QStringLiteral("exit"));
        const bool stillShown = main.isVisible();
        if (options())
            options()->close();
        for (QWidget *tool : tools)
            tool->close();
        QCOMPARE(broughtUp, (QStringList{QStringLiteral("frmComments1"), QStringLiteral("Format1")}));
        QVERIFY(stillShown);
        QCOMPARE(prompts.log, QStringList());
    }
};

VORNEXA_TEST_MAIN(TestInPlaceWindows)
#include "tst_tools_inplace.moc"
