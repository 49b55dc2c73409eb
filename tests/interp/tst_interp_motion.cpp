#include "motion.h"

#include "testenv.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <cmath>

namespace {

struct Followed
{
    QStringList rows;     // the moves, as --moves writes them, without the header
    QStringList findings; // "line: reason"
};

Followed follow(const QByteArray &program)
{
    interp::Interpreter interpreter;
    QList<interp::Move> moves;
    QList<interp::Finding> findings;
    qint64 number = 0;
    for (const QByteArray &line : program.split('\n'))
        interpreter.follow(line, ++number, moves, findings);
    Followed followed;
    for (const interp::Move &move : moves)
        followed.rows.append(interp::moveRow(move));
    for (const interp::Finding &finding : findings)
        followed.findings.append(QStringLiteral("%1: %2").arg(finding.line).arg(finding.reason));
    return followed;
}

// A row with the columns that vary here; the offsets are 0 in every row.
QString row(qint64 line, const char *kind, const char *end, const char *centre, int plane, int turn, const char *feed,
            int tool = 0)
{
    QStringList cells{QString::number(line), QLatin1String(kind)};
    cells += QString::fromLatin1(end).split(QLatin1Char(' '));
    cells += QString::fromLatin1(centre).split(QLatin1Char(' '));
    cells << QString::number(plane) << QString::number(turn) << QLatin1String(feed) << QString::number(tool);
    cells << QStringLiteral("0") << QStringLiteral("0") << QStringLiteral("0") << QStringLiteral("0");
    return cells.join(QLatin1Char('\t'));
}

const char *const kNoCentre = "  ";

} // namespace

