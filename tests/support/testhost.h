#pragma once

#include "globalvar.h"
#include "host.h"
#include "scriptedprompts.h"
#include "settingsstore.h"
#include "tessarc.h"
#include "testenv.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QWidget>

class QListWidget;
#include <memory>
#include <utility>

// A small host for the windows of the subsystems: an editor control in a window of its own, the
// scripted prompts, the settings of the test run with their defaults, and a record of what was
// put behind which menu item. Program and settings folders are emptied when it is made.
class TestHost : public Host
{
    // First of all: the folders are emptied before the settings store reads them.
    struct FreshFolders
    {
        FreshFolders() { emptyRunFolders(); }
    } m_fresh;

public:
    TestHost();
    ~TestHost() override;

    TESSARC &editor() override { return *m_editor; }
    Prompts &prompts() override { return scripted; }
    SettingsStore &settings() override { return m_settings; }
    GlobalVar &values() override { return globalVar; }
    tessarc::OperationLock &lock() override;
    QWidget *mainWindow() override { return &m_window; }
    void applyIcon(QWidget *) const override {}
    void addWindow(const QString &item, MakeWindow make, ShowWindow show = {}) override;
    void addCommand(const QString &item, std::function<void()> run) override;
    // Makes the window put behind `item` the first time, shows it and gives it; later calls give it again while it is open.
    QWidget *showWindow(const QString &item) override;
    void showNote(const QString &note) override { notes << note; }
    void placeBesideText(QWidget *window) const override { placed.append(window); }
    // The windows the host was asked to place, in order.
    mutable QList<QPointer<QWidget>> placed;
    // The run notes shown, in order.
    QStringList notes;

    // Loads a program of these lines the way the File menu does, then forgets what was shown.
    void open(const QList<QByteArray> &lines);
    // The program's lines as the store holds them.
    QList<QByteArray> store() const;
    // What the machinist was shown, as "message: <text>" lines (the title is the program's).
    QStringList messages() const;
    // Whether the lock is free, the busy indicator still and the view editable, as every run leaves them.
    bool allGivenBack() const;
    // The last change taken back (the program is `before` again) and done again.
    void checkUndoRedo(const QList<QByteArray> &before);

    ScriptedPrompts scripted;
    GlobalVar globalVar;
    // What a main window's busy indicator would show now.
    bool busyShown = false;
    QMap<QString, std::pair<MakeWindow, ShowWindow>> windows;
    QMap<QString, std::function<void()>> commands;
    // The menu items whose windows were asked for, in order.
    QStringList shownWindows;
    QMap<QString, QPointer<QWidget>> shown;

private:
    QWidget m_window;
    TESSARC *m_editor = nullptr;
    SettingsStore m_settings;
};

// The base of the tests of windows on the test host: a fresh host for every test, and a test fails
// when a prompt came that it had queued no answer for.
class HostTest : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<TestHost> shell;
    // What a test class sets up on every fresh host.
    virtual void prepare() {}

private slots:
    void init();
    void cleanup();
};

// The rows of a list box, top to bottom.
QStringList listed(const QListWidget *list);

// Lines "N<k> X<k>" for k = 1 ... n.
QList<QByteArray> numberedLines(int n);
