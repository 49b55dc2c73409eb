#include "numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace functions {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int digitIn(char c, int base)
{
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d < base ? d : -1;
}

// A number read from the start of a text: its value, where it ends and whether it holds a digit.
struct Scan
{
    double value = 0.0;
    std::size_t end = 0;
    bool number = false;
};

// "&H" or "&O" and the digits of that base; a whole number.
Scan scanBased(std::string_view s)
{
    Scan scan;
    const int base = (s[1] == 'h' || s[1] == 'H') ? 16 : 8;
    std::size_t i = 2;
    double value = 0.0;
    for (; i < s.size(); ++i) {
        const int d = digitIn(s[i], base);
        if (d < 0)
            break;
        value = value * base + d;
    }
    if (i > 2) {
        scan.value = value;
        scan.end = i;
        scan.number = true;
    }
    return scan;
}

// An optional sign, digits with at most one point, an optional exponent.
Scan scanDecimal(std::string_view s)
{
    Scan scan;
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    const std::size_t mantissaStart = i;
    bool point = false;
    int digits = 0;
    // Digits before the point once leading zeros are passed, and zeros after the point before the
    // first significant digit: together with the exponent they tell overflow from underflow.
    long long integerDigits = 0;
    long long fractionZeros = 0;
    bool significant = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (isDigit(c)) {
            ++digits;
            if (c != '0')
                significant = true;
            if (!point && significant)
                ++integerDigits;
            else if (point && !significant)
                ++fractionZeros;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return scan;
    std::size_t end = i;
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            negativeExponent = s[j++] == '-';
        const std::size_t exponentDigits = j;
        for (; j < s.size() && isDigit(s[j]); ++j) {
            if (exponent < 1'000'000'000)
                exponent = exponent * 10 + (s[j] - '0');
        }
        if (j > exponentDigits) {
            end = j;
            if (negativeExponent)
                exponent = -exponent;
        }
    }

    std::string text(s.substr(mantissaStart, end - mantissaStart));
    for (char &c : text) {
        if (c == 'd' || c == 'D')
            c = 'e';
    }
    double magnitude = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        const long long scale = integerDigits > 0 ? integerDigits + exponent : exponent - fractionZeros;
        magnitude = scale > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    scan.value = negative ? -magnitude : magnitude;
    scan.end = end;
    scan.number = true;
    return scan;
}

Scan scanNumber(std::string_view s)
{
    if (s.size() >= 2 && s[0] == '&' && (s[1] == 'h' || s[1] == 'H' || s[1] == 'o' || s[1] == 'O'))
        return scanBased(s);
    return scanDecimal(s);
}

// The characters a reading can use: spaces, tabs and line feeds are dropped, and the text ends at
// the first character outside ASCII, which never continues a number.
template <typename Code>
std::string readable(qsizetype size, Code code)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(size));
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned c = code(i);
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        if (c > 0x7F)
            break;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

// One parsed picture: its placeholders and literal text, split at the decimal point.
struct Picture
{
    QStringView integerPart;
    QStringView decimalPart;
    bool point = false;
    int integerPlaces = 0;
    int zeroPlaces = 0;
    int decimalPlaces = 0;
};

bool isPlaceholder(QChar c)
{
    return c == QLatin1Char('0') || c == QLatin1Char('#');
}

Picture parsePicture(QStringView picture)
{
    const qsizetype section = picture.indexOf(QLatin1Char(';'));
    if (section >= 0)
        picture = picture.left(section);
    Picture p;
    const qsizetype pointAt = picture.indexOf(QLatin1Char('.'));
    p.point = pointAt >= 0;
    p.integerPart = p.point ? picture.left(pointAt) : picture;
    p.decimalPart = p.point ? picture.mid(pointAt + 1) : QStringView();
    for (QChar c : p.integerPart) {
        if (isPlaceholder(c))
            ++p.integerPlaces;
        if (c == QLatin1Char('0'))
            ++p.zeroPlaces;
    }
    for (QChar c : p.decimalPart) {
        if (isPlaceholder(c))
            ++p.decimalPlaces;
    }
    return p;
}

// The digits of |value| rounded to `places` decimal places, halves away from zero, on the value's
// 15-significant-digit decimal form: the integer digits without leading zeros (empty for zero) and
// exactly `places` decimal digits.
void roundedDigits(double magnitude, int places, std::string &integerDigits, std::string &decimalDigits)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 14);
    const std::string_view form(buffer, static_cast<std::size_t>(result.ptr - buffer));
    // form: d.ddddddddddddddde[+-]xx
    std::string significant;
    significant.push_back(form[0]);
    significant.append(form.substr(2, 14));
    const std::size_t e = form.find('e');
    int exponent = 0;
    std::from_chars(form.data() + e + 1 + (form[e + 1] == '+' ? 1 : 0), form.data() + form.size(), exponent);

    // The value scaled by 10^places, as a digit string: the first `kept` digits of the form.
    const long long kept = static_cast<long long>(exponent) + 1 + places;
    std::string scaled;
    int roundDigit = 0;
    if (kept > 0) {
        for (long long i = 0; i < kept; ++i)
            scaled.push_back(i < 15 ? significant[static_cast<std::size_t>(i)] : '0');
        if (kept < 15)
            roundDigit = significant[static_cast<std::size_t>(kept)] - '0';
    } else if (kept == 0) {
        roundDigit = significant[0] - '0';
    }
    if (roundDigit >= 5) {
        std::size_t i = scaled.size();
        while (i > 0 && scaled[i - 1] == '9') {
            scaled[i - 1] = '0';
            --i;
        }
        if (i == 0)
            scaled.insert(scaled.begin(), '1');
        else
            ++scaled[i - 1];
    }
    const std::size_t decimals = static_cast<std::size_t>(places);
    if (scaled.size() < decimals + 1)
        scaled.insert(scaled.begin(), decimals + 1 - scaled.size(), '0');
    integerDigits = scaled.substr(0, scaled.size() - decimals);
    decimalDigits = scaled.substr(scaled.size() - decimals);
    const std::size_t firstNonZero = integerDigits.find_first_not_of('0');
    integerDigits.erase(0, firstNonZero == std::string::npos ? integerDigits.size() : firstNonZero);
}

