#include "linework.h"

#include "axislookup.h"
#include "numbers.h"

#include <QChar>
#include <QRegularExpression>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace tools {

namespace {

using functions::lowerCase;

bool isNumberChar(char c, bool spaces)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || (spaces && c == ' ');
}

void replaceWith(QByteArray &out, QByteArrayView text)
{
    out.resize(0);
    out.append(text.data(), text.size());
}

// The reading of a number text found after a letter (signs, points and digits, spaces already
// left out), as functions::leadingNumber reads it; false when the text is beyond this quick
// reading (too long, or a number too large or too small for a double).
bool readNumber(const char *text, qsizetype size, double &value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const qsizetype start = i;
    bool point = false;
    int digits = 0;
    for (; i < size; ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            ++digits;
        else if (text[i] == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0) {
        value = 0.0;
        return true;
    }
    // Up to 15 digits make a whole number that a double holds exactly, and so does 10^d for up to
    // 22 decimals: one division then rounds exactly as the full reading does.
    if (digits <= 15) {
        static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        long long whole = 0;
        int decimals = 0;
        bool afterPoint = false;
        for (qsizetype j = start; j < i; ++j) {
            if (text[j] == '.') {
                afterPoint = true;
                continue;
            }
            whole = whole * 10 + (text[j] - '0');
            if (afterPoint)
                ++decimals;
        }
        const double magnitude = static_cast<double>(whole) / kPowers[decimals];
        value = negative ? -magnitude : magnitude;
        return true;
    }
    double magnitude = 0.0;
    const auto [ptr, ec] = std::from_chars(text + start, text + i, magnitude);
    (void)ptr;
    if (ec != std::errc())
        return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

} // namespace

// ---------------------------------------------------------------- NumberWriter

NumberWriter::NumberWriter(const QString &picture) : m_picture(picture)
{
    static const QRegularExpression simple(QStringLiteral("^(0+)(\\.(0*)(#*))?$"));
    const QRegularExpressionMatch m = simple.match(picture);
    if (!m.hasMatch())
        return;
    m_direct = true;
    m_integerZeros = static_cast<int>(m.capturedLength(1));
    m_point = m.capturedLength(2) > 0;
    m_zeros = static_cast<int>(m.capturedLength(3));
    m_hashes = static_cast<int>(m.capturedLength(4));
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
    if (!std::isfinite(value))
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
    char scaled[400]; // scaled[0] takes a carry out of the first digit
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
    char padded[440];
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

// ---------------------------------------------------------------- OperationsWork

OperationsWork::OperationsWork(const OperationsSettings &settings, const LineRules &rules)
    : m_settings(settings), m_rules(rules), m_writer(rules.outputFormat),
      m_constant(functions::leadingNumber(settings.value))
{
    const QString letter = functions::reducedAxis(settings.axis);
    if (letter.size() == 1 && letter.at(0).unicode() <= 0xFF)
        m_letter = lowerCase()[letter.at(0).unicode()];
}

LineFault OperationsWork::operator()(QByteArrayView line, QByteArray &out) const
{
    const auto &lower = lowerCase();
    qsizetype p = -1;
    if (m_letter >= 0) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (lower[static_cast<uchar>(line[i])] == m_letter) {
                p = i;
                break;
            }
        }
    }
    if (p < 0) {
        replaceWith(out, line);
        return LineFault::None;
    }
    qsizetype end = p + 1;
    char number[64];
    qsizetype numberSize = 0;
    bool quick = true;
    while (end < line.size() && isNumberChar(line[end], m_rules.spaces)) {
        if (line[end] != ' ') {
            if (numberSize < qsizetype(sizeof number))
                number[numberSize++] = line[end];
            else
                quick = false;
        }
        ++end;
    }
    double value = 0.0;
    if (!quick || !readNumber(number, numberSize, value)) {
        // A number text beyond the quick reading: the full rewrite, as slow as it needs to be.
        const LineResult full = rewriteLine(m_settings, line.toByteArray(), m_rules);
        replaceWith(out, full.line);
        return full.fault;
    }
    const double result = applyOperation(m_settings.operation, value, m_constant);
    if (!std::isfinite(result)) {
        replaceWith(out, line);
        return LineFault::NotFinite;
    }
    if (!m_writer.direct()) {
        out.resize(0);
        out.append(line.data(), p + 1);
        m_writer.append(result, out);
        out.append(line.data() + end, line.size() - end);
    } else {
        char text[NumberWriter::kLongestNumber];
        const qsizetype n = m_writer.write(result, text);
        const qsizetype rest = line.size() - end;
        out.resize(p + 1 + n + rest);
        char *to = out.data();
        std::memcpy(to, line.data(), static_cast<size_t>(p + 1));
        std::memcpy(to + p + 1, text, static_cast<size_t>(n));
        if (rest > 0)
            std::memcpy(to + p + 1 + n, line.data() + end, static_cast<size_t>(rest));
    }
    if (out.size() > m_rules.maxLength) {
        replaceWith(out, line);
        return LineFault::TooLong;
    }
    return LineFault::None;
}

// ---------------------------------------------------------------- MirrorWork

MirrorWork::MirrorWork(const MirrorSettings &settings, const LineRules &rules) : m_settings(settings), m_rules(rules)
{
}

LineFault MirrorWork::operator()(QByteArrayView line, QByteArray &out) const
{
    const LineResult result = rewriteLine(m_settings, QByteArray::fromRawData(line.data(), line.size()), m_rules);
    replaceWith(out, result.line);
    return result.fault;
}

} // namespace tools
