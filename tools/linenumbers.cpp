#include "linenumbers.h"

#include "numbers.h"
#include "wordscan.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tools {

namespace {

bool withinLargest(double number)
{
    return std::fabs(number) <= static_cast<double>(kLargestLineNumber);
}

// A line that carries no N word and takes no number: a blank line, a line that is only a tape
// mark, and a program-number or O-word line ("O1234", ":1234", "o100 sub", "O<name> call").
bool takesNoNumber(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    if (i == line.size())
        return true;
    const char c = line[i];
    if (c == '%') {
        for (qsizetype j = i + 1; j < line.size(); ++j)
            if (line[j] != ' ' && line[j] != '\t' && line[j] != '\r')
                return false;
        return true;
    }
    if (i + 1 >= line.size())
        return false;
    const char n = line[i + 1];
    const bool digit = n >= '0' && n <= '9';
    return ((c == 'O' || c == 'o') && (digit || n == '<')) || (c == ':' && digit);
}

} // namespace

Numbering numbering(const LineNumberSettings &settings, const LineRange &range)
{
    if (settings.realLineNumbers)
        return {static_cast<double>(range.first), 1.0};
    return {std::floor(functions::leadingNumber(settings.startNumber)),
            std::round(functions::leadingNumber(settings.increment))};
}

std::optional<QString> checkFields(const LineNumberSettings &settings, const LineRange &range,
                                   const QString &textNull)
{
    if (!settings.add)
        return std::nullopt;
    if (!settings.realLineNumbers
        && (!functions::isNumeric(settings.increment) || functions::leadingNumber(settings.increment) < 0
            || !functions::isNumeric(settings.startNumber)))
        return textNull;
    const Numbering n = numbering(settings, range);
    const double last = n.first + n.increment * static_cast<double>(range.count() - 1);
    if (!withinLargest(n.first) || !withinLargest(last))
        return textNull;
    return std::nullopt;
}

LineNumberWork::LineNumberWork(const LineNumberSettings &settings, const LineRange &range, const LineRules &rules)
    : m_settings(settings), m_rules(rules)
{
    const Numbering n = numbering(settings, range);
    // Out of a 64-bit counter's range only when the checks were passed by; the first line then stops.
    m_exhausted = !(std::fabs(n.first) < 9.2e18 && std::fabs(n.increment) < 9.2e18);
    if (!m_exhausted) {
        m_number = static_cast<qint64>(n.first);
        m_increment = static_cast<qint64>(n.increment);
    }
}

qsizetype LineNumberWork::afterLeadingN(QByteArrayView line) const
{
    // An N word first on the line: the letter, then its number characters (spaces too, with spaces
    // on), holding a digit. "NEXT" or "N#1" is no N word.
    if (line.isEmpty() || (line[0] != 'N' && line[0] != 'n'))
        return 0;
    qsizetype end = 1;
    bool digit = false;
    for (; end < line.size(); ++end) {
        const char c = line[end];
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c != '-' && c != '+' && c != '.' && !(m_rules.spaces && c == ' '))
            break;
    }
    return digit ? end : 0;
}

LineFault LineNumberWork::operator()(QByteArrayView line, QByteArray &out)
{
    if (!m_settings.add) {
        copyLine(line.sliced(afterLeadingN(line)), out);
        return LineFault::None;
    }
    if (takesNoNumber(line)) {
        copyLine(line, out);
        return LineFault::None;
    }
    if (m_exhausted) {
        copyLine(line, out);
        return LineFault::NotFinite;
    }
    const qsizetype from = m_settings.removeExisting ? afterLeadingN(line) : 0;
    char word[24];
    word[0] = 'N';
    char *end = std::to_chars(word + 1, word + sizeof word - 1, m_number).ptr;
    if (m_settings.spaceAfter)
        *end++ = ' ';
    const qsizetype head = end - word;
    const qsizetype rest = line.size() - from;
    if (head + rest > m_rules.maxLength) {
        copyLine(line, out);
        return LineFault::TooLong;
    }
    out.resize(head + rest);
    std::memcpy(out.data(), word, static_cast<size_t>(head));
    if (rest > 0)
        std::memcpy(out.data() + head, line.data() + from, static_cast<size_t>(rest));
    qint64 next = 0;
    m_exhausted = __builtin_add_overflow(m_number, m_increment, &next);
    if (!m_exhausted)
        m_number = next;
    return LineFault::None;
}

} // namespace tools
