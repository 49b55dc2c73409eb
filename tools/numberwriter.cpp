#include "numberwriter.h"

#include "numbers.h"

#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace tools {

NumberWriter::NumberWriter(const QString &picture) : m_picture(picture)
{
    static const QRegularExpression simple(QStringLiteral("^(0+)(\\.(0*)(#*))?$"));
    const QRegularExpressionMatch m = simple.match(picture);
    if (!m.hasMatch())
        return;
    m_integerZeros = static_cast<int>(m.capturedLength(1));
    m_point = m.capturedLength(2) > 0;
    m_zeros = static_cast<int>(m.capturedLength(3));
    m_hashes = static_cast<int>(m.capturedLength(4));
    // The longest text: a sign, the integer digits or zeros, the point and every decimal place.
    const qsizetype longest = 2 + std::max<qsizetype>(kWidestInteger, m.capturedLength(1)) + m.capturedLength(3)
        + m.capturedLength(4);
    m_direct = longest <= kLongestNumber;
}

bool NumberWriter::append(double value, QByteArray &out) const
{
    if (!std::isfinite(value))
        return false;
    if (!m_direct) {
        out.append(functions::formatNumber(value, m_picture).toLatin1());
        return true;
    }
    char text[kLongestNumber];
    out.append(text, write(value, text));
    return true;
}

int NumberWriter::write(double value, char *out) const
{
    if (!m_direct || !std::isfinite(value))
        return -1;
    const int places = m_zeros + m_hashes;
    // Most values a program holds are small enough that |value| * 10^places, rounded to a whole
    // number, gives the digits at once: when that product stays below 10^12 its 15-digit decimal
    // form differs from it by less than 0.0005, so rounding either one gives the same whole
    // number unless the product lies within 0.001 of a half. Those few go the long way below.
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (places <= 22) {
        const double scaledValue = std::fabs(value) * kPowers[places];
        const double whole = std::floor(scaledValue);
        const double fraction = scaledValue - whole;
        if (scaledValue < 1e12 && std::fabs(fraction - 0.5) > 0.001) {
            const auto rounded = static_cast<unsigned long long>(whole) + (fraction > 0.5 ? 1 : 0);
            char text[32];
            const int lead = places + 1;
            std::memset(text, '0', sizeof text);
            char digits[24];
            const auto done = std::to_chars(digits, digits + sizeof digits, rounded);
            const int count = static_cast<int>(done.ptr - digits);
            const int length = count > lead ? count : lead;
            std::memcpy(text + (length - count), digits, static_cast<size_t>(count));
            return writeDigits(text, length, places, value < 0, out);
        }
    }
    // The value's decimal form of 15 significant digits: d.dddddddddddddde[+-]x...
    char form[40];
    const auto formed = std::to_chars(form, form + sizeof form, std::fabs(value), std::chars_format::scientific, 14);
    char significant[15];
    significant[0] = form[0];
    std::memcpy(significant + 1, form + 2, 14);
    const char *e = static_cast<const char *>(std::memchr(form, 'e', static_cast<size_t>(formed.ptr - form)));
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), formed.ptr, exponent);

    // The value times 10^places as digits, rounded half away from zero on the 15-digit form.
    const int kept = exponent + 1 + places;
    // Room for every digit of a direct picture (kept <= kWidestInteger - 1 + places), and
    // scaled[0] takes a carry out of the first digit.
    char scaled[kLongestNumber + 2];
    int length = 0;
    int roundDigit = 0;
    if (kept > 0) {
        for (int i = 0; i < kept; ++i)
            scaled[1 + i] = i < 15 ? significant[i] : '0';
        length = kept;
        if (kept < 15)
            roundDigit = significant[kept] - '0';
    } else if (kept == 0) {
        roundDigit = significant[0] - '0';
    }
    char *digits = scaled + 1;
    if (roundDigit >= 5) {
        int i = length;
        while (i > 0 && digits[i - 1] == '9') {
            digits[i - 1] = '0';
            --i;
        }
        if (i == 0) {
            --digits;
            digits[0] = '1';
            ++length;
        } else {
            ++digits[i - 1];
        }
    }
    // At least one integer digit (perhaps zero) before the decimal places.
    char padded[kLongestNumber + 2];
    int lead = places + 1 - length;
    if (lead < 0)
        lead = 0;
    std::memset(padded, '0', static_cast<size_t>(lead));
    std::memcpy(padded + lead, digits, static_cast<size_t>(length));
    return writeDigits(padded, length + lead, places, value < 0, out);
}

int NumberWriter::writeDigits(const char *digits, int length, int places, bool negative, char *out) const
{
    char *const start = out;
    const char *integerDigits = digits;
    int integerCount = length - places;
    const char *decimals = digits + integerCount;
    while (integerCount > 0 && integerDigits[0] == '0') {
        ++integerDigits;
        --integerCount;
    }
    bool anyDigit = integerCount > 0;
    for (int i = 0; i < places && !anyDigit; ++i)
        anyDigit = decimals[i] != '0';
    int shown = places;
    while (shown > m_zeros && decimals[shown - 1] == '0')
        --shown;

    if (negative && anyDigit)
        *out++ = '-';
    for (int i = integerCount; i < m_integerZeros; ++i)
        *out++ = '0';
    std::memcpy(out, integerDigits, static_cast<size_t>(integerCount));
    out += integerCount;
    if (m_point) {
        *out++ = '.';
        std::memcpy(out, decimals, static_cast<size_t>(shown));
        out += shown;
    }
    return static_cast<int>(out - start);
}

} // namespace tools
