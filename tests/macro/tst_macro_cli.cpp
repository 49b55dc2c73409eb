#include "macrotest.h"
#include "scriptrun.h"
#include "tessarc.h"

#include <QProcess>

namespace {

// A step as the machinist fills its window: the fields, then the button pressed.
struct StepByHand
{
    QString step;
    QStringList fields;
    QString button = QStringLiteral("Go");
};

} // namespace

// vornexa --macro on real programs: the same bytes as the windows give, and its exit codes.
class TestMacroCommandLine : public HostTest
{
    Q_OBJECT

private slots:
    void sameBytesAsTheWindows()
    {
        // A program written elsewhere when the corpus is beside the project; the project's own
        // sample program on a clean checkout. A few lines after it give every step below something
        // to change on either.
        QString written = QStringLiteral(VORNEXA_CORPUS_DIR "/linuxcnc__arcspiral.ngc");
        if (!QFileInfo(written).isFile())
            written = QStringLiteral(VORNEXA_SAMPLES_DIR "/bracket.nc");
        QByteArray text = readBytes(written);
        QVERIFY(!text.isEmpty());
        const QByteArray end = text.contains("\r\n") ? "\r\n" : "\n";
        if (!text.endsWith('\n'))
            text += end;
        for (const char *line : {"(added)", "g1 x0.2 y0.5 r1.9 f100", "G1 X2 Y1.23456789", "G1 X3 Y2.5", "G1 X4 Y3"})
            text += line + end;
        const QString program = writeTestFile(QStringLiteral("shop.ngc"), text);
        TESSARC &editor = shell->editor();
        editor.lockup(false);
        editor.program().saveEnds = tessarc::Program::SaveEnds::AsLoaded; // as the main window saves
        QVERIFY(editor.loadFile(program));
        // Every tool, each on what the ones before it left.
        const QString part = writeTestFile(QStringLiteral("part.ngc"), "(inserted)\r\nG0 X1 Y1\r\n");
        const QList<StepByHand> byHandSteps = {
            {QStringLiteral("Operations"), {"Option1=True", "txtValue=0.5", "txtAxis=X"}},
            {QStringLiteral("Operations Plus"), {"Text1=X", "Text2=0", "txtValue=0.25", "txtAxis=Y", "Check2=1", "inc=0.001"}},
            {QStringLiteral("Replace"), {"txtAxis=x", "l=True", "txtValue=1", "Text1=r1.9", "Text2=R1.9"}, QStringLiteral("go3")},
            {QStringLiteral("Replace"), {"txtFind=g1", "txtReplace=G01", "case1=1"}},
            {QStringLiteral("Insert File"), {"Command1=" + part, "StartLine=2"}},
            {QStringLiteral("Remove Lines"), {"StartLine=5", "EndLine=7"}},
            {QStringLiteral("Mirror"), {"txtAxis=X", "txtValue=0.5"}},
            {QStringLiteral("Number"), {"Option2=True", "txtStartNumber=10", "txtInc=10"}},
            {QStringLiteral("Filter"), {"txtAxis=N", "txtValue=15"}},
            {QStringLiteral("Remove Comments"), {}},
            {QStringLiteral("Format"), {"txtAxis=Y"}},
            {QStringLiteral("Space"), {"remove=True"}},
        };
        QList<MacroStep> steps;
        QStringList before;
        for (const StepByHand &step : byHandSteps) {
            const QString settings = recordedStep(*shell, step.step, step.fields, step.button);
            QVERIFY2(!settings.isEmpty(), qPrintable(step.step));
            steps.append({step.step, QString(), settings});
            const QList<QByteArray> was = shell->store();
            QVERIFY(runByHand(*shell, step.step, step.fields, step.button));
            QVERIFY2(shell->store() != was, qPrintable(step.step + QStringLiteral(" changed nothing")));
        }
        QCOMPARE(shell->messages(), QStringList());
        const QString byHand = testEnvironment().path(QStringLiteral("byhand.ngc"));
        QVERIFY(editor.saveFile(byHand));
        QVERIFY(readBytes(byHand) != readBytes(program));
        QCOMPARE(macro::writeMacro(macroFile(QStringLiteral("Shop")), steps), std::nullopt);

        const QString output = testEnvironment().path(QStringLiteral("bymacro.ngc"));
        // Every library the job loads is listed by the loader: no platform plugin among them.
        QProcessEnvironment loader;
        const QString loaded = testEnvironment().path(QStringLiteral("loaded"));
        loader.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
        loader.insert(QStringLiteral("LD_DEBUG_OUTPUT"), loaded);
        ScriptRun run({QStringLiteral("--macro"), QStringLiteral("Shop"), program, QStringLiteral("-o"), output}, loader);
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(run.err(), QString());
        QVERIFY2(run.out().startsWith(QStringLiteral("Done running Shop. Macro was started at ")), qPrintable(run.out()));
        QVERIFY2(run.out().contains(QStringLiteral("\n012 Space() - ")), qPrintable(run.out()));
        QCOMPARE(readBytes(output), readBytes(byHand));
        QByteArray libraries;
        const QDir folder = QFileInfo(loaded).dir();
        for (const QString &file : folder.entryList({QStringLiteral("loaded.*")}, QDir::Files))
            libraries += readBytes(folder.filePath(file));
        QVERIFY(libraries.contains("libQt6Core"));
        QVERIFY2(!libraries.contains("/platforms/"), "a platform plugin is loaded");

        // Without -o the program itself is the output.
        const QString copy = writeTestFile(QStringLiteral("inplace.ngc"), readBytes(program));
        QCOMPARE(ScriptRun({QStringLiteral("--macro"), QStringLiteral("Shop"), copy}).exitCode(), 0);
        QCOMPARE(readBytes(copy), readBytes(byHand));
    }

