#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The number routines every tool shares: reading numeric text and writing numbers with a picture.
namespace functions {

// The numeric reading of a text, the one rule wherever a text becomes a number. Spaces, tabs and
// line feeds anywhere are ignored. An optional sign, digits with at most one point, then an
// optional exponent ("E" or "D", either case, an optional sign and digits); or "&H" with
// hexadecimal digits, or "&O" with octal digits, read as whole numbers. Reading stops at the first
// character that does not continue the number and what was read so far is the result; a text with
// no number at its start reads as 0. An exponent too large for a double reads as infinity.
double leadingNumber(QStringView text);
// The same reading of bytes (Latin-1), as found on a program line.
double leadingNumber(QByteArrayView text);

// Whether a text field holds a number: once leading and trailing spaces are removed, the whole text
// is an optionally signed number with at least one digit, at most one point and an optional
// exponent, or one of the "&H" / "&O" forms. The empty text is not numeric, and neither is a number
// too large for a double.
bool isNumeric(QStringView text);

// Writes `value` with a number picture such as "0.####" or "0.00". "0" is a digit always shown,
// "#" a digit shown only when significant, the first "." the decimal point. The value is rounded
// to as many decimal places as the picture has placeholders after the point, halves away from zero,
// on its decimal form of 15 significant digits. Integer digits are written in full, with leading
// zeros up to the count of "0" before the point; decimal places held by "#" are dropped from the
// right while they are zero; the point is written whenever the picture has one ("0.####" writes 2
// as "2."). A negative value gets a leading "-", unless every digit written is zero.
// Any other character of the picture is literal text, written where it stands: in the integer
// part always before the first placeholder and later only once a digit has been written; in the
// decimal part when a digit follows it or no placeholder does. A ";" ends the picture (only its
// first section is used). The result has no leading or trailing spaces. A value that is not
// finite has no digits to write and gives the empty text.
QString formatNumber(double value, QStringView picture);

} // namespace functions
