#pragma once

#include "linerewrite.h"
#include "numberwriter.h"
#include "wordscan.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace tools {

// The Mirror window's own fields: one letter's values reflected about a position, and the
// direction words that a mirrored path swaps.
struct MirrorSettings
{
    QString axis;                  // txtAxis: the address letter
    QString value;                 // txtValue: the mirror position, as typed
    bool swapArcs = true;          // g02g03: "G02 <--> G03"
    bool swapCompensation = true;  // g41g42: "G41 <--> G42"
};

// The window's own checks before a run: nothing when the fields can run, else `textNull` (the
// TEXTNULL text) for an empty or blank letter or a position that is empty or not numeric.
std::optional<QString> checkFields(const MirrorSettings &settings, const QString &textNull);

// One line of a Mirror run. The centre form of arcs lives here from line to line: offsets from
// the start point (G91.1, where a run starts) until a G90.1 word makes them positions.
//
// The value of the letter's first word becomes 2 * m - v, written with the output picture as
// Operations writes it. Mirroring X, Y or Z also mirrors the arc centre word of that axis (I, J or
// K) on the same line: negated while centres are offsets, 2 * m - v while they are positions. When
// ticked, the G words 2 and 3 (G2, g02, G03, ...) swap, and so do G41 and G42: the digit is
// changed in place, so the word keeps its case and form. R words stay. Only words change: nothing
// inside a comment, a parameter or an expression, nor a longer word (G20, G021). A line whose
// first word of the letter or of its centre letter holds an expression cannot be mirrored: it is
// written back as it was and gives Expression.
class MirrorWork
{
public:
    MirrorWork(const MirrorSettings &settings, const LineRules &rules);
    LineFault operator()(QByteArrayView line, QByteArray &out);

private:
    MirrorSettings m_settings;
    LineRules m_rules;
    NumberWriter m_writer;
    WordFinder m_letter;
    WordFinder m_centre; // I, J or K for X, Y or Z; no letter otherwise
    double m_position = 0.0;
    bool m_absoluteCentres = false;
    QByteArray m_buffer;
};

} // namespace tools
