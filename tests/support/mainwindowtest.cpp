#include "mainwindowtest.h"

#include "tessarc.h"

void MainWindowTest::start(const QStringList &arguments)
{
    w = std::make_unique<mainform>(prompts);
    w->Form_Load(arguments);
    w->show();
}

void MainWindowTest::openThroughMenu(const QString &path)
{
    prompts.answerText(path);
    w->LoadFile_Click();
}

void MainWindowTest::init()
{
    w.reset();
    prompts.clear();
    emptyRunFolders();
}

void MainWindowTest::cleanup()
{
    if (w)
        w->TESSARC1->Run = false;
    w.reset();
    QVERIFY2(prompts.unexpected.isEmpty(), qPrintable(prompts.unexpected.join(QLatin1Char('\n'))));
}
