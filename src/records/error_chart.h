// The error chart of a protocol: the error against the nominal value for each
// channel, inside the tolerance band. Drawn with QPainter straight into the
// PDF, the records layer having no widgets.
#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;

namespace yukt::records {

struct ChartSeries {
    QString name;           // "Канал 11"
    QList<QPointF> points;  // x: nominal, y: error
};

struct ErrorChart {
    QString xTitle;  // "задано, мА"
    QString yTitle;  // "погрешность, %"
    QList<ChartSeries> series;
    QList<QPointF> limit;  // the permitted error at each nominal (the band is ±)
};

void DrawErrorChart(QPainter& painter, const QRectF& area, const ErrorChart& chart);

}  // namespace yukt::records
