#pragma once

#include "linerewrite.h"

#include <QByteArray>
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

// Every occurrence of `first` in `line` written as `second` and every occurrence of `second` as
// `first`, in one pass from left to right. Both are three characters; the search ignores case and
// the words are written as given. Nothing else of the line changes, whatever bytes it holds.
QByteArray swapWords(const QByteArray &line, const QByteArray &first, const QByteArray &second);

// One line of a Mirror run: the number after the letter's first occurrence (case ignored) becomes
// 2 * m - v, written with the output picture, as Operations writes it; then, when ticked, G02 and
// G03 are swapped, then G41 and G42, anywhere on the line. A line without the letter still has its
// words swapped.
LineResult rewriteLine(const MirrorSettings &settings, const QByteArray &line, const LineRules &rules);

} // namespace tools
