#pragma once

#include <QVector3D>

#include <algorithm>
#include <limits>

namespace plot {

// An axis-aligned box in millimetres; empty until a point is added.
struct Box
{
    QVector3D min{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
    QVector3D max{std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
                  std::numeric_limits<float>::lowest()};

    bool isEmpty() const { return min.x() > max.x(); }
    void add(const QVector3D &p)
    {
        min = QVector3D(std::min(min.x(), p.x()), std::min(min.y(), p.y()), std::min(min.z(), p.z()));
        max = QVector3D(std::max(max.x(), p.x()), std::max(max.y(), p.y()), std::max(max.z(), p.z()));
    }
    void add(const Box &b)
    {
        if (!b.isEmpty()) {
            add(b.min);
            add(b.max);
        }
    }
    QVector3D centre() const { return (min + max) * 0.5f; }
    QVector3D size() const { return isEmpty() ? QVector3D() : max - min; }
    // The eight corners, bit 0 choosing x, bit 1 y, bit 2 z.
    QVector3D corner(int i) const
    {
        return QVector3D(i & 1 ? max.x() : min.x(), i & 2 ? max.y() : min.y(), i & 4 ? max.z() : min.z());
    }
};

} // namespace plot
