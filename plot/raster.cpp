#include "raster.h"

#include <QLineF>
#include <QPainter>
#include <QPen>

#include <map>

namespace plot {

QColor toolColour(int tool)
{
    static const QColor kPalette[] = {
        QColor(64, 200, 255),  QColor(110, 230, 110), QColor(255, 160, 50), QColor(200, 130, 255),
        QColor(255, 110, 150), QColor(40, 220, 190),  QColor(220, 210, 90), QColor(130, 160, 255),
    };
    constexpr int kColours = int(std::size(kPalette));
    return kPalette[((tool % kColours) + kColours) % kColours];
}

namespace {

void drawLines(QPainter &painter, const std::vector<QLineF> &lines)
{
    // In batches, so the engine never holds all of a big path's lines at once.
    constexpr std::size_t kBatch = 8192;
    for (std::size_t i = 0; i < lines.size(); i += kBatch)
        painter.drawLines(lines.data() + i, int(std::min(kBatch, lines.size() - i)));
}

QPen pen(const QColor &colour, double width, Qt::PenStyle style = Qt::SolidLine)
{
    QPen p(colour, width, style, Qt::RoundCap, Qt::RoundJoin);
    p.setCosmetic(true);
    return p;
}

} // namespace

RasterReport draw(QImage &image, const PathGeometry &full, const Camera &camera, const RasterStyle &style)
{
    RasterReport report;
    image.fill(style.background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);

    PathGeometry lighter;
    const PathGeometry *geometry = &full;
    if (full.segmentCount() > style.segmentBudget) {
        lighter = full.decimated(camera.mmPerPixel() * 0.5);
        geometry = &lighter;
        report.decimated = true;
    }
    const auto at = [&camera](const QVector3D &p) {
        const QVector3D s = camera.project(p);
        return QPointF(s.x(), s.y());
    };

    if (style.drawBox && !full.feedExtents().isEmpty()) {
        const Box &box = full.feedExtents();
        std::vector<QLineF> edges;
        for (int i = 0; i < 8; ++i) {
            for (int bit = 1; bit < 8; bit <<= 1) {
                if (!(i & bit))
                    edges.emplace_back(at(box.corner(i)), at(box.corner(i | bit)));
            }
        }
        painter.setPen(pen(style.box, 1.0, Qt::DotLine));
        drawLines(painter, edges);
    }

    std::vector<QPointF> screen(std::size_t(geometry->vertexCount()));
    for (qsizetype i = 0; i < geometry->vertexCount(); ++i)
        screen[std::size_t(i)] = at(geometry->vertex(i));
    std::vector<QLineF> rapids;
    std::vector<QLineF> probes;
    std::map<int, std::vector<QLineF>> byColour;
    const std::vector<Segment> &segments = geometry->segments();
    for (std::size_t s = 0; s < segments.size(); ++s) {
        const QLineF line(screen[s], screen[s + 1]);
        switch (segments[s].kind) {
        case SegmentKind::Rapid:
            rapids.push_back(line);
            break;
        case SegmentKind::Probe:
            probes.push_back(line);
            break;
        default:
            byColour[int(toolColour(segments[s].tool).rgb())].push_back(line);
        }
    }
    painter.setPen(pen(style.rapid, style.lineWidth, Qt::DashLine));
    drawLines(painter, rapids);
    for (const auto &[colour, lines] : byColour) {
        painter.setPen(pen(QColor::fromRgb(QRgb(colour)), style.lineWidth));
        drawLines(painter, lines);
    }
    painter.setPen(pen(style.probe, style.lineWidth));
    drawLines(painter, probes);
    report.segmentsDrawn = qsizetype(segments.size());

    if (!style.highlighted.empty()) {
        std::vector<QLineF> lit;
        for (const SegmentRange &range : style.highlighted) {
            for (qsizetype s = range.first; s < range.first + range.count && s < full.segmentCount(); ++s)
                lit.emplace_back(at(full.vertex(s)), at(full.vertex(s + 1)));
        }
        painter.setPen(pen(style.highlight, style.lineWidth * 2.0));
        drawLines(painter, lit);
    }

    if (!full.markers().empty()) {
        painter.setPen(pen(style.marker, 2.0));
        painter.setBrush(Qt::NoBrush);
        for (const Marker &marker : full.markers())
            painter.drawEllipse(at(marker.at), 5.0, 5.0);
    }
    return report;
}

QImage render(const PathGeometry &geometry, const Camera &camera, const RasterStyle &style, RasterReport *report)
{
    QImage image(camera.viewport(), QImage::Format_ARGB32_Premultiplied);
    const RasterReport drawn = draw(image, geometry, camera, style);
    if (report)
        *report = drawn;
    return image;
}

} // namespace plot
