#pragma once

#include "words.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>

// What a program's lines make the machine do, as RS274NGC reads them: the modal state a line
// leaves and the moves it makes. Free of widgets and of the store: it is handed one line at a time.
//
// Followed so far: G0, G1, G2, G3 (I/J/K and R forms, helical, full circles, P turns), G4, the
// planes G17/G18/G19, G20/G21, G90/G91, G90.1/G91.1, G94, and the codes that move nothing here
// (G40, G49, G54 as the frame in force with no offsets set, G61, G64, G80, the spindle, coolant,
// tool change and end codes). Anything else (another code, a parameter or an expression, an O-word,
// a frame or an offset) is a finding with its line and reason, and that line moves nothing: the
// position is never guessed.
namespace interp {

enum class MoveKind { Rapid, Feed, Arc, Dwell };

// One move. Positions are in program coordinates, in millimetres (an inch program converted);
// rotary axes in degrees.
struct Move
{
    MoveKind kind = MoveKind::Rapid;
    qint64 line = 0;
    std::array<double, 6> end{}; // X Y Z A B C
    // An arc's centre; its coordinate along the plane's normal is the start's.
    std::array<double, 3> centre{};
    int plane = 17;
    // An arc's direction and turns: -1 clockwise, 1 counter-clockwise, -2 or 2 with one extra
    // full turn (P2), and so on; 0 for other moves.
    int turn = 0;
    double feed = 0.0; // mm/min
    int tool = 0;      // the tool in the spindle
    double seconds = 0.0; // a dwell's time
};

struct Finding
{
    qint64 line = 0;
    QString reason;
    bool operator==(const Finding &o) const = default;
};

// The modal state, as a line leaves it.
struct ModalState
{
    bool inches = false;       // G20 (true) or G21
    bool incremental = false;  // G91 (true) or G90
    bool arcAbsolute = false;  // G90.1 (true) or G91.1
    int plane = 17;
    int motion = 80;           // 0, 1, 2, 3 or 80 (none)
    double feed = 0.0;         // mm/min
    int selectedTool = 0;      // T
    int tool = 0;              // in the spindle (M6)
    std::array<double, 6> position{};
};

class Interpreter
{
public:
    // Follows line `number`: its moves are appended to `moves`, what it cannot follow to `findings`.
    void follow(QByteArrayView line, qint64 number, QList<Move> &moves, QList<Finding> &findings);
    const ModalState &state() const { return m_state; }

private:
    ModalState m_state;
    QList<tessarc::Word> m_words; // the line's words; its room kept from line to line
};

// The moves as rows of a tab-separated table, with its header row first when `header`.
QString movesHeader();
QString moveRow(const Move &move);

} // namespace interp
