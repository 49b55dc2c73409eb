#pragma once

#include "block.h"
#include "motion.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>
#include <optional>

// What a machine is, beyond the serial link of its profile: the dialect it reads, how far and how
// fast each axis goes, how long a tool change takes, the N words it takes, how it retracts safely,
// the spindle's top speed and whether it is a lathe. Kept in a file of its own beside the profile
// (the profile's bytes never change), as lines of "key=value" text a person can read.
namespace interp {

struct AxisSetup
{
    // Travel in machine coordinates (mm, degrees for A B C); no limit unless `limited`.
    bool limited = false;
    double min = 0.0;
    double max = 0.0;
    double rapid = 0.0;    // mm/min (degrees/min); 0: the default rapid rate
    double maxFeed = 0.0;  // mm/min; 0: no limit
    double accel = 0.0;    // mm/s²; 0: the default acceleration
    bool operator==(const AxisSetup &o) const = default;
};

// How the DNC server serves the machine (comm/dncstation.h): whether it does, where its programs
// and captures are, how a request is told from a program, and how captures are filed.
struct DncSetup
{
    bool enabled = false;         // served by `vornexa --dnc` without being named
    QByteArray programs;          // the folder requested programs come from; empty: dnc/<machine>
    QByteArray received;          // the folder captures are filed in; empty: dnc/<machine>/received
    QByteArray extension = ".nc"; // the machine's file extension
    int requestLines = 5;         // the first lines of what arrives that may hold a request
    double requestDelay = 2.0;    // seconds from a request to the program, for the control to get ready
    double quietSeconds = 10.0;   // seconds of silence that end what a machine sends
    QByteArray fileName = "number"; // how a capture is named: "number" (O1234) or "name" (<NAME> first)
    int digits = 4;               // program numbers padded to this many digits
    int backups = 3;              // earlier captures of a name kept as NAME.1, NAME.2, ...
    bool dripFeed = false;        // sends paced by XON/XOFF whatever the profile's handshake
    // Request patterns, tried in order: "how|folder|expression", where how is name (the name as
    // given), extension (with the machine's extension) or number (a padded program number), the
    // folder is empty for the machine's programs, and the expression's first group is the name.
    std::array<QByteArray, 8> requests{
        QByteArray(R"(name||\(PRG=([^)]+)\))"),
        QByteArray(R"(extension||\(REQ\s+([^)\s]+)\s*\))"),
        QByteArray(R"(number||^O0*9999\b[^(]*\(\s*O?(\d+)\s*\))"),
    };
    bool operator==(const DncSetup &o) const = default;
};

struct MachineSetup
{
    Dialect dialect = Dialect::LinuxCnc;
    std::array<AxisSetup, kAxes> axes{}; // X Y Z A B C U V W
    double defaultRapid = 5000.0;        // mm/min, for an axis with no rapid rate of its own
    double defaultAccel = 500.0;         // mm/s², for an axis with no acceleration of its own
    double toolChangeSeconds = 0.0;
    int nDigits = 0;                     // the most digits an N word may have; 0: no limit
    double spindleMax = 0.0;             // rpm; 0: no limit
    double arcTolerance = 0.002;         // mm an arc's end may lie off its circle
    bool lathe = false;                  // X words are diameters (G7) from the start
    QByteArray retract = "G53 G0 Z0";    // the block that takes the tool clear before a restart's approach
    QByteArray toolChange = "T# M6";     // how a tool is changed: # stands for the tool's number
    DncSetup dnc;
    bool operator==(const MachineSetup &o) const = default;

    // An axis's rates with the defaults filled in.
    double rapidOf(int axis) const;
    double accelOf(int axis) const;

    // The setup as its file holds it: every key, in one order, each value written the shortest way
    // that reads back the same. Decoding it gives the same setup.
    QByteArray encode() const;
    // A setup file read back. A key it does not know, a value that is not one, or a line that is not
    // "key=value" leaves `error` naming the line and gives nothing; keys left out keep their defaults.
    static std::optional<MachineSetup> decode(QByteArrayView bytes, QString &error);

    // Why the setup cannot be a machine's, naming the first value out of its range by its key
    // ("X.rapid cannot be negative (it is -5)"), or nothing when every value is sane: no rate,
    // acceleration, time or speed below 0, the default rates and the arc tolerance above 0, every
    // number finite, N digits 0 to kMostNDigits, a limited axis's min not above its max, and the
    // retract and tool-change blocks one line each. decode() refuses what this refuses.
    std::optional<QString> problem() const;
};

// The most digits an N word may be given.
constexpr int kMostNDigits = 20;

// A request pattern's three parts (how, folder, expression); one part when it has no two "|".
QList<QByteArray> splitRequest(const QByteArray &pattern);

// The letter of axis `i` (0 ... kAxes-1): X Y Z A B C U V W.
char axisLetter(int i);

} // namespace interp
