#pragma once

#include "tessarc_export.h"
#include "words.h"

#include <QByteArrayView>
#include <QString>
#include <array>

namespace tessarc {

// The first word of an address letter on a line: { its value, characters of its number after the
// letter (spaces inside it included, none after it), 1 when the line holds a word of the letter
// and 0 when it does not }.
using AxisValue = std::array<double, 3>;

// Reads the first word of the letter `gcaxis` (case ignored) in `strLine` with `words`: never a
// letter inside a comment, a parameter name, an expression or another word, nor one followed by
// no number. `gcaxis` is changed to the one letter used: its first character once surrounding
// spaces are removed. Without a letter there is no word.
TESSARC_EXPORT AxisValue getAxisValue(QString &gcaxis, const QString &strLine,
                                      const WordReader &words = WordReader({}, true));

} // namespace tessarc
