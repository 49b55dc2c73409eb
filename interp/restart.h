#pragma once

#include "linesource.h"
#include "machinesetup.h"
#include "motion.h"

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// A program that goes on from one of its lines after a stop (a broken tool, a power cut, an
// alarm): the program's header, the state the program had built up before that line written out
// as blocks, a safe approach to where the line starts, then the program's own lines from there to
// its end. Free of widgets and of the store: it reads the program from a LineSource.
namespace interp {

// How high above the start point the approach comes down at rapid, before it feeds: 5 mm, or
// 0.2 in for an inch program.
constexpr double kRestartClearance = 5.0;
constexpr double kRestartClearanceInches = 0.2;
// The feed of the approach's last move when the program has none in force there (mm/min).
constexpr double kRestartApproachFeed = 100.0;

// One run of the restart program: a line of its own (`count` 0), or `count` lines from `first` of
// the program (`file` empty) or of a subroutine's file.
struct RestartPiece
{
    QByteArray text;
    QString file;
    qint64 first = 0;
    qint64 count = 0;
    // For lines of a subroutine's file: the program's line the moves of the original run are
    // told under (the call's).
    qint64 toldAs = 0;
};

struct RestartPlan
{
    bool ok = false;
    QString refusal;   // why there is no restart from that line
    qint64 line = 0;   // the line it starts at ...
    int pass = 1;      // ... the how-manieth time the run reaches it
    QString where;     // "line 40", or "line 40, pass 2 (in o<side>, called from line 12)"
    ModalState state;  // in force before the line
    std::array<double, kAxes> start{}; // where the line's first move starts, program coordinates (mm)
    QList<QByteArray> preamble;        // the header, the state and the approach, as shown before it goes out
    QList<RestartPiece> pieces;        // the whole restart program, the preamble's lines first
    qint64 approachLines = 0;          // the preamble's lines that bring the tool to the start
    qint64 firstOfProgram = 0;         // the restart program's first line after the preamble
    qint64 retractLine = 0;            // the restart program's line of the machine's retract block
    QList<Move> retract;               // the moves of the retract block
    QList<Move> approach;              // the moves from there to the start
    qint64 movesCompared = 0;          // the moves of the original run the restart was found to make alike
};

// Builds the restart from `line` (its `pass`-th run, from 1) of `program`, and proves it: the
// restart program is run through the interpreter beside the program's own run from that line, and
// every move they make must be alike; otherwise it is refused with the first difference. Refused
// too: a line the run never reaches, a line with cutter compensation in force (entering it
// mid-path is unsafe), a line inside a thread. `progress` is told the lines followed and may stop
// the work by giving false.
RestartPlan planRestart(LineSource &program, const Setup &setup, const MachineSetup &machine, qint64 line, int pass = 1,
                        const std::function<bool(qint64 done)> &progress = {});

// The restart program's lines: its own, and the program's (read through `program`) and those of
// subroutine files, in order.
class RestartLines : public LineSource
{
public:
    RestartLines(LineSource &program, const QList<RestartPiece> &pieces);
    qint64 lineCount() const override { return m_total; }
    QByteArrayView line(qint64 number) override;
    // The piece line `number` comes from.
    const RestartPiece &pieceOf(qint64 number) const;
    // The program's line the original run tells line `number`'s moves under; 0 for a line of the
    // restart's own.
    qint64 originOf(qint64 number) const;

private:
    qsizetype indexOf(qint64 number) const;

    LineSource &m_program;
    QList<RestartPiece> m_pieces;
    QList<qint64> m_starts; // each piece's first line in the restart program
    qint64 m_total = 0;
    QHash<QString, std::shared_ptr<TextLines>> m_files;
};

// Writes the restart program to `out`, each line ended by `end`. false with `error` set when a
// write fails or `progress` (told the lines written) stops it.
bool writeRestart(LineSource &program, const RestartPlan &plan, QIODevice &out, const QByteArray &end, QString &error,
                  const std::function<bool(qint64 done, qint64 total)> &progress = {});

} // namespace interp