    // A refused step: the run goes on, its message on stderr, the result saved, exit 1.
    void refusedStepExitsOne()
    {
        const QString program = writeTestFile(QStringLiteral("short.nc"), "N1 X1\r\nN2 X2\r\n");
        const QString far = tools::operationsStep({tools::Operation::Add, QStringLiteral("X"), QStringLiteral("1")},
                                                  {false, true, QStringLiteral("50"), QStringLiteral("60")}, kSep);
        const QString space = tools::spaceStep({false}, {true, false, QStringLiteral("1"), QStringLiteral("1")}, kSep);
        QCOMPARE(macro::writeMacro(macroFile(QStringLiteral("Late")),
                                   {{QStringLiteral("Operations"), QStringLiteral("far"), far},
                                    {QStringLiteral("Space"), QString(), space}}),
                 std::nullopt);
        ScriptRun run({QStringLiteral("--macro"), QStringLiteral("Late"), program});
        QCOMPARE(run.exitCode(), 1);
        QVERIFY2(run.err().contains(QStringLiteral("step 1 (Operations) refused: Are all the text boxes filled out correctly?")),
                 qPrintable(run.err()));
        QVERIFY2(run.out().contains(QStringLiteral("001 Operations(far) - ")), qPrintable(run.out()));
        QCOMPARE(readBytes(program), QByteArray("N1X1\r\nN2X2\r\n"));
    }

    // A report nobody reads, or an output past the file-size limit: the job is never killed by a
    // signal. The result is saved before the report is written, and a save that fails says so.
    void writesThatFail_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("saved");
        QTest::newRow("stdout a closed pipe") << R"("$0" --macro Plus "$1" -o "$2" | true; exit ${PIPESTATUS[0]})" << 0 << true;
        // The line store outgrows the limit first: the load fails, with the system's words.
        QTest::newRow("file-size limit") << R"(ulimit -f 4; exec "$0" --macro Plus "$1" -o "$2")" << 1 << false;
    }

    void writesThatFail()
    {
        QFETCH(QString, script);
        QFETCH(int, code);
        QFETCH(bool, saved);
        QByteArray text;
        for (int k = 1; k <= 2000; ++k)
            text += "N" + QByteArray::number(k) + " G01 X" + QByteArray::number(k) + " Y1\r\n";
        const QString program = writeTestFile(QStringLiteral("long.nc"), text);
        const QString output = testEnvironment().path(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".nc"));
        const QString plus = tools::operationsStep({tools::Operation::Add, QStringLiteral("X"), QStringLiteral("1")},
                                                   {true, false, QStringLiteral("1"), QStringLiteral("1")}, kSep);
        QCOMPARE(macro::writeMacro(macroFile(QStringLiteral("Plus")), {{QStringLiteral("Operations"), QString(), plus}}),
                 std::nullopt);
        QProcess job;
        job.start(QStringLiteral("bash"), {QStringLiteral("-c"), script, QStringLiteral(VORNEXA_EXE), program, output});
        QVERIFY(job.waitForFinished(120000));
        const QByteArray err = job.readAllStandardError();
        QVERIFY2(job.exitCode() == code, err.constData());
        QVERIFY2(QFileInfo::exists(output) == saved, err.constData());
        if (saved)
            QVERIFY2(readBytes(output).startsWith("N1 G01 X2."), readBytes(output).left(40).constData());
        else
            QVERIFY2(err.contains("File too large"), err.constData());
        QCOMPARE(readBytes(program), text);
    }

    // Bad usage, a missing or damaged macro, a missing program or output folder: exit 2, nothing written.
    void badUsageExitsTwo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        QTest::newRow("no program") << QStringList{"--macro", "Tidy"} << "--macro takes a macro and a program";
        QTest::newRow("-o alone") << QStringList{"--macro", "Tidy", "@program", "-o"} << "-o takes one output file";
        QTest::newRow("no such macro") << QStringList{"--macro", "Gone", "@program"} << "there is no macro \"Gone\"";
        QTest::newRow("damaged macro") << QStringList{"--macro", "Broken", "@program"} << "Nothing was run.";
        QTest::newRow("no such program") << QStringList{"--macro", "Tidy", "@program.gone"} << "there is no program file";
        QTest::newRow("no output folder") << QStringList{"--macro", "Tidy", "@program", "-o", "@nowhere/out.nc"}
                                          << "its folder does not exist";
    }
    void badUsageExitsTwo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        const QByteArray text("N1 X1\r\n");
        const QString program = writeTestFile(QStringLiteral("p.nc"), text);
        const QString space = tools::spaceStep({false}, {true, false, QStringLiteral("1"), QStringLiteral("1")}, kSep);
        QCOMPARE(macro::writeMacro(macroFile(QStringLiteral("Tidy")), {{QStringLiteral("Space"), QString(), space}}),
                 std::nullopt);
        writeBytes(macroFile(QStringLiteral("Broken")), QByteArray("\x05\x00Spa", 5));
        for (QString &argument : arguments)
            argument.replace(QStringLiteral("@program"), program).replace(QStringLiteral("@nowhere"), program + QStringLiteral(".d"));
        ScriptRun run(arguments);
        QCOMPARE(run.exitCode(), 2);
        QVERIFY2(run.err().contains(said), qPrintable(run.err()));
        QCOMPARE(readBytes(program), text);
    }
};

VORNEXA_TEST_MAIN(TestMacroCommandLine)
#include "tst_macro_cli.moc"
