#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstring>
#include <type_traits>

// The interpreter's state as bytes, for checkpoints: plain values as they lie in memory, texts
// with their length first. A reader gives false when the bytes run out or a length is wrong.
namespace interp::statebytes {

template <typename T>
void put(QByteArray &out, const T &v)
{
    static_assert(std::is_trivially_copyable_v<T>);
    out.append(reinterpret_cast<const char *>(&v), sizeof v);
}

template <typename T>
bool get(QByteArrayView &in, T &v)
{
    if (in.size() < static_cast<qsizetype>(sizeof v))
        return false;
    std::memcpy(&v, in.data(), sizeof v);
    in = in.sliced(sizeof v);
    return true;
}

inline void putText(QByteArray &out, const QByteArray &text)
{
    put(out, static_cast<qint32>(text.size()));
    out.append(text);
}

inline bool getText(QByteArrayView &in, QByteArray &text)
{
    qint32 n = 0;
    if (!get(in, n) || n < 0 || n > in.size())
        return false;
    text = in.first(n).toByteArray();
    in = in.sliced(n);
    return true;
}

} // namespace interp::statebytes
