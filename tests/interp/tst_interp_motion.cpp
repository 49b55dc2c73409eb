#include "motion.h"

#include "scriptrun.h"
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

// The moves and findings of the whole program.
std::pair<QList<interp::Move>, QList<interp::Finding>> run(const QByteArray &program, const interp::Setup &setup = {})
{
    interp::Interpreter interpreter(setup);
    interp::TextLines lines(program);
    std::pair<QList<interp::Move>, QList<interp::Finding>> ran;
    while (interpreter.step(lines, ran.first, ran.second)) {
    }
    return ran;
}

Followed follow(const QByteArray &program)
{
    const auto [moves, findings] = run(program);
    Followed followed;
    for (const interp::Move &move : moves)
        followed.rows.append(interp::moveRow(move));
    for (const interp::Finding &finding : findings)
        followed.findings.append(QStringLiteral("%1: %2").arg(finding.line).arg(finding.reason));
    return followed;
}

// A move in short: "line kind x y z", then an arc's "@ cx cy cz turn", the offsets "+ ox oy oz"
// and the tool length "tlo v" where they are not 0.
QStringList brief(const QByteArray &program, QStringList *findings = nullptr, const interp::Setup &setup = {})
{
    const auto [moves, found] = run(program, setup);
    static const char *const kinds[] = {"rapid", "feed", "arc", "dwell", "probe"};
    const auto n = [](double v) {
        QString t = QString::number(v, 'f', 4);
        while (t.endsWith(QLatin1Char('0')))
            t.chop(1);
        if (t.endsWith(QLatin1Char('.')))
            t.chop(1);
        return t == QLatin1String("-0") ? QStringLiteral("0") : t;
    };
    QStringList out;
    for (const interp::Move &m : moves) {
        QString text = QStringLiteral("%1 %2 %3 %4 %5").arg(m.line).arg(QLatin1String(kinds[static_cast<int>(m.kind)]), n(m.end[0]), n(m.end[1]), n(m.end[2]));
        if (m.kind == interp::MoveKind::Arc)
            text += QStringLiteral(" @ %1 %2 %3 %4").arg(n(m.centre[0]), n(m.centre[1]), n(m.centre[2])).arg(m.turn);
        if (m.offset != std::array<double, 3>{})
            text += QStringLiteral(" + %1 %2 %3").arg(n(m.offset[0]), n(m.offset[1]), n(m.offset[2]));
        if (m.toolLength != 0.0)
            text += QStringLiteral(" tlo %1").arg(n(m.toolLength));
        out.append(text);
    }
    if (findings) {
        for (const interp::Finding &f : found)
            findings->append(QStringLiteral("%1: %2").arg(f.line).arg(f.reason));
    } else if (!found.isEmpty()) {
        out.append(QStringLiteral("finding %1: %2").arg(found[0].line).arg(found[0].reason));
    }
    return out;
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

    // Parameters, expressions, the program's flow, frames and offsets, canned cycles: the moves
    // in short, worked out by hand (the cycles' as LinuxCNC's interpreter makes them).
    void flow_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QStringList>("moves");
        QTest::newRow("parameters and expressions; a setting reads after its line")
            << QByteArray("#1=2 #<depth>=-1.5\nG0 X[#1*3] Y#1\nG1 Z#<depth> F[100/2]\n"
                          "G0 X[atan[1]/[1]] Y[2**3] Z[7 mod 3]\n#1=5 X#1\nY[-#1 + sin[30]*2]")
            << QStringList{"2 rapid 6 2 0", "3 feed 6 2 -1.5", "4 rapid 45 8 1", "5 rapid 2 8 1", "6 rapid 2 -4 1"};
        QTest::newRow("a subroutine called in a loop, with its argument")
            << QByteArray("o<hole> sub\nG0 X#1 Y0\nG1 Z-1 F10\nG0 Z1\no<hole> endsub\n#2=0\n"
                          "o1 while [#2 lt 3]\no<hole> call [#2*10]\n#2=[#2+1]\no1 endwhile\nM2\nG0 X99")
            << QStringList{"2 rapid 0 0 0", "3 feed 0 0 -1", "4 rapid 0 0 1", "2 rapid 10 0 1", "3 feed 10 0 -1",
                           "4 rapid 10 0 1", "2 rapid 20 0 1", "3 feed 20 0 -1", "4 rapid 20 0 1"};
        QTest::newRow("conditions, repeat, do while with break; #1 of the caller kept across a call")
            << QByteArray("#1=2\no1 if [#1 eq 1]\nG0 X1\no1 elseif [#1 eq 2]\nG0 X2\no1 else\nG0 X3\no1 endif\n"
                          "o2 repeat [2]\nG91 G0 Y1\no2 endrepeat\nG90\no3 do\nG0 Z#1\n#1=[#1-1]\no4 if [#1 lt 1]\n"
                          "o3 break\no4 endif\no3 while [1]\no5 call [7]\nG0 X#1\no5 sub\n#1=3\no5 endsub")
            << QStringList{"5 rapid 2 0 0", "10 rapid 2 1 0", "10 rapid 2 2 0", "14 rapid 2 2 2", "14 rapid 2 2 1",
                           "21 rapid 0 2 1"};
        QTest::newRow("M98 with repeats, M99 back")
            << QByteArray("%\nG0 X0\nM98 P100 L2\nG0 Y5\nM30\nO100\nG91 G0 X1\nM99\n%")
            << QStringList{"2 rapid 0 0 0", "7 rapid 1 0 0", "7 rapid 2 0 0", "4 rapid 2 5 0"};
        QTest::newRow("a numbered subroutine the program comes upon before its end is passed over")
            << QByteArray("G0 X1\nM98 P6\nG0 X3\nO6\nG91 G0 Y1\nG90\nM99\nM2")
            << QStringList{"1 rapid 1 0 0", "5 rapid 1 1 0", "3 rapid 3 1 0"};
        QTest::newRow("frames, G10, G92 and G53 combined; inches")
            << QByteArray("G10 L2 P2 X10 Y20\nG55 G0 X1 Y1\nG92 X0 Y0\nG0 X2\nG92.1\nG0 X2\nG10 L20 P0 X0\nG0 Y0\n"
                          "G53 G0 X0\nG54 G0 X0 Y0\nG20 G92 X1\nG0 X2")
            << QStringList{"2 rapid 1 1 0 + 10 20 0", "4 rapid 2 0 0 + 11 21 0", "6 rapid 2 1 0 + 10 20 0",
                           "8 rapid 0 0 0 + 12 20 0", "9 rapid -12 0 0 + 12 20 0", "10 rapid 0 0 0",
                           "12 rapid 50.8 0 0 + -25.4 0 0"};
        QTest::newRow("tool length offsets: given, then cancelled")
            << QByteArray("G43.1 Z2\nG0 Z1\nG49 G0 Z1")
            << QStringList{"2 rapid 0 0 1 tlo 2", "3 rapid 0 0 1"};
        QTest::newRow("G28 through a point to its stored place, G30 straight there")
            << QByteArray("G0 X1 Y2 Z3\nG28.1\nG0 X0 Y0 Z0\nG28 Z1\nG30.1\nG0 X5\nG30")
            << QStringList{"1 rapid 1 2 3", "3 rapid 0 0 0", "4 rapid 0 0 1", "4 rapid 0 0 3", "6 rapid 5 0 3",
                           "7 rapid 0 0 3"};
        QTest::newRow("lathe: diameters with G7, radii with G8; a probe and a thread")
            << QByteArray("G18 G7 G0 X10 Z0\nG1 X20 F100\nG8 G0 X20\nG38.2 Z-10 F5\nG33 Z-20 K1.5")
            << QStringList{"1 rapid 5 0 0", "2 feed 10 0 0", "3 rapid 20 0 0", "4 probe 20 0 -10", "5 feed 20 0 -20"};
        QTest::newRow("G76 threads in passes to K, with an entry taper")
            << QByteArray("M3 S100\nG18 G0 X5 Z5\nG76 P0.05 Z-1 I-0.075 J0.02 K0.045 L1 E0.045")
            << QStringList{"2 rapid 5 0 5",
                           "3 rapid 5.025 0 5", "3 feed 4.95 0 5", "3 feed 4.905 0 4.955", "3 feed 4.905 0 -1", "3 rapid 5.025 0 -1",
                           "3 rapid 5.005 0 5", "3 feed 4.93 0 5", "3 feed 4.885 0 4.955", "3 feed 4.885 0 -1", "3 rapid 5.005 0 -1",
                           "3 rapid 5 0 5", "3 feed 4.925 0 5", "3 feed 4.88 0 4.955", "3 feed 4.88 0 -1", "3 rapid 5 0 -1",
                           "3 rapid 5 0 -1"};
        QTest::newRow("G81 from above R, G99 back to R, L2 on one spot")
            << QByteArray("G0 Z5\nG99 G81 X1 Y1 Z-1 R2 F10 L2")
            << QStringList{"1 rapid 0 0 5", "2 rapid 1 1 5", "2 rapid 1 1 2", "2 feed 1 1 -1", "2 rapid 1 1 2",
                           "2 rapid 1 1 2", "2 feed 1 1 -1", "2 rapid 1 1 2"};
        QTest::newRow("G98 from below R: up to R first; the next hole of the series")
            << QByteArray("G0 Z1\nG98 G81 X1 Y1 Z-1 R2 F10\nX2\nG80 G0 Z0.5\nG81 X3 Z-1 R0.2")
            << QStringList{"1 rapid 0 0 1", "2 rapid 0 0 2", "2 rapid 1 1 2", "2 feed 1 1 -1", "2 rapid 1 1 2",
                           "3 rapid 1 1 2", "3 rapid 2 1 2", "3 feed 2 1 -1", "3 rapid 2 1 2", "4 rapid 2 1 0.5",
                           "5 rapid 3 1 0.5", "5 rapid 3 1 0.2", "5 feed 3 1 -1", "5 rapid 3 1 0.5"};
        QTest::newRow("G91 cycle: R from the start, Z from R, repeats step on")
            << QByteArray("G0 Z5\nG91 G81 X1 Y0 Z-3 R-1 L2 F10")
            << QStringList{"1 rapid 0 0 5", "2 rapid 1 0 5", "2 rapid 1 0 4", "2 feed 1 0 1", "2 rapid 1 0 4",
                           "2 rapid 2 0 4", "2 feed 2 0 1", "2 rapid 2 0 4"};
        QTest::newRow("G83 pecks out to R, G73 breaks chips; inches")
            << QByteArray("G20 G0 Z1\nG83 X1 Y0 Z-0.5 R0.1 Q0.3 F10\nG98 G73 X2 Z-0.5 R0.1 Q0.3")
            << QStringList{"1 rapid 0 0 25.4", "2 rapid 25.4 0 25.4", "2 rapid 25.4 0 2.54", "2 feed 25.4 0 -5.08",
                           "2 rapid 25.4 0 2.54", "2 rapid 25.4 0 -4.826", "2 feed 25.4 0 -12.7", "2 rapid 25.4 0 2.54",
                           "3 rapid 50.8 0 25.4", "3 rapid 50.8 0 2.54", "3 feed 50.8 0 -5.08", "3 rapid 50.8 0 -4.826",
                           "3 feed 50.8 0 -12.7", "3 rapid 50.8 0 25.4"};
        QTest::newRow("G82 dwells, G85 feeds out, G18 drills along Y")
            << QByteArray("G0 Z5\nG82 X1 Y0 Z-1 R2 P0.5 F10\nG85 X2 Z-1 R2\nG18 G80 G0 X0 Y5 Z0\nG81 X1 Z2 Y-1 R2")
            << QStringList{"1 rapid 0 0 5", "2 rapid 1 0 5", "2 rapid 1 0 2", "2 feed 1 0 -1", "2 dwell 1 0 -1",
                           "2 rapid 1 0 2", "3 rapid 2 0 2", "3 feed 2 0 -1", "3 feed 2 0 2", "3 rapid 2 0 2",
                           "4 rapid 0 5 0", "5 rapid 1 5 2", "5 rapid 1 2 2", "5 feed 1 -1 2", "5 rapid 1 2 2"};
        QTest::newRow("G87 backbores off centre")
            << QByteArray("M3 S100\nG0 Z5\nG98 G87 X1 Y1 Z-1 R2 I0.5 J0.2 K3 F10")
            << QStringList{"2 rapid 0 0 5", "3 rapid 1 1 5", "3 rapid 1 1 2", "3 rapid 1.5 1.2 2", "3 rapid 1.5 1.2 -1",
                           "3 rapid 1 1 -1", "3 feed 1 1 3", "3 feed 1 1 -1", "3 rapid 1.5 1.2 -1", "3 rapid 1.5 1.2 5",
                           "3 rapid 1 1 5"};
    }
    void flow()
    {
        QFETCH(QByteArray, program);
        QTEST(brief(program), "moves");
    }

    // The Fanuc family's and GRBL's ways, and where they differ from LinuxCNC's.
    void dialects_data()
    {
        QTest::addColumn<QString>("dialect");
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<QStringList>("findings");
        QTest::newRow("Fanuc: WHILE/DO/END, G65 with arguments, IF GOTO, M98 P with its passes, G4 P in ms")
            << "fanuc"
            << QByteArray("%\nO1000 (MAIN)\n#1=0\nWHILE [#1 LT 2] DO1\nG0 X[#1*10] Y0\nG65 P2000 A5 B[#1]\n#1=#1+1\nEND1\n"
                          "IF [#1 EQ 2] GOTO 20\nG0 X99\nN20 G0 Y7\nM98 P20001\nG4 P500\nM30\nO2000\nG1 Z-#1 F100\n"
                          "G0 Z#2\nM99\nO0001\nG91 G0 X1\nG90\nM99\n%")
            << QStringList{"5 rapid 0 0 0", "16 feed 0 0 -5", "17 rapid 0 0 0", "5 rapid 10 0 0", "16 feed 10 0 -5",
                           "17 rapid 10 0 1", "11 rapid 10 7 1", "20 rapid 11 7 1", "20 rapid 12 7 1", "13 dwell 12 7 1"}
            << QStringList();
        QTest::newRow("Fanuc: IF THEN, G52, G4 X, a machine's own M code")
            << "fanuc" << QByteArray("#5=1\nIF [#5 EQ 1] THEN #6=4\nIF [#5 EQ 2] THEN #6=9\nG52 X#6\nG0 X1\nG4 X1.5\nM11 G0 Y1\nG52 X0\nG0 X1")
            << QStringList{"5 rapid 1 0 0 + 4 0 0", "6 dwell 1 0 0 + 4 0 0", "7 rapid 1 1 0 + 4 0 0", "9 rapid 1 1 0"}
            << QStringList{"7: M11 is the machine's own code, which moves nothing here"};
        QTest::newRow("GRBL: homing, a jog in its own modes, what GRBL does not know")
            << "grbl" << QByteArray("G0 X5\n$H\n?\nG0 X10 Y10\n$J=G91 X5 F500\nG1 X0 F100\nG81 X1 Z-1 R1\n#1=2\no1 sub")
            << QStringList{"1 rapid 5 0 0", "4 rapid 10 10 0", "5 feed 15 10 0", "6 feed 0 10 0"}
            << QStringList{"7: GRBL does not know G81; the line moves nothing",
                           "8: GRBL has no parameters or expressions; the line moves nothing",
                           "9: GRBL has no O-words; the line moves nothing"};
        QTest::newRow("LinuxCNC reads no Fanuc statement")
            << "linuxcnc" << QByteArray("GOTO 5\n#1=1+1") << QStringList()
            << QStringList{"1: 'oto' is not a value; the line moves nothing", "2: '+' is not a word's letter; the line moves nothing"};
    }
    void dialects()
    {
        QFETCH(QString, dialect);
        QFETCH(QByteArray, program);
        interp::Setup setup;
        setup.dialect = *interp::dialectNamed(dialect);
        QStringList findings;
        QTEST(brief(program, &findings, setup), "moves");
        QTEST(findings, "findings");
    }

    // A subroutine not in the program is read from its folder: LinuxCNC's by its name, the
    // Fanuc family's by its number; its moves are told as the calling line's.
    void subroutinesOfTheFolder()
    {
        writeTestFile(QStringLiteral("drill.ngc"), "o<drill> sub\nG0 X#1\nG1 Z-1 F10\no<drill> endsub\nM2\n");
        writeTestFile(QStringLiteral("O1234.nc"), "%\nO1234\nG91 G0 Y1\nM99\n%\n");
        interp::Setup setup;
        setup.subroutineFolder = testEnvironment().path(QString());
        QStringList findings;
        QCOMPARE(brief("G0 Z1\no<drill> call [5]\nG0 X0\no<gone> call", &findings, setup),
                 (QStringList{"1 rapid 0 0 1", "2 rapid 5 0 1", "2 feed 5 0 -1", "3 rapid 0 0 -1"}));
        QCOMPARE(findings, QStringList{QStringLiteral("4: o<gone> call: there is no subroutine o<gone> in the program or in %1; "
                                                      "the call is passed over").arg(QDir(setup.subroutineFolder).filePath(QStringLiteral("gone.ngc")))});
        setup.dialect = interp::Dialect::Fanuc;
        findings.clear();
        QCOMPARE(brief("G0 X1\nM98 P1234 L2\nG90 G0 X2", &findings, setup),
                 (QStringList{"1 rapid 1 0 0", "2 rapid 1 1 0", "2 rapid 1 2 0", "3 rapid 2 2 0"}));
        QCOMPARE(findings, QStringList());
    }

    // What cannot be followed is said with its line, and the line moves nothing: the next move
    // starts where the last followed one ended.
    void findings()
    {
        const std::pair<const char *, const char *> lines[] = {
            {"G0 X[1/0]", "a division by zero"}, {"G0 X[1+2", "an expression is not closed with ']'"},
            {"G0 X1 (to the", "a comment is not closed with ')'"}, {"G0 X#<nothere>", "the parameter #<nothere> has no value"},
            {"G0 X[foo[1]]", "foo is not a function"}, {"G0 X[sqrt[-4]]", "sqrt of -4"},
            {"#1=", "a value is missing at the end of the line"}, {"G0 X1 X2", "the letter X stands twice"},
            {"G0 G1 X1", "G0 and G1 are of one modal group"}, {"G5 X1 Y1 I1 J1 P1 Q1", "G5 is not followed"},
            {"G76 P1 Z-5 I-1 J0.1 K1", "the threading cycle G76 needs the XZ plane (G18)"},
            {"G10 L2 P1 R45", "a rotated frame (G10 with R) is not followed"},
            {"G10 L9 P1", "G10 needs L1, L2, L10, L11 or L20"}, {"G81 X5 Z-1 F10", "G81 needs its R word"},
            {"G83 X5 Z-1 R1 F10", "G83 needs a Q word above 0"}, {"G81 X5 Z2 R1 F10", "R is below the hole's bottom in G81"},
            {"M428", "M428 is not followed"}, {"G80 X5", "axis words with no motion in force (G0, G1, G2 or G3)"},
            {"G2 X20 R4.9 F10", "R 4.9 is too small to reach the end point"},
            {"G2 X10 R5 F10", "an R arc cannot end where it starts"},
            {"G2 X20 I3 F10", "the end point is not on the arc: its radius is 7 mm, the start's 3 mm"},
            {"G2 X20 F10", "an arc needs its centre (I, J or K) or its radius (R)"},
            {"G2 X20 I5 P1.5 F10", "P 1.5 is not a whole number of turns"}, {"G4", "G4 needs its time in a P word"}};
        for (const auto &[line, finding] : lines) {
            const Followed followed = follow("G0 X10\n" + QByteArray(line) + "\nG0 Y1");
            QCOMPARE(followed.findings, QStringList{QStringLiteral("2: ") + QLatin1String(finding) + QStringLiteral("; the line moves nothing")});
            QCOMPARE(followed.rows, (QStringList{row(1, "rapid", "10 0 0 0 0 0", kNoCentre, 17, 0, "0"),
                                                 row(3, "rapid", "10 1 0 0 0 0", kNoCentre, 17, 0, "0")}));
        }
    }

    // A move it can follow but a machine would refuse is said too, and still drawn; a call of a
    // subroutine that is not there is passed over; a flow it cannot follow ends the run, said.
    void findingsThatGoOn_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<QStringList>("findings");
        QTest::newRow("no feed rate")
            << QByteArray("G1 X1\nG2 X2 R1\nG81 X3 Z-1 R1") << QStringList{"1 feed 1 0 0", "2 arc 2 0 0 @ 1.5 -0.866 0 -1", "3 rapid 2 0 1", "3 rapid 3 0 1", "3 feed 3 0 -1", "3 rapid 3 0 1"}
            << QStringList{"1: a feed move with no feed rate (F)", "2: an arc with no feed rate (F)", "3: a canned cycle with no feed rate (F)"};
        QTest::newRow("a program of the machine's") << QByteArray("M100 G0 X1") << QStringList{"1 rapid 1 0 0"}
            << QStringList{"1: M100 runs a program of the machine's, which moves nothing here"};
        QTest::newRow("missing subroutine") << QByteArray("o<gone> call\nG0 X1") << QStringList{"2 rapid 1 0 0"}
            << QStringList{"1: o<gone> call: there is no subroutine o<gone> in the program; the call is passed over"};
        QTest::newRow("loop with no end") << QByteArray("o1 while [1]\nG0 X1") << QStringList{"2 rapid 1 0 0"}
            << QStringList{"1: o1 while has no end before the program's"};
        QTest::newRow("loop that never ends")
            << QByteArray("o1 do\nG91 G0 X1\no1 while [1]\nG0 Y1") << QStringList(50, QString())
            << QStringList{"3: o1 do has run 50 times; taken as a loop that never ends"};
        QTest::newRow("false condition with no end") << QByteArray("o1 if [0]\nG0 X1") << QStringList()
            << QStringList{"1: o1 if has no o1 endif"};
        QTest::newRow("end of no call") << QByteArray("G0 X1\no9 endsub\nG0 X2") << QStringList{"1 rapid 1 0 0"}
            << QStringList{"2: o9 endsub with no call of o9 under way"};
        QTest::newRow("M99 in the program") << QByteArray("G0 X1\nM99\nG0 X2") << QStringList{"1 rapid 1 0 0"}
            << QStringList{"2: M99 with no M98 call under way ends the program here"};
        QTest::newRow("tool not in the table") << QByteArray("G43 H7\nG0 Z1") << QStringList{"2 rapid 0 0 1"}
            << QStringList{"1: the tool table has no tool 7 for G43's H word; the line moves nothing"};
    }
    void findingsThatGoOn()
    {
        QFETCH(QByteArray, program);
        QFETCH(QStringList, moves);
        interp::Setup setup;
        setup.mostPasses = 50;
        setup.tools.insert(1, interp::ToolEntry{5.0, 0.0, 6.0});
        QStringList findings;
        const QStringList followed = brief(program, &findings, setup);
        if (moves.size() == 50 && moves[0].isEmpty())
            QCOMPARE(followed.size(), 50); // one move a pass, and no more
        else
            QCOMPARE(followed, moves);
        QTEST(findings, "findings");
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
        // Every tool the programs ask for, with no lengths: as ours reads them with no table.
        QByteArray table;
        for (int t = 1; t < 100; ++t)
            table += QByteArray("T") + QByteArray::number(t) + " P" + QByteArray::number(t) + " Z0 D0\n";
        const QString tools = writeTestFile(QStringLiteral("tools.tbl"), table);
        int compared = 0;
        for (const QString &name : corpus.entryList({"*.ngc", "*.nc", "*.gc"}, QDir::Files)) {
            const QByteArray text = readBytes(corpus.filePath(name));
            interp::Interpreter interpreter;
            interp::TextLines lines(text);
            QList<interp::Move> ours;
            QList<interp::Finding> findings;
            bool compensated = false;
            while (interpreter.step(lines, ours, findings))
                compensated = compensated || interpreter.state().modal.compensation != 400;
            if (!findings.isEmpty()) {
                qInfo("%s: %s", qPrintable(name), qPrintable(QStringLiteral("line %1: %2").arg(findings[0].line).arg(findings[0].reason)));
                continue;
            }
            // The reference moves the tool along a compensated path; ours is the programmed one.
            if (compensated) {
                qInfo("%s: cutter compensation, not compared", qPrintable(name));
                continue;
            }
            ours.removeIf([](const interp::Move &m) { return m.kind == interp::MoveKind::Dwell; });
            QProcess reference;
            reference.setProcessChannelMode(QProcess::MergedChannels);
            reference.start(rs274, {QStringLiteral("-t"), tools, QStringLiteral("-g"), corpus.filePath(name)});
            QVERIFY(reference.waitForFinished(120000));
            const QString output = QString::fromUtf8(reference.readAllStandardOutput());
            // A program with no end is followed to its last line all the same.
            if (reference.exitCode() != 0 && !output.contains(QLatin1String("File ended with no percent sign or program end"))) {
                qInfo("%s: not accepted by the reference", qPrintable(name));
                continue; // the reference refuses the program
            }
            static const QRegularExpression call(QStringLiteral("(STRAIGHT_TRAVERSE|STRAIGHT_FEED|ARC_FEED)\\(([^)]*)\\)"));
            double unit = 1.0; // mm a reference unit is
            qsizetype k = 0;
            for (const QString &line : output.split(QLatin1Char('\n'))) {
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
            qInfo("%s: %lld moves the same", qPrintable(name), static_cast<long long>(k));
            ++compared;
        }
        QVERIFY(compared > 0);
    }

    // vornexa --moves: the table on stdout or into a file written whole, the findings on stderr
    // and exit 1 with them or with an output it cannot write, 2 for a program that is not there.
    void theFormWithoutAWindow()
    {
        const QString program = writeTestFile(QStringLiteral("part.ngc"), "G21 G0 X1 Y2\r\nG1 Z-1 F100\r\nG5 X1\r\nT1 M6 G43\r\nG0 Z0\r\n");
        const QString tools = writeTestFile(QStringLiteral("tool.tbl"), "T1 P1 Z2.5 D6 ;end mill\n\nT2 P2 Z3\n");
        const QString uvw = writeTestFile(QStringLiteral("uvw.ngc"), "G0 X1 U2 (the U, V and W columns are shown)\n");
        const QString badTools = writeTestFile(QStringLiteral("bad.tbl"), "T1 P1 Z2.5\nP2 Z1\n");
        const QString table = testEnvironment().path(QStringLiteral("moves.tsv"));
        const QString header = interp::movesHeader() + QLatin1Char('\n');
        const QString rows = row(1, "rapid", "1 2 0 0 0 0", kNoCentre, 17, 0, "0") + QLatin1Char('\n') +
                             row(2, "feed", "1 2 -1 0 0 0", kNoCentre, 17, 0, "100") + QLatin1Char('\n');
        const auto lastRow = [&](const char *tlo) {
            QString last = row(5, "rapid", "1 2 0 0 0 0", kNoCentre, 17, 0, "100", 1);
            last.chop(1);
            return last + QLatin1String(tlo) + QLatin1Char('\n');
        };
        const QString finding = QStringLiteral("line 3: G5 is not followed; the line moves nothing\n");
        struct Case
        {
            QStringList arguments;
            int code;
            QString out;
            QString err;
        };
        const QList<Case> cases = {
            {{QStringLiteral("--moves"), program}, 1, header + rows + lastRow("0"), finding},
            {{QStringLiteral("--moves"), program, QStringLiteral("--tools"), tools, QStringLiteral("-o"), table}, 1, QString(), finding},
            {{QStringLiteral("--moves"), program, QStringLiteral("--dialect"), QStringLiteral("heidenhain")}, 2, QString(),
             QStringLiteral("vornexa: --dialect takes linuxcnc, fanuc or grbl.\nUsage: vornexa --moves PROGRAM [--dialect linuxcnc|fanuc|grbl] "
                            "[--tools TABLE] [-o OUTPUT]\nvornexa --help lists every form.\n")},
            {{QStringLiteral("--moves"), program, QStringLiteral("--tools"), badTools}, 2, QString(),
             QStringLiteral("vornexa: %1, line 2: a tool's line needs its T word.\n").arg(badTools)},
            {{QStringLiteral("--moves"), program, QStringLiteral("-o"), table + QStringLiteral(".d/moves.tsv")}, 1, QString(),
             QStringLiteral("vornexa: %1.d/moves.tsv cannot be written: No such file or directory\n").arg(table)},
            {{QStringLiteral("--moves"), uvw}, 0,
             interp::movesHeader(true) + QStringLiteral("\n1\trapid\t1\t0\t0\t0\t0\t0\t2\t0\t0\t\t\t\t17\t0\t0\t0\t0\t0\t0\t0\n"), QString()},
            {{QStringLiteral("--moves"), program + QStringLiteral(".gone")}, 2, QString(),
             QStringLiteral("vornexa: there is no program file %1.gone.\n").arg(program)},
        };
        for (const Case &c : cases) {
            ScriptRun job(c.arguments);
            QCOMPARE(job.exitCode(), c.code);
            QCOMPARE(job.out(), c.out);
            QCOMPARE(job.err(), c.err);
        }
        QCOMPARE(QString::fromUtf8(readBytes(table)), header + rows + lastRow("2.5"));
    }
};

VORNEXA_TEST_MAIN(TestMotion)
#include "tst_interp_motion.moc"