QString trimSpaces(const QString &s)
{
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && s.at(from) == QLatin1Char(' '))
        ++from;
    while (to > from && s.at(to - 1) == QLatin1Char(' '))
        --to;
    return s.mid(from, to - from);
}

} // namespace

double leadingNumber(QStringView text)
{
    const std::string s = readable(text.size(), [&](qsizetype i) { return unsigned(text[i].unicode()); });
    return scanNumber(s).value;
}

double leadingNumber(QByteArrayView text)
{
    const std::string s = readable(text.size(), [&](qsizetype i) { return unsigned(static_cast<uchar>(text[i])); });
    return scanNumber(s).value;
}

bool isNumeric(QStringView text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from] == QLatin1Char(' '))
        ++from;
    while (to > from && text[to - 1] == QLatin1Char(' '))
        --to;
    if (from == to)
        return false;
    std::string s;
    for (qsizetype i = from; i < to; ++i) {
        const char16_t c = text[i].unicode();
        if (c > 0x7F)
            return false;
        s.push_back(static_cast<char>(c));
    }
    const Scan scan = scanNumber(s);
    return scan.number && scan.end == s.size() && std::isfinite(scan.value);
}

QString formatNumber(double value, QStringView picture)
{
    if (!std::isfinite(value))
        return QString();
    const Picture p = parsePicture(picture);

    std::string integerDigits;
    std::string decimalDigits;
    roundedDigits(std::fabs(value), p.decimalPlaces, integerDigits, decimalDigits);
    if (integerDigits.size() < static_cast<std::size_t>(p.zeroPlaces))
        integerDigits.insert(integerDigits.begin(), static_cast<std::size_t>(p.zeroPlaces) - integerDigits.size(), '0');

    // Decimal places held by "#" are dropped from the right while they are zero.
    std::size_t shownDecimals = decimalDigits.size();
    {
        int place = p.decimalPlaces;
        for (qsizetype i = p.decimalPart.size(); i > 0 && shownDecimals > 0; --i) {
            const QChar c = p.decimalPart[i - 1];
            if (!isPlaceholder(c))
                continue;
            --place;
            if (c != QLatin1Char('#') || decimalDigits[static_cast<std::size_t>(place)] != '0')
                break;
            --shownDecimals;
        }
    }

    const bool anyDigit = integerDigits.find_first_not_of('0') != std::string::npos
        || decimalDigits.find_first_not_of('0') != std::string::npos;
    QString out;
    if (value < 0 && anyDigit)
        out.append(QLatin1Char('-'));

    // Integer digits fill the placeholders from the right; those that do not fit all stand at the
    // first placeholder.
    const qsizetype digitCount = static_cast<qsizetype>(integerDigits.size());
    const qsizetype places = p.integerPlaces;
    qsizetype placeholder = 0;
    bool digitWritten = false;
    for (QChar c : p.integerPart) {
        if (!isPlaceholder(c)) {
            if (placeholder == 0 || digitWritten)
                out.append(c);
            continue;
        }
        if (digitCount >= places) {
            const qsizetype from = placeholder == 0 ? 0 : digitCount - places + placeholder;
            const qsizetype to = digitCount - places + placeholder + 1;
            for (qsizetype i = from; i < to; ++i)
                out.append(QLatin1Char(integerDigits[static_cast<std::size_t>(i)]));
            digitWritten = true;
        } else if (placeholder >= places - digitCount) {
            out.append(QLatin1Char(integerDigits[static_cast<std::size_t>(placeholder - (places - digitCount))]));
            digitWritten = true;
        }
        ++placeholder;
    }
    if (places == 0) {
        for (char d : integerDigits)
            out.append(QLatin1Char(d));
    }

    if (p.point) {
        out.append(QLatin1Char('.'));
        qsizetype place = 0;
        for (QChar c : p.decimalPart) {
            if (!isPlaceholder(c)) {
                if (place < static_cast<qsizetype>(shownDecimals) || place == p.decimalPlaces)
                    out.append(c);
                continue;
            }
            if (place < static_cast<qsizetype>(shownDecimals))
                out.append(QLatin1Char(decimalDigits[static_cast<std::size_t>(place)]));
            ++place;
        }
    }
    return trimSpaces(out);
}

} // namespace functions
