#include "mirror.h"

#include "axislookup.h"
#include "numbers.h"

#include <utility>

namespace tools {

namespace {

QString centreLetter(const QString &axis)
{
    switch (wordLetter(axis)) {
    case 'X':
        return QStringLiteral("I");
    case 'Y':
        return QStringLiteral("J");
    case 'Z':
        return QStringLiteral("K");
    default:
        return QString();
    }
}

// The digit of a G word's number that says which of a pair it is: the last digit before the point.
qsizetype unitsDigit(QByteArrayView line, const tessarc::Word &word)
{
    qsizetype at = -1;
    for (qsizetype i = word.numberStart; i < word.numberStart + word.numberLength; ++i) {
        if (line[i] == '.')
            break;
        if (line[i] >= '0' && line[i] <= '9')
            at = i;
    }
    return at;
}

} // namespace

std::optional<QString> checkFields(const MirrorSettings &settings, const QString &textNull)
{
    if (settings.value.isEmpty() || functions::reducedAxis(settings.axis).isEmpty()
        || !functions::isNumeric(settings.value))
        return textNull;
    return std::nullopt;
}

MirrorWork::MirrorWork(const MirrorSettings &settings, const LineRules &rules)
    : m_settings(settings), m_rules(rules), m_writer(rules.outputFormat), m_letter(settings.axis, rules),
      m_centre(centreLetter(settings.axis), rules), m_position(functions::leadingNumber(settings.value))
{
}

LineFault MirrorWork::operator()(QByteArrayView line, QByteArray &out)
{
    using tessarc::LetterUse;
    const tessarc::WordReader &reader = m_letter.reader();
    // The G words first: the centre form they set holds for this line's arc too.
    bool absoluteCentres = m_absoluteCentres;
    copyLine(line, out);
    const bool anyG = reader.find(line, 'G').use == LetterUse::Word;
    if (anyG) {
        for (const tessarc::Word &word : reader.words(line)) {
            if (word.letter != 'G')
                continue;
            if (word.value == 90.1)
                absoluteCentres = true;
            else if (word.value == 91.1)
                absoluteCentres = false;
            const bool arc = m_settings.swapArcs && (word.value == 2.0 || word.value == 3.0);
            const bool side = m_settings.swapCompensation && (word.value == 41.0 || word.value == 42.0);
            const qsizetype digit = (arc || side) ? unitsDigit(line, word) : -1;
            if (digit >= 0) {
                const char c = out[digit];
                out[digit] = arc ? (c == '2' ? '3' : '2') : (c == '1' ? '2' : '1');
            }
        }
    }
    const tessarc::FoundWord value = m_letter.find(line);
    const tessarc::FoundWord centre = m_centre.find(line);
    if (value.use == LetterUse::Expression || centre.use == LetterUse::Expression) {
        copyLine(line, out);
        m_absoluteCentres = absoluteCentres;
        return LineFault::Expression;
    }
    // The words are rewritten from the right, so the places read before stay where they were.
    struct Change
    {
        tessarc::Word word;
        double value;
    };
    Change changes[2];
    int count = 0;
    if (value.use == LetterUse::Word)
        changes[count++] = {value.word, 2 * m_position - value.word.value};
    if (centre.use == LetterUse::Word) {
        const double v = centre.word.value;
        changes[count++] = {centre.word, absoluteCentres ? 2 * m_position - v : -v};
    }
    if (count == 2 && changes[0].word.letterPos < changes[1].word.letterPos)
        std::swap(changes[0], changes[1]);
    for (int i = 0; i < count; ++i) {
        m_buffer.swap(out);
        const LineFault fault = writeWord(m_buffer, changes[i].word, changes[i].value, m_writer, m_rules.maxLength, out);
        if (fault != LineFault::None) {
            copyLine(line, out);
            return fault;
        }
    }
    m_absoluteCentres = absoluteCentres;
    return LineFault::None;
}

} // namespace tools
