#pragma once

#include "controlerror.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

// A private program folder and settings location for one test run, set before the application
// object exists so nothing of the user's own is ever read or written.
class TestEnvironment
{
public:
    TestEnvironment();
    const QString &root() const { return m_rootPath; }
    // A path inside the run's folder.
    QString path(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QString m_rootPath;
};

// The running test's environment.
TestEnvironment &testEnvironment();

void writeBytes(const QString &path, const QByteArray &bytes);
// The text of a program whose lines are "L<from>" to "L<to>", each ended by CR LF.
QByteArray lineText(int from, int to);
QByteArray readBytes(const QString &path);
// Writes `bytes` to a file of the run's folder and returns its path.
QString writeTestFile(const QString &name, const QByteArray &bytes);
// The program folder of the run, or a path inside it.
QString programPath(const QString &name = QString());

// Empties the program and settings folders, as before a first run.
void emptyRunFolders();
// A value of the settings store titled `title`, exactly as its file holds it; "(absent)" when it has none.
QString storedSetting(const QString &key, const QString &title = QStringLiteral("VORNEXA"));
void storeSetting(const QString &key, const QString &value, const QString &title = QStringLiteral("VORNEXA"));

// The control's error that `f` raised; one numbered 0 when it raised none.
template <typename F>
tessarc::ControlError raised(F &&f)
{
    try {
        f();
    } catch (const tessarc::ControlError &error) {
        return error;
    }
    return tessarc::ControlError(0, QStringLiteral("nothing was raised"));
}

// Like QTEST_MAIN, with the private folders in place first.
#define VORNEXA_TEST_MAIN(TestObject)                                                                            \
    int main(int argc, char *argv[])                                                                             \
    {                                                                                                            \
        testEnvironment();                                                                                       \
        QApplication app(argc, argv);                                                                            \
        TestObject tc;                                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                               \
        return QTest::qExec(&tc, argc, argv);                                                                    \
    }
