#include "testhost.h"

#include "linestore.h"
#include "pageview.h"
#include "tessarc.h"
#include "testenv.h"

#include <QListWidget>
#include <QVBoxLayout>

TestHost::TestHost() : m_settings(QStringLiteral("VORNEXA"))
{
    m_editor = new TESSARC(&m_window);
    auto *layout = new QVBoxLayout(&m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_editor);
    m_editor->setPrompts(&scripted);
    m_window.resize(640, 480);
    m_window.show();
    globalVar.numbers.read(m_settings);
    globalVar.comments.applyTo(*m_editor);
    globalVar.view.applyTo(*m_editor);
    globalVar.io.applyTo(*m_editor);
    m_editor->tempFile = programPath(QStringLiteral("0.qen.tmp"));
    m_editor->tempFile2 = programPath(QStringLiteral("0.2.qen.tmp"));
    QObject::connect(&lock(), &tessarc::OperationLock::busyChanged, [this](bool busy) { busyShown = busy; });
}

TestHost::~TestHost()
{
    m_editor->done();
}

tessarc::OperationLock &TestHost::lock()
{
    return m_editor->program().lock;
}

void TestHost::addWindow(const QString &item, MakeWindow make, ShowWindow show)
{
    windows.insert(item, {std::move(make), std::move(show)});
}

void TestHost::addCommand(const QString &item, std::function<void()> run)
{
    commands.insert(item, std::move(run));
}

QWidget *TestHost::showWindow(const QString &item)
{
    shownWindows.append(item);
    QPointer<QWidget> &window = shown[item];
    if (window && window->isVisible())
        return window.data();
    delete window.data();
    const auto entry = windows.constFind(item);
    if (entry == windows.cend())
        return nullptr;
    window = entry->first(*this);
    if (entry->second)
        entry->second(window.data());
    else
        window->show();
    return window.data();
}

void TestHost::open(const QList<QByteArray> &lines)
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + "\r\n";
    m_editor->lockup(false);
    m_editor->loadFile(writeTestFile(QStringLiteral("program.nc"), text));
    scripted.clear();
}

QList<QByteArray> TestHost::store() const
{
    tessarc::LineStore s;
    s.open(m_editor->tempFile, m_editor->recLen, false);
    return s.readRange(tessarc::LineNumber(1), m_editor->numberOfLines());
}

QStringList TestHost::messages() const
{
    QStringList out;
    for (const QString &line : scripted.log)
        out.append(QString(line).replace(QStringLiteral("message: VORNEXA: "), QStringLiteral("message: ")));
    return out;
}

bool TestHost::allGivenBack() const
{
    return !m_editor->Run && !busyShown && !m_editor->txtmain->isReadOnly();
}

void HostTest::init()
{
    shell = std::make_unique<TestHost>();
    prepare();
}

void HostTest::cleanup()
{
    if (!shell)
        return;
    QVERIFY2(shell->scripted.unexpected.isEmpty(), qPrintable(shell->scripted.unexpected.join(QLatin1Char('\n'))));
    shell.reset();
}

void TestHost::checkUndoRedo(const QList<QByteArray> &before)
{
    const QList<QByteArray> after = store();
    tessarc::History &history = m_editor->program().history();
    QVERIFY(history.canUndo());
    history.undo();
    QCOMPARE(store(), before);
    history.redo();
    QCOMPARE(store(), after);
}

QList<QByteArray> numberedLines(int n)
{
    QList<QByteArray> lines;
    for (int k = 1; k <= n; ++k)
        lines.append("N" + QByteArray::number(k) + " X" + QByteArray::number(k));
    return lines;
}

QStringList listed(const QListWidget *list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows.append(list->item(i)->text());
    return rows;
}
