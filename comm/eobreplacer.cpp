#include "eobreplacer.h"

#include <algorithm>

namespace comm {

QByteArray EobReplacer::feed(QByteArrayView input)
{
    if (m_eob.isEmpty())
        return input.toByteArray();
    QByteArray text = m_held;
    text.append(input);
    m_held.clear();

    QByteArray out;
    out.reserve(text.size() + text.size() / 8);
    const qsizetype n = m_eob.size();
    qsizetype at = 0;
    for (;;) {
        const qsizetype found = text.indexOf(m_eob, at);
        if (found < 0)
            break;
        out.append(text.constData() + at, found - at);
        out.append("\r\n", 2);
        at = found + n;
    }
    // A match that starts in the last n - 1 characters would end in input not yet read: keep them.
    const qsizetype keep = std::min<qsizetype>(n - 1, text.size() - at);
    out.append(text.constData() + at, text.size() - at - keep);
    m_held = text.right(keep);
    return out;
}

QByteArray EobReplacer::finish()
{
    QByteArray rest;
    rest.swap(m_held);
    return rest;
}

} // namespace comm