// Moves worked out by hand, one program a row.
class TestMotion : public QObject
{
    Q_OBJECT

private slots:
    void moves_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("rapid, then feed; spaces inside words, comments")
            << QByteArray("G21 G90 (metric) G0 X10 Y 5\nG1 Z-1. F100 ; down")
            << QStringList{row(1, "rapid", "10 5 0 0 0 0", kNoCentre, 17, 0, "0"),
                           row(2, "feed", "10 5 -1 0 0 0", kNoCentre, 17, 0, "100")};
        QTest::newRow("inches converted, rotary axes not")
            << QByteArray("G20 G0 X1 A90\nG1 Y-0.5 F10")
            << QStringList{row(1, "rapid", "25.4 0 0 90 0 0", kNoCentre, 17, 0, "0"),
                           row(2, "feed", "25.4 -12.7 0 90 0 0", kNoCentre, 17, 0, "254")};
        QTest::newRow("incremental, then absolute; the motion mode stays")
            << QByteArray("G91 G0 X1\nX1 Y2\nG90 X0")
            << QStringList{row(1, "rapid", "1 0 0 0 0 0", kNoCentre, 17, 0, "0"),
                           row(2, "rapid", "2 2 0 0 0 0", kNoCentre, 17, 0, "0"),
                           row(3, "rapid", "0 2 0 0 0 0", kNoCentre, 17, 0, "0")};
        QTest::newRow("G17 arcs: I J offsets, clockwise and back")
            << QByteArray("G0 X0 Y0\nG2 X10 Y0 I5 J0 F50\nG3 X0 Y0 I-5")
            << QStringList{row(1, "rapid", "0 0 0 0 0 0", kNoCentre, 17, 0, "0"),
                           row(2, "arc", "10 0 0 0 0 0", "5 0 0", 17, -1, "50"),
                           row(3, "arc", "0 0 0 0 0 0", "5 0 0", 17, 1, "50")};
        QTest::newRow("G18 arc: I K, counter-clockwise seen from +Y")
            << QByteArray("G18 G0 X0 Z0\nG3 X10 Z0 I5 K0 F50")
            << QStringList{row(1, "rapid", "0 0 0 0 0 0", kNoCentre, 18, 0, "0"),
                           row(2, "arc", "10 0 0 0 0 0", "5 0 0", 18, 1, "50")};
        QTest::newRow("G19 full circle with an extra turn")
            << QByteArray("G19 G0 Y0 Z0\nG2 J0 K5 P2 Y0 Z0 F50")
            << QStringList{row(1, "rapid", "0 0 0 0 0 0", kNoCentre, 19, 0, "0"),
                           row(2, "arc", "0 0 0 0 0 0", "0 0 5", 19, -2, "50")};
        QTest::newRow("R arcs: less and more than half a circle, both ways")
            << QByteArray("G1 X0 Y0 F60\nG2 X10 R10\nG3 X0 R10\nG2 X10 R-10\nG3 X0 Y0 R5")
            << QStringList{row(1, "feed", "0 0 0 0 0 0", kNoCentre, 17, 0, "60"),
                           row(2, "arc", "10 0 0 0 0 0", "5 -8.6603 0", 17, -1, "60"),
                           row(3, "arc", "0 0 0 0 0 0", "5 -8.6603 0", 17, 1, "60"),
                           row(4, "arc", "10 0 0 0 0 0", "5 8.6603 0", 17, -1, "60"),
                           row(5, "arc", "0 0 0 0 0 0", "5 0 0", 17, 1, "60")};
        QTest::newRow("helix: the centre at the start's height")
            << QByteArray("G0 X0 Y0 Z1\nG3 X0 Y0 Z-2 I5 F30")
            << QStringList{row(1, "rapid", "0 0 1 0 0 0", kNoCentre, 17, 0, "0"),
                           row(2, "arc", "0 0 -2 0 0 0", "5 0 1", 17, 1, "30")};
        QTest::newRow("absolute centres, inches")
            << QByteArray("G20 G90.1 G0 X1 Y0\nG2 X-1 Y0 I0 J0 F2\nG91.1 G3 X1 Y0 I1")
            << QStringList{row(1, "rapid", "25.4 0 0 0 0 0", kNoCentre, 17, 0, "0"),
                           row(2, "arc", "-25.4 0 0 0 0 0", "0 0 0", 17, -1, "50.8"),
                           row(3, "arc", "25.4 0 0 0 0 0", "0 0 0", 17, 1, "50.8")};
        QTest::newRow("a motion code with no axis word: where the tool stands, a full circle")
            << QByteArray("G0 X1 Y1\nG0\nX2 (no code, so no move) F10\nG2 I1 J0\nG1")
            << QStringList{row(1, "rapid", "1 1 0 0 0 0", kNoCentre, 17, 0, "0"),
                           row(2, "rapid", "1 1 0 0 0 0", kNoCentre, 17, 0, "0"),
                           row(3, "rapid", "2 1 0 0 0 0", kNoCentre, 17, 0, "10"),
                           row(4, "arc", "2 1 0 0 0 0", "3 1 0", 17, -1, "10"),
                           row(5, "feed", "2 1 0 0 0 0", kNoCentre, 17, 0, "10")};
        QTest::newRow("dwell where the tool stands; the tool changed")
            << QByteArray("T3 M6\nG0 X2\nG4 P1.5")
            << QStringList{row(2, "rapid", "2 0 0 0 0 0", kNoCentre, 17, 0, "0", 3),
                           row(3, "dwell", "2 0 0 0 0 0", kNoCentre, 17, 0, "0", 3)};
    }
    void moves()
    {
        QFETCH(QByteArray, program);
        const Followed followed = follow(program);
        QCOMPARE(followed.findings, QStringList());
        QTEST(followed.rows, "rows");
    }

    // What cannot be followed is said with its line, and the line moves nothing: the next move
    // starts where the last followed one ended.
    void findings_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("finding");
        QTest::newRow("parameter") << QByteArray("G0 X#1") << "parameters and expressions are not followed yet";
        QTest::newRow("expression") << QByteArray("G0 X[1+2]") << "parameters and expressions are not followed yet";
        QTest::newRow("subroutine") << QByteArray("o100 sub") << "O-words (subroutines, loops, conditions) are not followed yet";
        QTest::newRow("code") << QByteArray("G43 H1 Z5") << "G43 is not followed yet";
        QTest::newRow("frame") << QByteArray("G55 X5") << "G55 is not followed yet";
        QTest::newRow("canned cycle") << QByteArray("G81 X5 Z-1 R1") << "G81 is not followed yet";
        QTest::newRow("user M code") << QByteArray("M100") << "M100 is not followed yet";
        QTest::newRow("letter") << QByteArray("G0 U5") << "the letter U is not followed yet";
        QTest::newRow("no motion in force") << QByteArray("G80 X5") << "axis words with no motion in force (G0, G1, G2 or G3)";
        QTest::newRow("R too small") << QByteArray("G2 X20 R4.9 F10") << "R 4.9 is too small to reach the end point";
        QTest::newRow("R arc ending where it starts") << QByteArray("G2 X10 R5 F10") << "an R arc cannot end where it starts";
        QTest::newRow("end off the arc") << QByteArray("G2 X20 I3 F10") << "the end point is not on the arc: its radius is 7 mm, the start's 3 mm";
        QTest::newRow("no centre") << QByteArray("G2 X20 F10") << "an arc needs its centre (I, J or K) or its radius (R)";
        QTest::newRow("turns") << QByteArray("G2 X20 I5 P1.5 F10") << "P 1.5 is not a whole number of turns";
        QTest::newRow("dwell with no time") << QByteArray("G4") << "G4 needs its time in a P word";
    }
    void findings()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, finding);
        const Followed followed = follow("G0 X10\n" + line + "\nG0 Y1");
        QCOMPARE(followed.findings, QStringList{QStringLiteral("2: ") + finding + QStringLiteral("; the line moves nothing")});
        QCOMPARE(followed.rows, (QStringList{row(1, "rapid", "10 0 0 0 0 0", kNoCentre, 17, 0, "0"),
                                             row(3, "rapid", "10 1 0 0 0 0", kNoCentre, 17, 0, "0")}));
    }

    // A move it can follow but a machine would refuse is said too, and still drawn.
    void feedMovesWithNoFeed()
    {
        const Followed followed = follow("G1 X1\nG2 X2 R1");
        QCOMPARE(followed.findings, (QStringList{QStringLiteral("1: a feed move with no feed rate (F)"),
                                                 QStringLiteral("2: an arc with no feed rate (F)")}));
        QCOMPARE(followed.rows.size(), 2);
    }

    // Where LinuxCNC's own interpreter is installed, every corpus program followed without a
    // finding gives its moves: the same kinds in order, ends and centres within 0.0001 of the
    // program's unit, the same direction and turns.
    void sameMovesAsLinuxCnc()
    {
        const QString rs274 = QStandardPaths::findExecutable(QStringLiteral("rs274"));
        const QDir corpus(QStringLiteral(VORNEXA_CORPUS_DIR));
        if (rs274.isEmpty() || !corpus.exists())
            QSKIP("needs rs274 (linuxcnc-uspace) and the corpus beside the project");
        int compared = 0;
        for (const QString &name : corpus.entryList({"*.ngc", "*.nc", "*.gc"}, QDir::Files)) {
            const QByteArray text = readBytes(corpus.filePath(name));
            interp::Interpreter interpreter;
            QList<interp::Move> ours;
            QList<interp::Finding> findings;
            qint64 number = 0;
            for (QByteArray line : text.split('\n')) {
                if (line.endsWith('\r'))
                    line.chop(1);
                interpreter.follow(line, ++number, ours, findings);
            }
            if (!findings.isEmpty())
                continue;
            ours.removeIf([](const interp::Move &m) { return m.kind == interp::MoveKind::Dwell; });
            QProcess reference;
            reference.start(rs274, {QStringLiteral("-g"), corpus.filePath(name)});
            QVERIFY(reference.waitForFinished(120000));
            static const QRegularExpression call(QStringLiteral("(STRAIGHT_TRAVERSE|STRAIGHT_FEED|ARC_FEED)\\(([^)]*)\\)"));
            double unit = 1.0; // mm a reference unit is
            qsizetype k = 0;
            for (const QString &line : QString::fromUtf8(reference.readAllStandardOutput()).split(QLatin1Char('\n'))) {
                if (line.contains(QLatin1String("USE_LENGTH_UNITS")))
                    unit = line.contains(QLatin1String("INCHES")) ? 25.4 : 1.0;
                const QRegularExpressionMatch m = call.match(line);
                if (!m.hasMatch())
                    continue;
                QList<double> v;
                for (const QString &n : m.captured(2).split(QLatin1Char(',')))
                    v.append(n.toDouble());
                const QString where = QStringLiteral("%1, move %2: %3").arg(name).arg(k + 1).arg(line.trimmed());
                QVERIFY2(k < ours.size(), qPrintable(where));
                const interp::Move &o = ours[k++];
                const auto near = [&](double ref, double mm) { return std::fabs(ref - mm / unit) <= 0.00011; };
                if (m.captured(1) != QLatin1String("ARC_FEED")) {
                    QVERIFY2(o.kind == (m.captured(1) == QLatin1String("STRAIGHT_FEED") ? interp::MoveKind::Feed
                                                                                       : interp::MoveKind::Rapid),
                             qPrintable(where));
                    QVERIFY2(near(v[0], o.end[0]) && near(v[1], o.end[1]) && near(v[2], o.end[2]), qPrintable(where));
                    continue;
                }
                // first end, second end, first centre, second centre, rotation, the normal's end
                const int first = o.plane == 18 ? 2 : o.plane == 19 ? 1 : 0;
                const int second = o.plane == 18 ? 0 : o.plane == 19 ? 2 : 1;
                const int normal = 3 - first - second;
                QVERIFY2(o.kind == interp::MoveKind::Arc && o.turn == static_cast<int>(v[4]), qPrintable(where));
                QVERIFY2(near(v[0], o.end[first]) && near(v[1], o.end[second]) && near(v[5], o.end[normal]) &&
                             near(v[2], o.centre[first]) && near(v[3], o.centre[second]),
                         qPrintable(where));
            }
            QCOMPARE(k, ours.size());
            ++compared;
        }
        QVERIFY(compared > 0);
    }

    // vornexa --moves: the table on stdout or into a file written whole, the findings on stderr
    // and exit 1 with them or with an output it cannot write, 2 for a program that is not there.
    void theFormWithoutAWindow()
    {
        const QString program = writeTestFile(QStringLiteral("part.ngc"), "G21 G0 X1 Y2\r\nG1 Z-1 F100\r\nG43 H1\r\n");
        const QString table = testEnvironment().path(QStringLiteral("moves.tsv"));
        const QString header = interp::movesHeader() + QLatin1Char('\n');
        const QString rows = row(1, "rapid", "1 2 0 0 0 0", kNoCentre, 17, 0, "0") + QLatin1Char('\n') +
                             row(2, "feed", "1 2 -1 0 0 0", kNoCentre, 17, 0, "100") + QLatin1Char('\n');
        const QString finding = QStringLiteral("line 3: G43 is not followed yet; the line moves nothing\n");
        struct Case
        {
            QStringList arguments;
            int code;
            QString out;
            QString err;
        };
        const QList<Case> cases = {
            {{QStringLiteral("--moves"), program}, 1, header + rows, finding},
            {{QStringLiteral("--moves"), program, QStringLiteral("-o"), table}, 1, QString(), finding},
            {{QStringLiteral("--moves"), program, QStringLiteral("-o"), table + QStringLiteral(".d/moves.tsv")}, 1, QString(),
             QStringLiteral("vornexa: %1.d/moves.tsv cannot be written: No such file or directory\n").arg(table)},
            {{QStringLiteral("--moves"), program + QStringLiteral(".gone")}, 2, QString(),
             QStringLiteral("vornexa: there is no program file %1.gone.\n").arg(program)},
        };
        for (const Case &c : cases) {
            QProcess job;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove(QStringLiteral("DISPLAY"));
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            job.setProcessEnvironment(env);
            job.start(QStringLiteral(VORNEXA_EXE), c.arguments);
            QVERIFY(job.waitForFinished(60000));
            QCOMPARE(job.exitCode(), c.code);
            QCOMPARE(QString::fromUtf8(job.readAllStandardOutput()), c.out);
            QCOMPARE(QString::fromUtf8(job.readAllStandardError()), c.err);
        }
        QCOMPARE(QString::fromUtf8(readBytes(table)), header + rows);
    }
};

VORNEXA_TEST_MAIN(TestMotion)
#include "tst_interp_motion.moc"
