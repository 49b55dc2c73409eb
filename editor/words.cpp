#include "words.h"

namespace tessarc {

namespace {

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// The end of a parameter or expression that opens at `i`, or -1 when none opens there.
qsizetype skipEnd(QByteArrayView line, qsizetype i, SkipSpan::Kind &kind)
{
    const qsizetype n = line.size();
    const char c = line[i];
    if (c == '[') {
        kind = SkipSpan::Kind::Expression;
        int depth = 0;
        for (qsizetype j = i; j < n; ++j) {
            if (line[j] == '[')
                ++depth;
            else if (line[j] == ']' && --depth == 0)
                return j + 1;
        }
        return n;
    }
    if (c == '<') {
        kind = SkipSpan::Kind::Parameter;
        const qsizetype close = line.sliced(i).indexOf('>');
        return close < 0 ? n : i + close + 1;
    }
    if (c == '#') {
        kind = SkipSpan::Kind::Parameter;
        qsizetype j = i + 1;
        if (j < n && line[j] == '<') {
            const qsizetype close = line.sliced(j).indexOf('>');
            return close < 0 ? n : j + close + 1;
        }
        while (j < n && isDigit(line[j]))
            ++j;
        return j;
    }
    return -1;
}

} // namespace

WordReader::WordReader(const CommentRule &rule, bool spaces)
    : m_comments(rule, CommentScanner::Reading::Whole)
    , m_spaces(spaces)
{
}

template <typename Visit>
void WordReader::walk(QByteArrayView line, Visit &&visit) const
{
    const qsizetype n = line.size();
    const QList<CommentSpan> comments = m_comments.any() ? m_comments.spans(line) : QList<CommentSpan>{};
    qsizetype ci = 0;
    qsizetype i = 0;
    while (i < n) {
        if (ci < comments.size() && i >= comments[ci].start) {
            i = std::max(i, comments[ci].start + comments[ci].length);
            ++ci;
            continue;
        }
        const qsizetype limit = ci < comments.size() ? comments[ci].start : n;
        SkipSpan::Kind kind = SkipSpan::Kind::Comment;
        const qsizetype end = skipEnd(line, i, kind);
        if (end >= 0) {
            i = std::max(end, i + 1);
            continue;
        }
        const char c = line[i];
        if (!isLetter(c)) {
            ++i;
            continue;
        }
        if (i + 1 < limit && isLetter(line[i + 1])) {
            while (i < limit && isLetter(line[i]))
                ++i; // an alphabetic token
            continue;
        }
        // i is a letter that starts a would-be word (the byte before it is not a letter).
        qsizetype j = i + 1;
        if (m_spaces)
            while (j < limit && (line[j] == ' ' || line[j] == '\t'))
                ++j;
        if (j < limit && (line[j] == '[' || line[j] == '#')) {
            if (!visit(i, LetterUse::Expression, Word{}))
                return;
            i = j;
            continue;
        }
        const qsizetype start = j;
        if (j < limit && (line[j] == '+' || line[j] == '-'))
            ++j;
        bool digit = false;
        bool point = false;
        qsizetype last = j; // one past the last number character
        while (j < limit) {
            const char d = line[j];
            if (isDigit(d)) {
                digit = true;
                last = ++j;
            } else if (d == '.' && !point) {
                point = true;
                last = ++j;
            } else if (m_spaces && (d == ' ' || d == '\t')) {
                ++j;
            } else {
                break;
            }
        }
        if (!digit) {
            if (!visit(i, LetterUse::Bare, Word{}))
                return;
            i = start;
            continue;
        }
        Word w;
        w.letter = upper(c);
        w.letterPos = i;
        w.numberStart = start;
        w.numberLength = last - start;
        QByteArray text;
        text.reserve(w.numberLength);
        for (qsizetype k = start; k < last; ++k)
            if (line[k] != ' ' && line[k] != '\t')
                text.append(line[k]);
        w.value = text.toDouble();
        if (!visit(i, LetterUse::Word, w))
            return;
        i = last;
    }
}

QList<Word> WordReader::words(QByteArrayView line) const
{
    QList<Word> out;
    walk(line, [&](qsizetype, LetterUse use, const Word &w) {
        if (use == LetterUse::Word)
            out.append(w);
        return true;
    });
    return out;
}

std::optional<Word> WordReader::first(QByteArrayView line, char letter) const
{
    const char want = upper(letter);
    std::optional<Word> found;
    walk(line, [&](qsizetype pos, LetterUse use, const Word &w) {
        if (use == LetterUse::Word && w.letter == want) {
            found = w;
            return false;
        }
        (void)pos;
        return true;
    });
    return found;
}

LetterUse WordReader::firstUse(QByteArrayView line, char letter) const
{
    const char want = upper(letter);
    LetterUse found = LetterUse::None;
    walk(line, [&](qsizetype pos, LetterUse use, const Word &) {
        if (upper(line[pos]) != want)
            return true;
        found = use;
        return false;
    });
    return found;
}

QList<SkipSpan> WordReader::skipSpans(QByteArrayView line) const
{
    QList<SkipSpan> out;
    const qsizetype n = line.size();
    const QList<CommentSpan> comments = m_comments.any() ? m_comments.spans(line) : QList<CommentSpan>{};
    qsizetype ci = 0;
    qsizetype i = 0;
    while (i < n) {
        if (ci < comments.size() && i >= comments[ci].start) {
            out.append({SkipSpan::Kind::Comment, comments[ci].start, comments[ci].length});
            i = std::max(i, comments[ci].start + comments[ci].length);
            ++ci;
            continue;
        }
        const qsizetype limit = ci < comments.size() ? comments[ci].start : n;
        SkipSpan::Kind kind = SkipSpan::Kind::Comment;
        qsizetype end = skipEnd(line, i, kind);
        if (end >= 0) {
            end = std::min(std::max(end, i + 1), limit);
            out.append({kind, i, end - i});
            i = end;
            continue;
        }
        ++i;
    }
    return out;
}

} // namespace tessarc
