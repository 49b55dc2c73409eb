#include "faults.h"
#include "macrofile.h"
#include "steptext.h"
#include "testenv.h"

#include <QDir>

using macro::MacroStep;

namespace {

const QString kSep = QStringLiteral("\nSEP.QEN\r");

// A string of the file: its 16-bit little-endian count, then its bytes.
QByteArray counted(const QByteArray &text)
{
    return QByteArray(1, char(text.size() & 0xFF)) + QByteArray(1, char(text.size() >> 8)) + text;
}

} // namespace

class TestMacroFile : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        emptyRunFolders();
    }

    // A recorded Operations step, byte for byte against an encoding built by hand.
    void operationsStepBytes()
    {
        const QString settings = tools::operationsStep({tools::Operation::Add, QStringLiteral("X"), QStringLiteral("0.5")},
                                                       {false, true, QStringLiteral("10"), QStringLiteral("20")}, kSep);
        const QList<MacroStep> steps{{QStringLiteral("Operations"), QStringLiteral("shift"), settings}};
        QByteArray bytes;
        QCOMPARE(macro::encodeMacro(steps, bytes), std::nullopt);
        const QByteArray sep("\nSEP.QEN\r");
        const QByteArray hand = QByteArray("\x0a\x00Operations", 12) + QByteArray("\x05\x00shift", 7)
                                + counted("True" + sep + "False" + sep + "False" + sep + "False" + sep + "0.5" + sep
                                          + "X" + sep + "False" + sep + "True" + sep + "10" + sep + "20" + sep);
        QCOMPARE(bytes, hand);
        QCOMPARE(macro::decodeMacro(bytes).steps, steps);
    }

    // No steps is an empty file; an empty file is a macro with no steps.
    void emptyMacro()
    {
        const QString path = macro::macroPath(macro::macroFolder(), QStringLiteral("empty"));
        QCOMPARE(macro::writeMacro(path, {}), std::nullopt);
        QCOMPARE(QFileInfo(path).size(), qint64(0));
        const macro::DecodedMacro read = macro::readMacro(path);
        QVERIFY(read.ok());
        QVERIFY(read.steps.isEmpty());
    }

    void damagedFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("wholeSteps");
        QTest::addColumn<QString>("error");
        const QByteArray one = counted("Format") + counted("") + counted("X\nSEP.QEN\r");
        QTest::newRow("a count past the end") << one + counted("Space") + QByteArray("\x09\x00", 2) + "short" << 1
                                              << "Step 2 runs past the end of the file: its comment claims 9 bytes "
                                                 "where 5 are left.";
        QTest::newRow("a count cut in half") << one + QByteArray(1, '\x05') << 1
                                             << "Step 2 is cut short: the file ends inside the length of its step name.";
        QTest::newRow("a huge count") << QByteArray("\xff\xff", 2) << 0
                                      << "Step 1 runs past the end of the file: its step name claims 65535 bytes "
                                         "where 0 are left.";
    }
    void damagedFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const QString path = macro::macroPath(macro::macroFolder(), QStringLiteral("damaged"));
        QDir().mkpath(macro::macroFolder());
        writeBytes(path, bytes);
        const macro::DecodedMacro read = macro::readMacro(path);
        QTEST(int(read.steps.size()), "wholeSteps");
        QCOMPARE(read.error, QStringLiteral("The macro file %1 is damaged. %2").arg(QDir::toNativeSeparators(path), error));
    }

    // What a macro file cannot hold is refused, and nothing is written.
    void encodeRefusals()
    {
        QByteArray bytes("untouched");
        QCOMPARE(macro::encodeMacro({{"Space", "", QString(65536, QLatin1Char('x'))}}, bytes),
                 QStringLiteral("Step 1 cannot be stored: its settings is 65536 characters long, and a macro file "
                                "holds at most 65535."));
        QCOMPARE(macro::encodeMacro({{"Space", "", ""}, {"Space", QStringLiteral("\u20ac5"), ""}}, bytes),
                 QStringLiteral("Step 2 cannot be stored: its comment holds the character \"\u20ac\", which a macro "
                                "file cannot hold."));
        QCOMPARE(bytes, QByteArray("untouched"));
        QCOMPARE(macro::encodeMacro({{"Space", QStringLiteral("\u00e9"), QString(65535, QLatin1Char('x'))}}, bytes),
                 std::nullopt);
        QCOMPARE(bytes.size(), 2 + 5 + 2 + 1 + 2 + 65535);
    }

    // The folder's macros, each file replaced whole; a failed write leaves the old file.
    void folderAndRewrites()
    {
        const QString folder = macro::macroFolder();
        QCOMPARE(macro::macroNames(folder), QStringList());
        for (const char *name : {"roughing", "Finish", "a.b"})
            QCOMPARE(macro::writeMacro(macro::macroPath(folder, QString::fromLatin1(name)), {}), std::nullopt);
        writeBytes(folder + QStringLiteral("/notes.txt"), "not a macro");
        QCOMPARE(macro::macroNames(folder), (QStringList{"a.b", "Finish", "roughing"}));

        const QString path = macro::macroPath(folder, QStringLiteral("roughing"));
        const QList<MacroStep> steps{{"Space", "one", "True" + kSep}, {"Format", "", "X" + kSep}};
        QCOMPARE(macro::writeMacro(path, steps), std::nullopt);
        QCOMPARE(macro::readMacro(path).steps, steps);
        {
            FileSizeLimit full(8);
            QVERIFY(macro::writeMacro(path, {{"Space", "two", "False" + kSep}}).has_value());
        }
        QCOMPARE(macro::readMacro(path).steps, steps);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 4);

        QVERIFY(macro::copyMacro(path, path).has_value());
        QVERIFY(macro::copyMacro(path, folder + QStringLiteral("/../macro/roughing.macro.qen")).has_value());
        const QString backup = macro::macroPath(folder, QStringLiteral("Finish"));
        QCOMPARE(macro::copyMacro(path, backup), std::nullopt);
        QCOMPARE(readBytes(backup), readBytes(path));
        QVERIFY(macro::readMacro(macro::macroPath(folder, QStringLiteral("gone"))).error.contains(QStringLiteral("gone")));
    }

    void names()
    {
        QCOMPARE(macro::macroNameRefused(QStringLiteral("Roughing v1.2")), std::nullopt);
        for (const char *name : {"", "../elsewhere", "a\\b", ".."})
            QVERIFY2(macro::macroNameRefused(QString::fromLatin1(name)), name);
    }
};

VORNEXA_TEST_MAIN(TestMacroFile)
#include "tst_macro_file.moc"
