#pragma once

#include "commentrule.h"
#include "tessarc_export.h"

#include <QByteArrayView>
#include <QList>

#include <optional>
#include <vector>

namespace tessarc {

// One word of a line: an address letter and its number.
struct Word
{
    char letter = 0;            // the address letter, upper case
    qsizetype letterPos = 0;    // where the letter stands on the line
    qsizetype numberStart = 0;  // first byte of the number text
    qsizetype numberLength = 0; // bytes of the number text (inner spaces included, none after)
    double value = 0.0;         // the number's value, inner spaces left out
    bool operator==(const Word &o) const = default;
};

// The bytes of a line that hold no words and that a tool leaves as they are.
struct SkipSpan
{
    enum class Kind { Comment, Parameter, Expression };
    Kind kind = Kind::Comment;
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const SkipSpan &o) const = default;
};

// How the first place a letter could start a word is used.
enum class LetterUse {
    None,       // the letter starts no word on the line
    Word,       // a word with a number
    Expression, // an expression or a parameter stands where the number would (X[#1*2], X#1)
    Bare,       // nothing that counts as a number follows (X, X-.)
};

// Reads the words of a line. A letter starts a word when the byte before it is not a letter and
// it stands outside every comment, parameter (#<name>, #12, O<name>) and expression ([...]). A
// letter followed by another letter begins an alphabetic token (GOTO, sub, Mazak) and starts no
// word. The number is an optional sign, digits and at most one point, with at least one digit;
// with spaces allowed they may stand between the letter and the number and inside the number.
// The first word of a letter, or the expression that stands in its place.
struct FoundWord
{
    LetterUse use = LetterUse::None; // None, Word or Expression: a bare letter is passed over
    Word word;                       // for Word; for Expression only letterPos is set
};

// The value of a number as a program line writes it: an optional sign, then digits with at most one
// point, spaces and tabs inside left out; read from the start of `text` up to the first byte that
// does not continue it; 0 when it has no digit. Up to 15 digits it is worked out at once (exact:
// both parts are exact doubles and one division rounds once); longer ones go to the library's
// reader, which reads too large a number as infinity and too small a one as 0. Every word's value
// is read with this.
TESSARC_EXPORT double numberValue(QByteArrayView text);
// The same number always read by the library's reader: what numberValue() must agree with.
TESSARC_EXPORT double plainNumberValue(QByteArrayView text);

class TESSARC_EXPORT WordReader
{
public:
    explicit WordReader(const CommentRule &rule = {}, bool spaces = false);

    bool spaces() const { return m_spaces; }

    // Every word of the line, in order.
    QList<Word> words(QByteArrayView line) const;
    // The same into `out` (emptied first), whose room is kept from line to line.
    void words(QByteArrayView line, QList<Word> &out) const;
    // Where each word of the line starts (its letter), in order, appended to `out`.
    void wordStarts(QByteArrayView line, std::vector<qsizetype> &out) const;

    // The first word of the letter (either case), if any.
    std::optional<Word> first(QByteArrayView line, char letter) const;

    // How the first place the letter could start a word is used.
    LetterUse firstUse(QByteArrayView line, char letter) const;

    // The first place the letter (either case) starts a word or stands before an expression or a
    // parameter: what a tool that changes the letter's value works on. Bare letters are passed over.
    FoundWord find(QByteArrayView line, char letter) const;

    // Whether any byte of the line, in a comment or not, could open a parameter or an expression:
    // when none does, the line's only skipped spans are its comments.
    static bool mayOpen(QByteArrayView line);

    // The comments, parameters and expressions of the line, in order.
    QList<SkipSpan> skipSpans(QByteArrayView line) const;
    // The same into `out` (emptied first), whose room is kept from line to line.
    void skipSpans(QByteArrayView line, QList<SkipSpan> &out) const;

private:
    // Walks the line; `visit(letterPos, use, word)` returns false to stop. With `only` (upper
    // case) set, only that letter's places are visited. With `kPlacesOnly` a word is told by its
    // place alone (the Word given is empty).
    template <bool kPlacesOnly, typename Visit>
    void walk(QByteArrayView line, Visit &&visit, char only = 0) const;

    // Whether the letter's byte (either case) occurs on the line at all.
    static bool holdsLetter(QByteArrayView line, char upperLetter);

    CommentScanner m_comments;
    bool m_spaces;
};

} // namespace tessarc
