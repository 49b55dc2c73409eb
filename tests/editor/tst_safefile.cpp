#include "faults.h"
#include "safefile.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

// Writing a file whole and safely, on real files, links, pipes and devices.

namespace {

enum class Target { NewFile, Regular, ReadOnly, Link, HardLinked, Fifo, Device, Folder };

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

struct stat statOf(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

} // namespace

Q_DECLARE_METATYPE(Target)

class TestSafeFile : public QObject
{
    Q_OBJECT

private slots:
    void targets_data()
    {
        QTest::addColumn<Target>("target");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("refusal"); // the start of errorString() when refused
        QTest::newRow("a new file") << Target::NewFile << true << "";
        QTest::newRow("a file replaced, its mode kept") << Target::Regular << true << "";
        QTest::newRow("a read-only file is refused") << Target::ReadOnly << false << "it is read-only";
        QTest::newRow("a link: the file it names is written, the link stays") << Target::Link << true << "";
        QTest::newRow("a file of two names keeps both") << Target::HardLinked << true << "";
        QTest::newRow("a pipe is never replaced") << Target::Fifo << false << "it is not a regular file";
        QTest::newRow("a device is never replaced") << Target::Device << false << "it is not a regular file";
        QTest::newRow("a folder is never replaced") << Target::Folder << false << "it is not a regular file";
    }
    void targets()
    {
        QFETCH(Target, target);
        QFETCH(bool, written);
        const QString dir = testEnvironment().path(QStringLiteral("safe"));
        QDir(dir).removeRecursively();
        QVERIFY(QDir().mkpath(dir));
        const QString file = dir + QStringLiteral("/program.nc");
        const QString other = dir + QStringLiteral("/other.nc");
        QString path = file;
        const mode_t oldMask = ::umask(027);
        switch (target) {
        case Target::NewFile:
            break;
        case Target::Regular:
            put(file, "old");
            ::chmod(QFile::encodeName(file).constData(), 0604);
            break;
        case Target::ReadOnly:
            put(file, "old");
            ::chmod(QFile::encodeName(file).constData(), 0444);
            break;
        case Target::Link:
            put(other, "old");
            QVERIFY(QFile::link(other, file));
            break;
        case Target::HardLinked:
            put(file, "old");
            QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()), 0);
            break;
        case Target::Fifo:
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0644), 0);
            break;
        case Target::Device:
            path = QStringLiteral("/dev/null");
            break;
        case Target::Folder:
            QVERIFY(QDir().mkpath(file));
            break;
        }
        const struct stat before = statOf(path);
        tessarc::SafeFile out(path);
        const bool opened = out.open(QIODevice::WriteOnly);
        const bool ok = opened && out.write("new text\r\n") == 10 && out.commit();
        ::umask(oldMask);
        QCOMPARE(ok, written);
        if (!written) {
            QFETCH(QString, refusal);
            QVERIFY2(out.errorString().startsWith(refusal), qPrintable(out.errorString()));
        }
        const struct stat after = statOf(path);
        // Nothing is left beside the target, whatever happened.
        QCOMPARE(QDir(dir).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".program")), QStringList());
        switch (target) {
        case Target::NewFile:
            QCOMPARE(contentOf(file), QByteArray("new text\r\n"));
            QCOMPARE(after.st_mode & 07777, mode_t(0640)); // 0666 less the umask
            break;
        case Target::Regular:
            QCOMPARE(contentOf(file), QByteArray("new text\r\n"));
            QCOMPARE(after.st_mode & 07777, mode_t(0604));
            QCOMPARE(after.st_uid, before.st_uid);
            QCOMPARE(after.st_gid, before.st_gid);
            break;
        case Target::ReadOnly:
            QCOMPARE(contentOf(file), QByteArray("old"));
            QCOMPARE(after.st_mode & 07777, mode_t(0444));
            break;
        case Target::Link:
            QVERIFY(S_ISLNK(after.st_mode));
            QCOMPARE(contentOf(other), QByteArray("new text\r\n"));
            break;
        case Target::HardLinked:
            QCOMPARE(after.st_ino, before.st_ino);
            QCOMPARE(contentOf(other), QByteArray("new text\r\n"));
            break;
        case Target::Fifo:
            QVERIFY(S_ISFIFO(after.st_mode));
            break;
        case Target::Device:
            QVERIFY(S_ISCHR(after.st_mode));
            QCOMPARE(after.st_rdev, before.st_rdev);
            break;
        case Target::Folder:
            QVERIFY(S_ISDIR(after.st_mode));
            break;
        }
    }

    // A full disk: the system's words, the old file as it was, nothing left beside it.
    void aFullDiskLeavesTheOldFile()
    {
        FullDisk disk(1 << 20);
        const QString path = disk.path(QStringLiteral("program.nc"));
        put(path, "old");
        disk.fill();
        tessarc::SafeFile out(path);
        const QByteArray big(4 << 20, 'X');
        const bool ok = out.open(QIODevice::WriteOnly) && out.write(big) == big.size() && out.commit();
        QVERIFY(!ok);
        QVERIFY(out.diskFull());
        QVERIFY2(out.errorString() != QStringLiteral("Unknown error"), qPrintable(out.errorString()));
        QCOMPARE(contentOf(path), QByteArray("old"));
        QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".program")),
                 QStringList());
    }
};

VORNEXA_TEST_MAIN(TestSafeFile)
#include "tst_safefile.moc"
