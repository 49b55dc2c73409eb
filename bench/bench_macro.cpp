// The macro figure of vornexa-bench, run by name (--only macro): a macro of five steps
// (Operations: add 0.5 to X; Number: N from 10 by 10; Remove Comments; Format X; Space: remove)
// run by the macro runner over every line of the benchmark program, set against the same five
// tools' windows run one after another by hand (their Go pressed). Target: the macro at most 1.2
// times the five tools. Each run starts from the store as loaded, with an empty history; after
// each macro run the store must be byte for byte the store the five windows left.

#include "benchtools.h"

#include "frmcomment.h"
#include "frmformat.h"
#include "frmn.h"
#include "frmop.h"
#include "frmspace.h"
#include "history.h"
#include "linestore.h"
#include "macrofile.h"
#include "macrorunner.h"
#include "mainform.h"
#include "tessarc.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <memory>
#include <unistd.h>

QStringList macroFigures();
int runMacroFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));

using namespace benchtools;

namespace {

constexpr int kRecLen = 500;

// The five windows, filled as the machinist fills them, on All Lines.
std::vector<std::unique_ptr<tools::ToolWindow>> fiveWindows(mainform &main)
{
    std::vector<std::unique_ptr<tools::ToolWindow>> windows;
    auto op = std::make_unique<frmOp>(main);
    op->Form_Load();
    op->findChild<QRadioButton *>(QStringLiteral("Option1"))->setChecked(true);
    op->findChild<QLineEdit *>(QStringLiteral("txtValue"))->setText(QStringLiteral("0.5"));
    op->findChild<QLineEdit *>(QStringLiteral("txtAxis"))->setText(QStringLiteral("X"));
    windows.push_back(std::move(op));
    auto n = std::make_unique<frmN>(main);
    n->Form_Load();
    n->findChild<QRadioButton *>(QStringLiteral("Option2"))->setChecked(true);
    n->findChild<QLineEdit *>(QStringLiteral("txtStartNumber"))->setText(QStringLiteral("10"));
    n->findChild<QLineEdit *>(QStringLiteral("txtInc"))->setText(QStringLiteral("10"));
    windows.push_back(std::move(n));
    auto comments = std::make_unique<frmComment>(main);
    comments->Form_Load();
    windows.push_back(std::move(comments));
    auto format = std::make_unique<frmFormat>(main);
    format->Form_Load();
    format->findChild<QLineEdit *>(QStringLiteral("txtAxis"))->setText(QStringLiteral("X"));
    windows.push_back(std::move(format));
    auto space = std::make_unique<frmSpace>(main);
    space->Form_Load();
    space->findChild<QRadioButton *>(QStringLiteral("remove"))->setChecked(true);
    windows.push_back(std::move(space));
    for (const auto &w : windows)
        w->ALL->setChecked(true);
    return windows;
}

bool sameFiles(const QString &a, const QString &b)
{
    QFile x(a);
    QFile y(b);
    check(x.open(QIODevice::ReadOnly) && y.open(QIODevice::ReadOnly), QStringLiteral("cannot read the stores"));
    if (x.size() != y.size())
        return false;
    constexpr qint64 kChunk = qint64(4) << 20;
    while (!x.atEnd()) {
        if (x.read(kChunk) != y.read(kChunk))
            return false;
    }
    return true;
}

} // namespace

QStringList macroFigures()
{
    return {QStringLiteral("macro")};
}

int runMacroFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64))
{
    const QString base = dir.isEmpty() ? QStringLiteral("/tmp") : dir;
    QTemporaryDir scratch(QDir(base).filePath(QStringLiteral("vornexa-bench-XXXXXX")));
    check(scratch.isValid(), QStringLiteral("cannot create a scratch folder in %1").arg(base));
    const QDir folder(scratch.path());
    const QString program = folder.filePath(QStringLiteral("big.nc"));
    writeProgram(program, lines, programLine);
    say(QStringLiteral("vornexa-bench %1: program of %2 lines (%3 bytes); %4 runs; scratch folder %5")
            .arg(figure)
            .arg(lines)
            .arg(QFileInfo(program).size())
            .arg(runs)
            .arg(folder.path()));

    useScratchFolders(folder);
    FailingPrompts prompts;
    mainform main(prompts);
    TESSARC &editor = loadInMainWindow(main, prompts, folder, QStringLiteral("macro"), program, lines);
    const QString pristine = folder.filePath(QStringLiteral("macro.pristine"));
    const QString expected = folder.filePath(QStringLiteral("macro.expected"));
    copyStore(editor.tempFile, pristine, lines);

    const auto windows = fiveWindows(main);
    QList<macro::MacroStep> steps;
    for (const auto &w : windows)
        steps.append({w->stepName(), QString(), w->stepSettings()});
    macro::WindowRunner runner(main);
    bool expectedKept = false;

    const auto fresh = [&] {
        copyStore(pristine, editor.tempFile, lines);
        editor.program().history().clear();
        ::sync();
    };
    const Job byHand{fresh,
                     [&] {
                         for (const auto &w : windows)
                             w->Go->click();
                     },
                     [&] {
                         prompts.expectNone(QStringLiteral("the five windows"));
                         check(!editor.Run, QStringLiteral("a window did not give the lock back"));
                         if (!expectedKept)
                             copyStore(editor.tempFile, expected, lines);
                         expectedKept = true;
                     }};
    const Job byMacro{fresh,
                      [&] {
                          const macro::RunResult result = runner.run(steps);
                          check(result.allRan(static_cast<int>(steps.size())), QStringLiteral("a step did not run"));
                      },
                      [&] {
                          prompts.expectNone(QStringLiteral("the macro"));
                          check(!editor.Run, QStringLiteral("the macro did not give the lock back"));
                          check(sameFiles(editor.tempFile, expected),
                                QStringLiteral("the store after the macro is not the store the five windows left"));
                      }};
    const std::vector<Times> t = timeJobs(runs, {byHand, byMacro});
    const double ratio = t[1].median / t[0].median;
    say(QStringLiteral("macro (five steps by the runner): median %1 (runs %2 to %3); the five windows by hand %4 (runs "
                       "%5 to %6); ratio %7 (target <= 1.2)%8; processor time %9 against %10, ratio %11")
            .arg(seconds(t[1].median), seconds(t[1].low), seconds(t[1].high), seconds(t[0].median), seconds(t[0].low),
                 seconds(t[0].high), QString::number(ratio, 'f', 3))
            .arg(ratio <= 1.2 ? QString() : QStringLiteral(" MISSED"), seconds(t[1].cpuMedian), seconds(t[0].cpuMedian),
                 QString::number(t[1].cpuMedian / t[0].cpuMedian, 'f', 3)));
    for (const auto &w : windows)
        w->close();
    QFile::remove(pristine);
    QFile::remove(expected);
    editor.done();
    return 0;
}
