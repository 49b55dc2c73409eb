#include "gcodedefinitions.h"
#include "faults.h"
#include "testenv.h"

#include <QDir>
#include <QFile>

using definitions::DefinitionList;
using definitions::Lookup;

Q_DECLARE_METATYPE(definitions::Lookup::Status)

class TestDefinitions : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        emptyRunFolders();
    }

    // A first load writes the default file, byte for byte, and lists it sorted.
    void defaultFile()
    {
        const QString path = definitions::definitionsPath();
        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("g&mcode.txt"));
        QCOMPARE(definitions::lookup(path, QStringLiteral("G0 ")).status, Lookup::NoFile);
        DefinitionList list;
        QCOMPARE(list.load(), std::nullopt);
        QVERIFY(list.created());
        QCOMPARE(readBytes(path), QByteArray("G Rapid Travel\r\nG0 Rapid Travel\r\nG00 Rapid Travel\r\nM6 Tool Change\r\n"));
        QCOMPARE(list.items(), (QStringList{"G Rapid Travel", "G0 Rapid Travel", "G00 Rapid Travel", "M6 Tool Change"}));
        QCOMPARE(list.load(), std::nullopt);
        QVERIFY(!list.created());
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("key");
        QTest::addColumn<Lookup::Status>("status");
        QTest::addColumn<QString>("definition");
        QTest::newRow("g0 finds G0, not G00") << "g0" << "g0 " << Lookup::Found << "G0 Rapid Travel";
        QTest::newRow("G") << "G" << "G " << Lookup::Found << "G Rapid Travel";
        QTest::newRow("G00 with spaces and a line break around") << "  G00\r\n " << "G00 " << Lookup::Found
                                                                 << "G00 Rapid Travel";
        QTest::newRow("a field of a comma line") << "m30" << "m30 " << Lookup::Found << "M30 End";
        QTest::newRow("a whole line finds nothing") << "G0 X1" << "G0 X1 " << Lookup::NotFound << "";
        QTest::newRow("nothing selected") << "\r\n" << " " << Lookup::NotFound << "";
    }
    void lookup()
    {
        QFETCH(QString, selection);
        QFETCH(QString, key);
        const QString path = definitions::definitionsPath();
        writeBytes(path, definitions::defaultContent() + "M6 Tool Change,M30 End\r\n");
        QCOMPARE(definitions::selectionKey(selection), key);
        const Lookup found = definitions::lookup(path, key);
        QTEST(found.status, "status");
        QTEST(found.definition, "definition");
    }

    void readFields_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("one a line, any line end") << QByteArray("G0 A\r\nG1 B\nG2 C\rG3 D") << QStringList{"G0 A", "G1 B",
                                                                                                          "G2 C", "G3 D"};
        QTest::newRow("a comma splits a line") << QByteArray("G0 A, G1 B\r\n") << QStringList{"G0 A", "G1 B"};
        QTest::newRow("quotes hold commas") << QByteArray("  \"G1 Linear, feed\" tail,M3 Spindle\r\n")
                                            << QStringList{"G1 Linear, feed", "M3 Spindle"};
        QTest::newRow("blank lines and fields are none") << QByteArray("\r\n  \r\n,,G4 Dwell\r\n")
                                                         << QStringList{"G4 Dwell"};
        QTest::newRow("an unclosed quote runs to the end") << QByteArray("\"G5 a,b\r\nG6") << QStringList{"G5 a,b\r\nG6"};
    }
    void readFields()
    {
        QFETCH(QByteArray, bytes);
        QTEST(definitions::readFields(bytes), "fields");
    }

    // Added and removed items keep the list sorted; what is saved reads back the same, commas too.
    void editSaveAndReadBack()
    {
        const QString path = definitions::definitionsPath();
        writeBytes(path, "\"G1 Linear, feed\"\r\nm6 lower\r\n");
        DefinitionList list;
        QCOMPARE(list.load(), std::nullopt);
        QCOMPARE(list.itemFor(QStringLiteral(" m3,0 "), QStringLiteral(" Spindle, on ")),
                 std::optional<QString>(QStringLiteral("M30 Spindle on")));
        QCOMPARE(list.itemFor(QStringLiteral(" , "), QStringLiteral("meaning")), std::nullopt);
        QCOMPARE(list.add(QStringLiteral("M6 upper")), 2);
        QCOMPARE(list.add(QStringLiteral("Q9 \"quoted\", comma")), 3);
        QCOMPARE(list.add(QStringLiteral("T1 Tool")), 4);
        list.remove(4);
        list.remove(9);
        QCOMPARE(list.items(), (QStringList{"G1 Linear, feed", "m6 lower", "M6 upper", "Q9 \"quoted\", comma"}));
        QCOMPARE(list.save(), std::nullopt);
        QCOMPARE(readBytes(path), QByteArray("\"G1 Linear, feed\"\r\nm6 lower\r\nM6 upper\r\n\"Q9 'quoted', comma\"\r\n"));
        QCOMPARE(list.load(), std::nullopt);
        QCOMPARE(list.items(), (QStringList{"G1 Linear, feed", "m6 lower", "M6 upper", "Q9 'quoted', comma"}));
        // Ties of letter case sort by character code whatever order the file gives them.
        writeBytes(path, "m6 a\r\nM6 a\r\n");
        QCOMPARE(list.load(), std::nullopt);
        QCOMPARE(list.items(), (QStringList{"M6 a", "m6 a"}));
    }

    // The lookup's offer adds a line at the end of the file, the rest kept byte for byte.
    void lookupAddsALine()
    {
        const QString path = definitions::definitionsPath();
        writeBytes(path, "G0 Rapid\r\n(hand, edited) no line end");
        const QString line = definitions::lookupLine(QStringLiteral("m30 "), QStringLiteral("End, rewind"));
        QCOMPARE(line, QStringLiteral("M30  End rewind"));
        QCOMPARE(definitions::appendLine(path, line), std::nullopt);
        QCOMPARE(readBytes(path), QByteArray("G0 Rapid\r\n(hand, edited) no line end\r\nM30  End rewind\r\n"));
        QCOMPARE(definitions::lookup(path, QStringLiteral("m30 ")).definition, QStringLiteral("M30  End rewind"));
        QCOMPARE(definitions::shownDefinition(QStringLiteral("G0 Rapid newline Travel")),
                 QStringLiteral("G0 Rapid\r\nTravel"));
    }

    // A file that cannot be written is reported and left as it was.
    void writeFailure()
    {
        const QString path = definitions::definitionsPath();
        writeBytes(path, "G0 Rapid\r\n");
        DefinitionList list;
        QCOMPARE(list.load(), std::nullopt);
        list.add(QStringLiteral("M3 Spindle"));
        std::optional<QString> saved;
        std::optional<QString> appended;
        {
            FileSizeLimit full(4);
            saved = list.save();
            appended = definitions::appendLine(path, QStringLiteral("M5 Stop"));
        }
        QVERIFY(saved && saved->startsWith(QStringLiteral("The definitions file ")));
        QVERIFY(appended);
        QCOMPARE(readBytes(path), QByteArray("G0 Rapid\r\n"));
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files), QStringList{"g&mcode.txt"});
    }
};

VORNEXA_TEST_MAIN(TestDefinitions)
#include "tst_gcodedefinitions.moc"
