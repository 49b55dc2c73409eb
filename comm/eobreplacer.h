#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace comm {

// Turns a machine's end-of-block characters into CR LF as the characters arrive, in pieces of any
// size. What cannot yet be decided (the end of a read that may be the start of an end of block) is
// held back as it arrived, never as replaced text, so the result is the same however the input
// was split: with an end of block of LF CR, "A LF CR CR B" gives "A CR LF CR B" whole or byte by
// byte. Matches are exact and taken from left to right. An empty end of block passes input through.
class EobReplacer
{
public:
    explicit EobReplacer(QByteArray eob) : m_eob(std::move(eob)) {}

    // Takes the next piece of input and returns the text that is now certain.
    QByteArray feed(QByteArrayView input);
    // The input held back, as it arrived (it holds no whole end of block); the replacer is then empty.
    QByteArray finish();
    // How many input characters are held back now: fewer than the end of block's length.
    qsizetype heldBack() const { return m_held.size(); }

private:
    QByteArray m_eob;
    QByteArray m_held;
};

} // namespace comm
