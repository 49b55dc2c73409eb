#include "macrotest.h"
#include "tessarc.h"

#include <QProcess>

namespace {

// The program run as a script runs it: no display.
struct Run
{
    QProcess process;
    int code = -1;
    QString out;
    QString err;

    explicit Run(const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VORNEXA_EXE), arguments);
        if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
            code = process.exitCode();
        out = QString::fromLocal8Bit(process.readAllStandardOutput());
        err = QString::fromLocal8Bit(process.readAllStandardError());
    }
};

QString macroFile(const QString &name)
{
    return macro::macroPath(macro::macroFolder(), name);
}

// The five steps a shop runs over every program, as the machinist fills their windows.
const QList<QPair<QString, QStringList>> kSteps = {
    {QStringLiteral("Operations"), {"Option1=True", "txtValue=0.5", "txtAxis=X"}},
    {QStringLiteral("Number"), {"Option2=True", "txtStartNumber=10", "txtInc=10"}},
    {QStringLiteral("Remove Comments"), {}},
    {QStringLiteral("Format"), {"txtAxis=Y"}},
    {QStringLiteral("Space"), {"remove=True"}},
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
        // sample program on a clean checkout.
        QString program = QStringLiteral(VORNEXA_CORPUS_DIR "/linuxcnc__arcspiral.ngc");
        if (!QFileInfo(program).isFile())
            program = QStringLiteral(VORNEXA_SAMPLES_DIR "/bracket.nc");
        QVERIFY(QFileInfo(program).isFile());
        TESSARC &editor = shell->editor();
        editor.lockup(false);
        editor.program().saveEnds = tessarc::Program::SaveEnds::AsLoaded; // as the main window saves
        QVERIFY(editor.loadFile(program));
        QList<MacroStep> steps;
        for (const auto &[step, fields] : kSteps) {
            const QString settings = recordedStep(*shell, step, fields);
            QVERIFY2(!settings.isEmpty(), qPrintable(step));
            steps.append({step, QString(), settings});
            QVERIFY(runByHand(*shell, step, fields));
        }
        QCOMPARE(shell->messages(), QStringList());
        const QString byHand = testEnvironment().path(QStringLiteral("byhand.ngc"));
        QVERIFY(editor.saveFile(byHand));
        QVERIFY(readBytes(byHand) != readBytes(program));
        QCOMPARE(macro::writeMacro(macroFile(QStringLiteral("Shop")), steps), std::nullopt);

        const QString output = testEnvironment().path(QStringLiteral("bymacro.ngc"));
        Run run({QStringLiteral("--macro"), QStringLiteral("Shop"), program, QStringLiteral("-o"), output});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.err, QString());
        QVERIFY2(run.out.startsWith(QStringLiteral("Done running Shop. Macro was started at ")), qPrintable(run.out));
        QVERIFY2(run.out.contains(QStringLiteral("\n005 Space() - ")), qPrintable(run.out));
        QCOMPARE(readBytes(output), readBytes(byHand));

        // Without -o the program itself is the output.
        const QString copy = writeTestFile(QStringLiteral("inplace.ngc"), readBytes(program));
        QCOMPARE(Run({QStringLiteral("--macro"), QStringLiteral("Shop"), copy}).code, 0);
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
        Run run({QStringLiteral("--macro"), QStringLiteral("Late"), program});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QStringLiteral("step 1 (Operations) refused: Are all the text boxes filled out correctly?")),
                 qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("001 Operations(far) - ")), qPrintable(run.out));
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
        Run run(arguments);
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        QCOMPARE(readBytes(program), text);
    }
};

VORNEXA_TEST_MAIN(TestMacroCommandLine)
#include "tst_macro_cli.moc"
