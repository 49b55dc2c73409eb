#pragma once

#include <QByteArray>
#include <QString>

namespace tools {

// A number picture prepared once: append() writes a value exactly as functions::formatNumber does.
// The pictures the Options window makes ("0." then zeros then "#"s, with any number of leading
// zeros before the point) are written directly when every value's text fits kLongestNumber
// characters; any other picture, however long, goes through formatNumber.
class NumberWriter
{
public:
    explicit NumberWriter(const QString &picture);
    // Appends the value's text to `out`; false (and nothing appended) when the value is not finite.
    bool append(double value, QByteArray &out) const;
    // Whether the picture is written directly, by write().
    bool direct() const { return m_direct; }
    // The most characters write() gives.
    static constexpr int kLongestNumber = 512;
    // The most integer digits a finite double has (1.8e308), with one to spare for a carry.
    static constexpr int kWidestInteger = 310;
    // For a picture written directly: writes the value's text to `out` (room for kLongestNumber
    // characters) and gives its length; -1 when the value is not finite or the picture is not direct.
    int write(double value, char *out) const;

private:
    // Writes digits[0 .. length) as the value into `out` and gives the length written: the last
    // `places` digits are the decimal places, and there is at least one digit before them.
    int writeDigits(const char *digits, int length, int places, bool negative, char *out) const;

    QString m_picture;
    bool m_direct = false;
    bool m_point = false;
    int m_integerZeros = 0;
    int m_zeros = 0;
    int m_hashes = 0;
};

} // namespace tools
