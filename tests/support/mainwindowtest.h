#pragma once

#include "mainform.h"
#include "scriptedprompts.h"
#include "testenv.h"

#include <memory>

// The base of the main window's flow tests. Every test starts from emptied program and settings
// folders; start() makes and loads the window as the application does. A prompt the test queued no
// answer for fails it.
class MainWindowTest : public QObject
{
    Q_OBJECT

protected:
    void start(const QStringList &arguments = {});
    // Opens a program through the File menu's Open command, with no program open yet.
    void openThroughMenu(const QString &path);

    ScriptedPrompts prompts;
    std::unique_ptr<mainform> w;

private slots:
    void init();
    void cleanup();
};
