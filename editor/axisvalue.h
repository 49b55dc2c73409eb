#pragma once

#include "tessarc_export.h"

#include <QByteArrayView>
#include <QString>
#include <array>

namespace tessarc {

// The number written after an address letter on a line: { value, characters taken after the
// letter (spaces included), 1 when the letter occurs and 0 when it does not }.
using AxisValue = std::array<double, 3>;

// Reads the number after the first occurrence of `gcaxis` (case ignored) in `strLine`.
// `gcaxis` is changed to the one letter used: its first character once surrounding spaces are
// removed. The letter is found at any position of the line.
TESSARC_EXPORT AxisValue getAxisValue(QString &gcaxis, const QString &strLine);

// The value of a decimal text such as "-1.5", "+.25" or "3.", read with a point whatever the
// locale; 0 when it is none.
TESSARC_EXPORT double decimalValue(QByteArrayView text);

// True for the characters that continue a number after its letter: space, sign, point, digits.
TESSARC_EXPORT bool isAxisNumberChar(QChar ch);

} // namespace tessarc
