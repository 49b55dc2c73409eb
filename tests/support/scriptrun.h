#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The program (VORNEXA_EXE of the test's build) run as a script runs it: no display, and a
// platform asked for that cannot start. It starts at once; exitCode() waits for its end, and out()
// and err() give all it has written so far.
class ScriptRun
{
public:
    explicit ScriptRun(const QStringList &arguments, const QProcessEnvironment &extra = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(extra);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VORNEXA_EXE), arguments);
        if (!process.waitForStarted())
            qFatal("vornexa did not start");
    }
    // -1 when it did not end of itself within two minutes.
    int exitCode()
    {
        if (process.state() != QProcess::NotRunning && !process.waitForFinished(120000))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QString out() { return m_out += QString::fromLocal8Bit(process.readAllStandardOutput()); }
    QString err() { return m_err += QString::fromLocal8Bit(process.readAllStandardError()); }

    QProcess process;

private:
    QString m_out;
    QString m_err;
};
