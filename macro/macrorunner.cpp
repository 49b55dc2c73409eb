#include "macrorunner.h"

#include "fromsets.h"
#include "globalvar.h"
#include "host.h"
#include "operation.h"
#include "operationlock.h"
#include "prompts.h"
#include "stepwindows.h"
#include "tessarc.h"
#include "toolwindow.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QPointer>
#include <QScopeGuard>

namespace macro {

// What a step's tool window sees of the host: the host itself, but for its prompts, which collect
// what the tool tells the machinist (a refusal, why a run stopped), show it only when asked to, and
// hold the operation lock while a message is up, so that the program stays the run's while the
// machinist reads it.
class StepPrompts : public Prompts
{
public:
    explicit StepPrompts(Host &host) : m_host(host) {}

    bool show = true;
    QStringList told;  // the messages of the step, in order
    bool holding = false; // the lock is held for a message, not by the tool

    void message(QWidget *parent, const QString &text, const QString &title) override
    {
        told.append(text);
        if (show)
            whileHeld([&] { m_host.prompts().message(parent, text, title); });
    }
    void warning(QWidget *parent, const QString &title, const QString &text) override
    {
        told.append(text);
        if (show)
            whileHeld([&] { m_host.prompts().warning(parent, title, text); });
    }
    Answer ask(QWidget *parent, const QString &text, const QString &title, Buttons buttons) override
    {
        return m_host.prompts().ask(parent, text, title, buttons);
    }
    std::optional<QString> input(QWidget *parent, const QString &prompt, const QString &title,
                                 const QString &initial) override
    {
        return m_host.prompts().input(parent, prompt, title, initial);
    }
    QString openFileName(QWidget *parent, const QString &folder) override
    {
        return m_host.prompts().openFileName(parent, folder);
    }
    QString saveFileName(QWidget *parent, const QString &folder) override
    {
        return m_host.prompts().saveFileName(parent, folder);
    }
    std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial) override
    {
        return m_host.prompts().chooseFont(parent, initial);
    }
    std::optional<QColor> chooseColor(QWidget *parent, const QColor &initial) override
    {
        return m_host.prompts().chooseColor(parent, initial);
    }
    bool openDocument(const QString &path) override { return m_host.prompts().openDocument(path); }
    void beep() override
    {
        if (show)
            m_host.prompts().beep();
    }

private:
    template <class F>
    void whileHeld(F &&f)
    {
        tessarc::OperationLock &lock = m_host.lock();
        if (lock.held) {
            f();
            return;
        }
        // Marked before the lock is taken: the runner tells a message's hold from a tool's run by it.
        holding = true;
        const bool took = lock.take();
        f();
        if (took)
            lock.release();
        holding = false;
    }

    Host &m_host;
};

class StepHost : public Host
{
public:
    explicit StepHost(Host &host) : prompts_(host), m_host(host) {}

    TESSARC &editor() override { return m_host.editor(); }
    Prompts &prompts() override { return prompts_; }
    SettingsStore &settings() override { return m_host.settings(); }
    GlobalVar &values() override { return m_host.values(); }
    tessarc::OperationLock &lock() override { return m_host.lock(); }
    QWidget *mainWindow() override { return m_host.mainWindow(); }
    void applyIcon(QWidget *window) const override { m_host.applyIcon(window); }
    void addWindow(const QString &item, MakeWindow make, ShowWindow show) override
    {
        m_host.addWindow(item, std::move(make), std::move(show));
    }

    StepPrompts prompts_;

private:
    Host &m_host;
};

WindowSteps::WindowSteps(Host &host, QWidget *owner)
    : m_host(host), m_owner(owner), m_stepHost(std::make_unique<StepHost>(host))
{
}

WindowSteps::~WindowSteps() = default;

void WindowSteps::setShowMessages(bool show)
{
    m_stepHost->prompts_.show = show;
}

bool WindowSteps::begin()
{
    TESSARC &editor = m_host.editor();
    if (editor.lfile.isEmpty()) {
        m_host.prompts().message(m_owner ? m_owner : m_host.mainWindow(), m_host.values().messages.noFile,
                                 m_host.values().brand.programTitle);
        return false;
    }
    // The page being edited is stored before the run; a page the store refused (the control has
    // said why) would be written back over the first step.
    editor.loadLine(editor.curLine);
    if (!editor.pageIsStored())
        return false;
    if (functions::beginOperation(m_host))
        return false;
    editor.lockup(true);
    return true;
}

void WindowSteps::end()
{
    // The lock is given back and the view is editable again.
    functions::endOperation(m_host);
    m_host.editor().lockup(false);
}

StepResult WindowSteps::runStep(const MacroStep &step)
{
    StepResult result;
    StepPrompts &prompts = m_stepHost->prompts_;
    prompts.told.clear();

    const StepWindow *entry = stepWindow(step.stepType);
    if (!entry)
        return result.refuse(QStringLiteral("There is no %1 tool here to run the step with.").arg(step.stepType));
    // The window opens on the program as it stands: its range from the current line to the last.
    QPointer<tools::ToolWindow> window = entry->make(*m_stepHost, m_owner);
    const auto drop = qScopeGuard([&window] { delete window.data(); });
    window->Form_Load();
    const fromSets::Filled filled =
        fromSets::fill(*window, step.stepType, step.stepSettings, m_host.values().brand.stepSeparator);
    if (!filled.ok()) {
        prompts.message(window, filled.error, m_host.values().brand.programTitle);
        return result.refuse(filled.error);
    }
    if (!filled.button)
        return result.refuse(QStringLiteral("The step names none of its window's buttons to press, so nothing was run."));

    // The tool has the lock for the press of its button alone; whether its run started shows in
    // the lock being taken by it.
    tessarc::OperationLock &lock = m_host.lock();
    bool ran = false;
    const QMetaObject::Connection watch =
        QObject::connect(&lock, &tessarc::OperationLock::busyChanged, &lock, [&](bool busy) {
            if (busy && !prompts.holding)
                ran = true;
        });
    lock.release();
    filled.button->click();
    if (window && !window->lastNote().what.isEmpty())
        result.note = window->lastNote().textWithoutTime();
    if (window)
        window->close();
    QObject::disconnect(watch);
    if (!lock.held)
        lock.take();
    m_host.editor().lockup(true);

    const QString told = prompts.told.join(QLatin1Char(' '));
    if (!ran)
        return result.refuse(told.isEmpty() ? QStringLiteral("The tool did not run.") : told);
    if (!told.isEmpty()) {
        result.outcome = StepOutcome::Failed;
        result.reason = told;
    }
    return result;
}

WindowRunner::WindowRunner(Host &host, QWidget *owner) : WindowStepsHolder(host, owner), MacroRunner(steps)
{
}

} // namespace macro
