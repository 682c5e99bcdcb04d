#include "app/error_chart.h"

#include <QChart>
#include <QLegendMarker>
#include <QLocale>
#include <QLineSeries>
#include <QValueAxis>
#include <cmath>

#include "verify/procedure.h"

namespace yukt {

using namespace verify;

TErrorChart::TErrorChart(QWidget* parent) : QChartView(parent) {
    setObjectName("ErrorChart");
    setRenderHint(QPainter::Antialiasing);
    // Sixteen channels and the band fit beside the plot in a small face.
    chart()->legend()->setAlignment(Qt::AlignRight);
    QFont small = chart()->legend()->font();
    small.setPointSize(7);
    chart()->legend()->setFont(small);
    chart()->setMargins(QMargins(4, 4, 4, 4));
    // The operator reads numbers with the decimal comma, whatever the locale.
    chart()->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    chart()->setLocalizeNumbers(true);
    setMinimumHeight(260);
    Clear();
}

void TErrorChart::Clear() {
    // The axes and the band stay: making them anew lays the whole chart out.
    for (QLineSeries* s : std::as_const(m_channels)) {
        chart()->removeSeries(s);
        delete s;
    }
    m_channels.clear();
    if (m_x == nullptr) {
        m_x = new QValueAxis(this);
        m_y = new QValueAxis(this);
        m_x->setLabelFormat("%.4g");
        m_y->setLabelFormat("%.3g");
        chart()->addAxis(m_x, Qt::AlignBottom);
        chart()->addAxis(m_y, Qt::AlignLeft);
        QPen band(Qt::red);
        band.setStyle(Qt::DashLine);
        m_upper = NewSeries(QStringLiteral("допуск"), band);
        m_lower = NewSeries(QString(), band);
        chart()->legend()->markers(m_lower).value(0)->setVisible(false);
    }
    m_upper->clear();
    m_lower->clear();
    m_x->setTitleText(QString());
    m_y->setTitleText(QString());
    chart()->setTitle(QString());
    m_empty = true;
    m_operation.clear();
}

QLineSeries* TErrorChart::NewSeries(const QString& name, const QPen& pen) {
    auto* s = new QLineSeries(this);
    s->setName(name);
    s->setPen(pen);
    chart()->addSeries(s);
    s->attachAxis(m_x);
    s->attachAxis(m_y);
    return s;
}

int TErrorChart::PointsOf(int channel) const {
    return m_channels.contains(channel) ? m_channels[channel]->count() : 0;
}

void TErrorChart::AddPoint(const PointResult& p, Quantity q, const std::optional<ErrorSpan>& span) {
    if (p.result == PointVerdict::NotMeasured) return;
    const QString op = QString::fromStdString(p.operation + p.procedure);
    if (op != m_operation) {
        Clear();
        m_operation = op;
        chart()->setTitle(QString::fromStdString(p.procedure));
        m_x->setTitleText(QStringLiteral("задано, ") + QString::fromUtf8(QuantityUnit(q)));
        m_y->setTitleText(QStringLiteral("погрешность, ") +
                          (p.errorKind == ErrorKind::Rel || p.errorKind == ErrorKind::Reduced
                               ? QStringLiteral("%")
                               : QString::fromUtf8(QuantityUnit(q))));
        if (span) {
            Fit(span->nominalMin, span->limitMax);
            Fit(span->nominalMax, span->limitMax);
        }
    }
    QLineSeries* s = m_channels.value(p.channelNo);
    if (s == nullptr) {
        QPen pen = QPen(QColor::fromHsv((m_channels.size() * 47) % 360, 200, 180), 2);
        s = NewSeries(QStringLiteral("Канал %1").arg(p.channelNo), pen);
        s->setPointsVisible(true);
        m_channels.insert(p.channelNo, s);
    }
    s->append(p.nominal, p.error);
    // The band is drawn once per nominal value.
    bool banded = false;
    for (const QPointF& pt : m_upper->points()) banded = banded || pt.x() == p.nominal;
    if (!banded) {
        m_upper->append(p.nominal, p.limit);
        m_lower->append(p.nominal, -p.limit);
    }
    Fit(p.nominal, std::max(std::fabs(p.error), p.limit));
}

void TErrorChart::Fit(double x, double y) {
    const bool first = m_empty;
    if (m_empty) {
        m_xMin = m_xMax = x;
        m_yMax = y;
        m_empty = false;
    }
    m_xMin = std::min(m_xMin, x);
    m_xMax = std::max(m_xMax, x);
    m_yMax = std::max(m_yMax, y);
    // Every change of range lays the whole chart out again: the axes keep
    // their round range while it still holds the point.
    if (!first && x >= m_x->min() && x <= m_x->max() && y <= m_y->max()) return;
    const double margin = m_xMax > m_xMin ? (m_xMax - m_xMin) * 0.05 : 1;
    // Nominal values of one sign keep their axis on that side of zero.
    const double low = m_xMin >= 0 ? std::max(0.0, m_xMin - margin) : m_xMin - margin;
    m_x->setRange(low, m_xMax + margin);
    const double y0 = m_yMax > 0 ? m_yMax * 1.2 : 1;
    m_y->setRange(-y0, y0);
    // Round ticks (4, 8, 12 mA), as the protocol's chart has them.
    m_x->applyNiceNumbers();
    m_y->applyNiceNumbers();
}

}  // namespace yukt
