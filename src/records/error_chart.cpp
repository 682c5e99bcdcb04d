#include "records/error_chart.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "records/ru_format.h"

namespace yukt::records {
namespace {

const QColor kColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                           QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd),
                           QColor(0xff, 0x7f, 0x0e), QColor(0x8c, 0x56, 0x4b),
                           QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};

// A round step giving about `count` ticks over `span`.
double TickStep(double span, int count) {
    const double raw = span / count;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (raw <= m * magnitude) return m * magnitude;
    return 10 * magnitude;
}

QString TickText(double v, double step) {
    const int decimals = qBound(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 6);
    return RuNumber(std::abs(v) < step / 1e6 ? 0.0 : v, decimals);
}

}  // namespace

void DrawErrorChart(QPainter& p, const QRectF& area, const ErrorChart& chart) {
    double xMin = 0, xMax = 0, yMax = 0;
    bool first = true;
    auto extend = [&](const QPointF& pt, double y) {
        if (first) xMin = xMax = pt.x(), first = false;
        xMin = std::min(xMin, pt.x());
        xMax = std::max(xMax, pt.x());
        yMax = std::max(yMax, std::abs(y));
    };
    for (const ChartSeries& s : chart.series)
        for (const QPointF& pt : s.points) extend(pt, pt.y());
    for (const QPointF& pt : chart.limit) extend(pt, pt.y());
    if (first) return;
    if (xMax - xMin <= 0) xMin -= 1, xMax += 1;
    if (yMax <= 0) yMax = 1;
    yMax *= 1.2;
    const double pad = (xMax - xMin) * 0.05;
    xMin -= pad, xMax += pad;

    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(7);
    p.setFont(font);
    const QFontMetricsF metrics(font, p.device());
    const double unit = metrics.height();
    const int legendColumns = chart.series.size() > 8 ? 2 : 1;
    double legendWidth = 0;
    for (const ChartSeries& s : chart.series)
        legendWidth = std::max(legendWidth, metrics.horizontalAdvance(s.name) + 3 * unit);
    const QRectF plot(area.left() + 5 * unit, area.top() + 1.5 * unit,
                      area.width() - 6 * unit - legendColumns * legendWidth,
                      area.height() - 4 * unit);
    auto at = [&](double x, double y) {
        return QPointF(plot.left() + (x - xMin) / (xMax - xMin) * plot.width(),
                       plot.bottom() - (y + yMax) / (2 * yMax) * plot.height());
    };

    // The tolerance band, ±the limit at each nominal.
    QList<QPointF> limit = chart.limit;
    std::sort(limit.begin(), limit.end(),
              [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    if (!limit.isEmpty()) {
        QPainterPath band;
        band.moveTo(at(xMin, limit.first().y()));
        for (const QPointF& pt : limit) band.lineTo(at(pt.x(), pt.y()));
        band.lineTo(at(xMax, limit.last().y()));
        band.lineTo(at(xMax, -limit.last().y()));
        for (auto it = limit.rbegin(); it != limit.rend(); ++it) band.lineTo(at(it->x(), -it->y()));
        band.lineTo(at(xMin, -limit.first().y()));
        band.closeSubpath();
        p.fillPath(band, QColor(0xe4, 0xf2, 0xe4));
        p.setPen(QPen(QColor(0x2c, 0x80, 0x2c), unit / 10, Qt::DashLine));
        p.drawPath(band);
    }

    // Axes, grid and ticks.
    p.setPen(QPen(Qt::black, unit / 12));
    p.drawRect(plot);
    const double xStep = TickStep(xMax - xMin, 6), yStep = TickStep(2 * yMax, 6);
    p.setPen(QPen(Qt::gray, unit / 20, Qt::DotLine));
    for (double x = std::ceil(xMin / xStep) * xStep; x <= xMax; x += xStep) {
        p.drawLine(at(x, -yMax), at(x, yMax));
        p.save();
        p.setPen(Qt::black);
        p.drawText(QRectF(at(x, -yMax).x() - 3 * unit, plot.bottom() + 0.2 * unit, 6 * unit, unit),
                   Qt::AlignHCenter | Qt::AlignTop, TickText(x, xStep));
        p.restore();
    }
    for (double y = std::ceil(-yMax / yStep) * yStep; y <= yMax; y += yStep) {
        p.drawLine(at(xMin, y), at(xMax, y));
        p.save();
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left(), at(xMin, y).y() - unit / 2, 4.7 * unit, unit),
                   Qt::AlignRight | Qt::AlignVCenter, TickText(y, yStep));
        p.restore();
    }
    p.setPen(QPen(Qt::black, unit / 12));
    p.drawLine(at(xMin, 0), at(xMax, 0));
    p.drawText(QRectF(plot.left(), area.bottom() - 1.4 * unit, plot.width(), 1.2 * unit),
               Qt::AlignHCenter | Qt::AlignBottom, chart.xTitle);
    p.drawText(QRectF(plot.left(), area.top(), plot.width(), 1.2 * unit),
               Qt::AlignLeft | Qt::AlignTop, chart.yTitle);

    // One line per channel, its points marked; the legend on the right.
    for (int i = 0; i < chart.series.size(); ++i) {
        const ChartSeries& s = chart.series[i];
        const QColor colour = kColours[i % std::size(kColours)];
        const Qt::PenStyle style =
            i < static_cast<int>(std::size(kColours)) ? Qt::SolidLine : Qt::DashLine;
        QList<QPointF> pts = s.points;
        std::sort(pts.begin(), pts.end(),
                  [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
        p.setPen(QPen(colour, unit / 8, style));
        for (int k = 1; k < pts.size(); ++k)
            p.drawLine(at(pts[k - 1].x(), pts[k - 1].y()), at(pts[k].x(), pts[k].y()));
        p.setBrush(colour);
        for (const QPointF& pt : pts) p.drawEllipse(at(pt.x(), pt.y()), unit / 5, unit / 5);
        p.setBrush(Qt::NoBrush);
        const int rows = (chart.series.size() + legendColumns - 1) / legendColumns;
        const QPointF entry(plot.right() + unit + (i / rows) * legendWidth,
                            plot.top() + (i % rows) * unit * 1.1 + unit / 2);
        p.drawLine(entry, entry + QPointF(1.5 * unit, 0));
        p.setPen(Qt::black);
        p.drawText(QRectF(entry.x() + 2 * unit, entry.y() - unit / 2, legendWidth, unit),
                   Qt::AlignLeft | Qt::AlignVCenter, s.name);
    }
}

}  // namespace yukt::records
