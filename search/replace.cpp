#include "replace.h"

#include "axislookup.h"
#include "numbers.h"
#include "steptext.h"
#include "wordscan.h"

#include <algorithm>
#include <cstring>

namespace search {

namespace {

void replaceWith(QByteArray &out, QByteArrayView text)
{
    out.resize(text.size());
    if (!text.isEmpty())
        std::memcpy(out.data(), text.data(), static_cast<size_t>(text.size()));
}

// Puts a new line together in `out` with a single claim of room, as much as a line may hold and a
// byte more, so that a line growing too long is noticed as soon as it outgrows that.
class LineWriter
{
public:
    LineWriter(QByteArray &out, qsizetype maxLength) : m_out(out), m_maxLength(maxLength)
    {
        out.resize(maxLength + 1);
        m_data = out.data();
    }

    void put(QByteArrayView bytes)
    {
        const qsizetype n = std::min(bytes.size(), m_maxLength + 1 - m_size);
        if (n > 0)
            std::memcpy(m_data + m_size, bytes.data(), static_cast<size_t>(n));
        m_size += n;
    }

    // Gives the line its length; false when it would be longer than a line holds.
    bool finish()
    {
        m_out.resize(m_size);
        return m_size <= m_maxLength;
    }

private:
    QByteArray &m_out;
    qsizetype m_maxLength;
    char *m_data = nullptr;
    qsizetype m_size = 0;
};

// Writes `line` with every match of `find` replaced by `by`; the first match is at `first`.
void replaceAll(QByteArrayView line, const TextMatcher &find, QByteArrayView by, qsizetype first, LineWriter &out)
{
    qsizetype from = 0;
    for (qsizetype at = first; at >= 0; at = find.indexIn(line, from)) {
        out.put(line.sliced(from, at - from));
        out.put(by);
        from = at + find.size();
    }
    out.put(line.sliced(from));
}

// The bytes a field writes into lines; the refusal when it holds a character no line can hold.
std::optional<QString> unwritable(const QString &text)
{
    if (fieldBytes(text))
        return std::nullopt;
    return QStringLiteral("The text \"%1\" holds a character that a program line cannot hold.").arg(text);
}

// The text mode `mode` writes into lines.
const QString &writtenText(const ReplaceSettings &settings, ReplaceMode mode)
{
    switch (mode) {
    case ReplaceMode::Text:
        return settings.replacement;
    case ReplaceMode::ReplaceText:
        return settings.thenReplace;
    case ReplaceMode::WholeLine:
        return settings.wholeLine;
    case ReplaceMode::AppendLine:
        return settings.appendText;
    case ReplaceMode::SetValue:
        break;
    }
    return settings.replaceValue;
}

} // namespace

std::optional<QString> checkReplaceFields(const ReplaceSettings &settings, ReplaceMode mode, const QString &textNull)
{
    if (mode == ReplaceMode::Text) {
        if (settings.find.isEmpty())
            return textNull;
    } else {
        if (functions::reducedAxis(settings.axis).isEmpty() || !functions::isNumeric(settings.value))
            return textNull;
        if (mode == ReplaceMode::SetValue
            && (functions::reducedAxis(settings.replaceAxis).isEmpty() || !functions::isNumeric(settings.replaceValue)))
            return textNull;
    }
    if (mode != ReplaceMode::SetValue)
        return unwritable(writtenText(settings, mode));
    return std::nullopt;
}

QString replaceStep(const ReplaceSettings &settings, const tools::RangeFields &range, ReplaceMode mode,
                    const QString &separator)
{
    tools::StepText step(separator);
    step.text(settings.find).text(settings.replacement);
    for (TextAction action : {TextAction::ReplaceFound, TextAction::ReplaceWholeLine, TextAction::AppendToLine})
        step.option(settings.action == action);
    step.check(settings.matchCase).range(range).text(settings.axis);
    for (Comparison comparison : {Comparison::Greater, Comparison::Less, Comparison::Equal, Comparison::NotEqual})
        step.option(settings.comparison == comparison);
    step.text(settings.value)
        .text(settings.replaceAxis)
        .text(settings.replaceValue)
        .text(settings.thenFind)
        .text(settings.thenReplace)
        .check(settings.thenMatchCase)
        .text(settings.wholeLine)
        .text(settings.appendText);
    return step.result() + QString::number(static_cast<int>(mode));
}

ReplaceWork::ReplaceWork(const ReplaceSettings &settings, ReplaceMode mode, const tools::LineRules &rules)
    : m_mode(mode), m_action(settings.action), m_maxLength(rules.maxLength), m_words(rules.comments, rules.spaces),
      m_writer(rules.outputFormat)
{
    if (mode == ReplaceMode::Text) {
        m_find = TextMatcher::forField(settings.find, settings.matchCase);
    } else {
        m_condition = AxisCondition(settings.axis, settings.comparison, functions::leadingNumber(settings.value),
                                    m_words);
        if (mode == ReplaceMode::ReplaceText)
            m_find = TextMatcher::forField(settings.thenFind, settings.thenMatchCase);
    }
    if (mode == ReplaceMode::SetValue) {
        m_replaceLetter = tools::wordLetter(settings.replaceAxis);
        m_value = functions::leadingNumber(settings.replaceValue);
    } else {
        m_text = fieldBytes(writtenText(settings, mode)).value_or(QByteArray());
    }
}

tools::LineFault ReplaceWork::operator()(QByteArrayView line, QByteArray &out) const
{
    qsizetype first = -1;
    if (m_mode == ReplaceMode::Text) {
        first = m_find.indexIn(line);
        if (first < 0) {
            replaceWith(out, line);
            return tools::LineFault::None;
        }
    } else {
        const AxisTest test = m_condition.test(line).test;
        if (test != AxisTest::Holds) {
            replaceWith(out, line);
            return test == AxisTest::Expression ? tools::LineFault::Expression : tools::LineFault::None;
        }
    }
    LineWriter writer(out, m_maxLength);
    switch (m_mode) {
    case ReplaceMode::Text:
        if (m_action == TextAction::ReplaceFound)
            replaceAll(line, m_find, m_text, first, writer);
        else if (m_action == TextAction::AppendToLine)
            writer.put(line);
        if (m_action != TextAction::ReplaceFound)
            writer.put(m_text);
        break;
    case ReplaceMode::SetValue: {
        // Without a word of the second letter there is no value to set: the line stays as it is.
        const tessarc::FoundWord found =
            m_replaceLetter ? m_words.find(line, m_replaceLetter) : tessarc::FoundWord{};
        if (found.use != tessarc::LetterUse::Word) {
            replaceWith(out, line);
            return found.use == tessarc::LetterUse::Expression ? tools::LineFault::Expression
                                                               : tools::LineFault::None;
        }
        return tools::writeWord(line, found.word, m_value, m_writer, m_maxLength, out);
    }
    case ReplaceMode::ReplaceText:
        replaceAll(line, m_find, m_text, m_find.indexIn(line), writer);
        break;
    case ReplaceMode::WholeLine:
        writer.put(m_text);
        break;
    case ReplaceMode::AppendLine:
        writer.put(line);
        writer.put(m_text);
        break;
    }
    if (!writer.finish()) {
        replaceWith(out, line);
        return tools::LineFault::TooLong;
    }
    return tools::LineFault::None;
}

QString axisCapitals(QString letters)
{
    for (QChar &c : letters) {
        const QChar upper = c.toUpper();
        if (upper.unicode() <= 0xFF)
            c = upper;
    }
    return letters;
}

std::unique_ptr<tools::Tool> ReplaceTool::fromStep(const tools::StepForm &form)
{
    auto tool = std::make_unique<ReplaceTool>();
    ReplaceSettings &s = tool->settings;
    s.find = form.text("txtFind");
    s.replacement = form.text("txtReplace");
    s.action = form.on("r2")   ? TextAction::ReplaceWholeLine
               : form.on("r3") ? TextAction::AppendToLine
                               : TextAction::ReplaceFound;
    s.matchCase = form.on("case1");
    s.axis = axisCapitals(form.text("txtAxis"));
    s.comparison = form.on("l")   ? Comparison::Less
                   : form.on("e") ? Comparison::Equal
                   : form.on("n") ? Comparison::NotEqual
                                  : Comparison::Greater;
    s.value = form.text("txtValue");
    s.replaceAxis = form.text("txtReplaceAxis");
    s.replaceValue = form.text("txtReplaceValue");
    s.thenFind = form.text("Text1");
    s.thenReplace = form.text("Text2");
    s.thenMatchCase = form.on("case2");
    s.wholeLine = form.text("txtReplaceLine");
    s.appendText = form.text("txtAppendLine");
    tool->mode = static_cast<ReplaceMode>(std::clamp(form.mode(), 1, 5));
    tool->fields = form.range();
    return tool;
}

QString ReplaceTool::stepSettings(const QString &separator) const
{
    return replaceStep(settings, fields, mode, separator);
}

std::optional<QString> ReplaceTool::checkFields(const tools::RunPlace &place) const
{
    return checkReplaceFields(settings, mode, place.textNull);
}

QString ReplaceTool::run(tools::ToolRun &run, const tools::LineRange &range)
{
    const ReplaceWork work(settings, mode, run.place().rules);
    if (mode == ReplaceMode::SetValue)
        run.note().letters = tools::letterNames({settings.axis, settings.replaceAxis});
    else if (mode != ReplaceMode::Text)
        run.note().letters = tools::letterNames({settings.axis});
    return run.rewriteRange(range, work);
}

} // namespace search
