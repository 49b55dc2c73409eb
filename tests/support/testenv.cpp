#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QSettings>

TestEnvironment::TestEnvironment() : m_dir(QDir::tempPath() + QStringLiteral("/vornexa-test-XXXXXX"))
{
    if (!m_dir.isValid())
        qFatal("cannot make a temporary folder for the test run");
    m_rootPath = m_dir.path();
    const QString home = m_rootPath + QStringLiteral("/program");
    QDir().mkpath(home);
    QDir().mkpath(m_rootPath + QStringLiteral("/config"));
    QDir().mkpath(m_rootPath + QStringLiteral("/data"));
    qputenv("VORNEXA_HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_rootPath + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_rootPath + QStringLiteral("/data")));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

QString TestEnvironment::path(const QString &name) const
{
    return QDir(m_rootPath).filePath(name);
}

TestEnvironment &testEnvironment()
{
    static TestEnvironment env;
    return env;
}

QByteArray lineText(int from, int to)
{
    QByteArray text;
    for (int k = from; k <= to; ++k)
        text += "L" + QByteArray::number(k) + "\r\n";
    return text;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

QString writeTestFile(const QString &name, const QByteArray &bytes)
{
    const QString path = testEnvironment().path(name);
    writeBytes(path, bytes);
    return path;
}

QString programPath(const QString &name)
{
    const QString folder = qEnvironmentVariable("VORNEXA_HOME");
    return name.isEmpty() ? folder : QDir(folder).filePath(name);
}

void emptyRunFolders()
{
    // The run's own folders, made first: an empty variable would name the working folder.
    testEnvironment();
    for (const char *variable : {"VORNEXA_HOME", "XDG_CONFIG_HOME"}) {
        if (qEnvironmentVariableIsEmpty(variable))
            qFatal("the test run has no %s of its own", variable);
        QDir(qEnvironmentVariable(variable)).removeRecursively();
        QDir().mkpath(qEnvironmentVariable(variable));
    }
}

static QString settingsFile(const QString &title)
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/vornexa/") + title + QStringLiteral(".ini");
}

QString storedSetting(const QString &key, const QString &title)
{
    const QSettings ini(settingsFile(title), QSettings::IniFormat);
    return ini.contains(key) ? ini.value(key).toString() : QStringLiteral("(absent)");
}

void storeSetting(const QString &key, const QString &value, const QString &title)
{
    QSettings(settingsFile(title), QSettings::IniFormat).setValue(key, value);
}
