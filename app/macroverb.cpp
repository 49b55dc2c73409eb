// vornexa --macro: runs a macro on a program with no window, through the runner Run Macro uses.

#include "headless.h"

#include "globalvar.h"
#include "host.h"
#include "macrofile.h"
#include "macrorunner.h"
#include "programfolder.h"
#include "programsession.h"
#include "prompts.h"
#include "settingsstore.h"
#include "storeclaim.h"
#include "tessarc.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

namespace headless {

namespace {

// What would be shown in a box goes to stderr; what would be asked is answered No (nothing is
// overwritten or removed without a machinist to say so), and nothing is chosen in a dialog.
class ConsolePrompts : public Prompts
{
public:
    void message(QWidget *, const QString &text, const QString &) override { printError(oneLine(text)); }
    void warning(QWidget *, const QString &title, const QString &text) override
    {
        printError(oneLine(title + QStringLiteral(": ") + text));
    }
    Answer ask(QWidget *, const QString &text, const QString &, Buttons) override
    {
        printError(oneLine(text) + QStringLiteral(" (answered No)"));
        return Answer::No;
    }
    std::optional<QString> input(QWidget *, const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    QString openFileName(QWidget *, const QString &) override { return QString(); }
    QString saveFileName(QWidget *, const QString &) override { return QString(); }
    std::optional<QFont> chooseFont(QWidget *, const QFont &) override { return std::nullopt; }
    std::optional<QColor> chooseColor(QWidget *, const QColor &) override { return std::nullopt; }
    bool openDocument(const QString &) override { return false; }
    void beep() override {}

private:
    static QString oneLine(QString text)
    {
        return text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
};

// The host of a run without a window: an editor control on a window that is never shown, the
// settings the window reads, and the console's prompts.
class ConsoleHost : public Host
{
public:
    explicit ConsoleHost(std::unique_ptr<SettingsStore> settings) : m_settings(std::move(settings))
    {
        m_editor = new TESSARC(&m_window);
        m_editor->setPrompts(&m_prompts);
        GlobalVar &g = m_values;
        if (m_settings->title() != g.brand.programTitle)
            g.brand.productName = g.brand.programTitle = m_settings->title();
        g.numbers.read(*m_settings);
        g.comments.read(*m_settings);
        g.comments.applyTo(*m_editor);
        g.messages.read(*m_settings);
        g.io.read(*m_settings);
        if (!g.io.recLenProblem.isEmpty())
            printError(QStringLiteral("vornexa: ") + g.io.recLenProblem);
        g.io.applyTo(*m_editor);
        // Stores of its own, apart from those of any window that runs meanwhile.
        m_session = std::make_unique<ProgramSession>(*m_editor, tessarc::programFolder(), cliStoreStem());
    }
    ~ConsoleHost() override { m_editor->done(); }

    TESSARC &editor() override { return *m_editor; }
    ProgramSession &session() { return *m_session; }
    Prompts &prompts() override { return m_prompts; }
    SettingsStore &settings() override { return *m_settings; }
    GlobalVar &values() override { return m_values; }
    tessarc::OperationLock &lock() override { return m_editor->program().lock; }
    QWidget *mainWindow() override { return &m_window; }
    void applyIcon(QWidget *) const override {}
    void addWindow(const QString &, MakeWindow, ShowWindow) override {}

private:
    std::unique_ptr<SettingsStore> m_settings;
    ConsolePrompts m_prompts;
    GlobalVar m_values;
    QWidget m_window;
    TESSARC *m_editor = nullptr;
    std::unique_ptr<ProgramSession> m_session; // its claim let go only once the stores are gone
};

QString unixLines(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace

int macroVerb(const QStringList &arguments)
{
    QStringList plain;
    QString output;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("-o")) {
            if (i + 1 >= arguments.size() || !output.isEmpty())
                return usage("--macro", QStringLiteral("-o takes one output file."));
            output = arguments[++i];
        } else {
            plain.append(arguments[i]);
        }
    }
    if (plain.size() != 2)
        return usage("--macro", QStringLiteral("--macro takes a macro and a program, then optionally -o and an output file."));
    const QString &name = plain[0];
    const QString &programFile = plain[1];
    if (output.isEmpty())
        output = programFile;

    const QString path = macro::macroPath(macro::macroFolder(), name);
    if (macro::macroNameRefused(name) || !QFileInfo(path).isFile()) {
        printError(QStringLiteral("vornexa: there is no macro \"%1\" (no file %2).").arg(name, path));
        return BadUsage;
    }
    const macro::DecodedMacro read = macro::readMacro(path);
    if (!read.ok()) {
        printError(QStringLiteral("vornexa: ") + read.error + QStringLiteral(" Nothing was run."));
        return BadUsage;
    }
    if (!QFileInfo(programFile).isFile()) {
        printError(QStringLiteral("vornexa: there is no program file %1.").arg(programFile));
        return BadUsage;
    }
    // Checked before anything runs, so that a run is never made for a place it cannot go.
    const QFileInfo target(output);
    if (target.isDir() || !target.absoluteDir().exists()) {
        printError(QStringLiteral("vornexa: %1 cannot be an output file: %2.")
                       .arg(output, target.isDir() ? QStringLiteral("it is a folder")
                                                   : QStringLiteral("its folder does not exist")));
        return BadUsage;
    }

    ConsoleHost host(openSettings());
    TESSARC &editor = host.editor();
    editor.lockup(false);
    if (!host.session().open(programFile, host.values().io.recLen))
        return Failed; // the control has said why

    // A stop asked for by SIGINT or SIGTERM ends the run between two steps; what ran is saved.
    StopSignals stop;
    macro::MacroRunner runner(host);
    runner.setShowMessages(false);
    runner.setStopRequested([] { return !StopSignals::caught().isEmpty(); });
    ProgressLine progress;
    QObject::connect(&runner, &macro::MacroRunner::stepStarted, [&](int number, int count) {
        progress.show(QStringLiteral("%1/%2 Running %3").arg(number).arg(count).arg(name));
    });
    QObject::connect(&runner, &macro::MacroRunner::stepFinished, [&](const macro::StepResult &step) {
        if (step.outcome == macro::StepOutcome::Ran)
            return;
        progress.end();
        printError(QStringLiteral("vornexa: step %1 (%2) %3: %4")
                       .arg(step.number)
                       .arg(step.step.stepType,
                            step.outcome == macro::StepOutcome::Refused ? QStringLiteral("refused")
                                                                        : QStringLiteral("failed"),
                            step.reason));
    });
    const macro::RunResult result = runner.run(read.steps);
    progress.end();
    if (!result.started)
        return Failed;
    // Saved first, then reported: a report nobody reads (a closed pipe) never costs the result.
    editor.lockup(false);
    const bool saved = editor.saveFile(QFileInfo(output).absoluteFilePath());
    printOut(unixLines(macro::reportText(name, result.startedAt, result.endedAt, result.ms, result.runLog())));
    if (!saved)
        return Failed; // the control has said why; the output is as it was
    if (result.stopped)
        printError(QStringLiteral("vornexa: stopped by %1 before the last step; what ran is saved.").arg(StopSignals::caught()));
    return result.allRan(static_cast<int>(read.steps.size())) ? Done : Failed;
}

} // namespace headless
