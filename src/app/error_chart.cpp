#include "app/error_chart.h"

#include <QChart>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QValueAxis>
#include <cmath>

#include "records/record.h"
#include "records/ru_format.h"
#include "records/run_recorder.h"
#include "verify/procedure.h"

namespace yukt {

using namespace verify;

namespace {

// Round axis ranges by the axes' own rule (as applyNiceNumbers has them),
// worked out here: every change of an axis lays the whole chart out, and
// applyNiceNumbers would change each axis three times.
double NiceNumber(double x, bool ceiling) {
    const double z = std::pow(10.0, std::floor(std::log10(x)));
    const double q = x / z;
    if (ceiling) return (q <= 1 ? 1 : q <= 2 ? 2 : q <= 5 ? 5 : 10) * z;
    return (q < 1.5 ? 1 : q < 3 ? 2 : q < 7 ? 5 : 10) * z;
}

struct AxisTicks {
    double min, max;
    int count;
};

AxisTicks NiceTicks(double min, double max) {
    constexpr int kTicks = 5;
    if (!(max > min)) return {min, max, kTicks};
    const double range = NiceNumber(max - min, true);
    const double step = NiceNumber(range / (kTicks - 1), false);
    const double low = std::floor(min / step), high = std::ceil(max / step);
    return {low * step, high * step, int(high - low) + 1};
}

void SetAxis(QValueAxis* axis, double min, double max) {
    const AxisTicks t = NiceTicks(min, max);
    if (axis->tickCount() != t.count) axis->setTickCount(t.count);
    if (axis->min() != t.min || axis->max() != t.max) axis->setRange(t.min, t.max);
}

void SetTitle(QValueAxis* axis, const QString& title) {
    if (axis->titleText() != title) axis->setTitleText(title);
}

}  // namespace

TErrorChart::TErrorChart(QWidget* parent) : QChartView(parent) {
    setObjectName("ErrorChart");
    setRenderHint(QPainter::Antialiasing);
    // The chart's own legend is one column that cuts what does not fit.
    chart()->legend()->hide();
    m_legend = new QLabel(this);
    m_legend->setObjectName("ErrorChartLegend");
    m_legend->setTextFormat(Qt::RichText);
    m_legend->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    chart()->setMargins(QMargins(4, 4, 4, 4));
    // The operator reads numbers with the decimal comma, whatever the locale.
    chart()->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    chart()->setLocalizeNumbers(true);
    // A methodology's long operation titles fit beside the legend.
    QFont title = chart()->titleFont();
    title.setPointSize(8);
    chart()->setTitleFont(title);
    setMinimumHeight(260);
    // The axes and the band stay for good: making them anew lays the whole
    // chart out.
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
    Clear();
}

void TErrorChart::Clear() {
    RemoveChannels();
    SetTitle(m_x, QString());
    SetTitle(m_y, QString());
    chart()->setTitle(QString());
}

void TErrorChart::RemoveChannels() {
    for (QLineSeries* s : std::as_const(m_channels)) {
        chart()->removeSeries(s);
        delete s;
    }
    m_channels.clear();
    m_upper->clear();
    m_lower->clear();
    m_empty = true;
    m_operation.clear();
    ShowLegend();
}

// The band and every channel in its colour, nine names to a column.
void TErrorChart::ShowLegend() {
    constexpr int kRows = 9;  // the band and sixteen channels in two columns
    QStringList entries{QStringLiteral("<span style='color:red'>- -</span>&nbsp;допуск")};
    for (auto i = m_channels.cbegin(); i != m_channels.cend(); ++i)
        entries << QStringLiteral("<span style='color:%1'>&#9632;</span>&nbsp;Канал %2")
                       .arg(i.value()->pen().color().name())
                       .arg(i.key());
    const int columns = (entries.size() + kRows - 1) / kRows;
    QString html = QStringLiteral("<table cellspacing='2'>");
    for (int r = 0; r < std::min<int>(kRows, entries.size()); ++r) {
        html += "<tr>";
        for (int c = 0; c < columns; ++c) {
            const int i = c * kRows + r;
            html += "<td>" + (i < entries.size() ? entries[i] : QString()) + "</td>";
        }
        html += "</tr>";
    }
    m_legend->setText(html + "</table>");
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
        RemoveChannels();
        m_operation = op;
        const QString title = QString::fromStdString(p.procedure);
        if (chart()->title() != title) chart()->setTitle(title);
        SetTitle(m_x, QStringLiteral("задано, ") + QString::fromUtf8(QuantityUnit(q)));
        // The unit of the error as the table and the protocol give it.
        SetTitle(m_y, QStringLiteral("погрешность, ") +
                          records::ErrorUnit(records::ToRecordPoint(p, QString::fromUtf8(QuantityUnit(q)))));
        if (span) {
            Extend(span->nominalMin, span->limitMax);
            Extend(span->nominalMax, span->limitMax);
            Fit();
        }
    }
    QLineSeries* s = m_channels.value(p.channelNo);
    if (s == nullptr) {
        QPen pen = QPen(QColor::fromHsv((m_channels.size() * 47) % 360, 200, 180), 2);
        s = NewSeries(QStringLiteral("Канал %1").arg(p.channelNo), pen);
        s->setPointsVisible(true);
        m_channels.insert(p.channelNo, s);
        ShowLegend();
    }
    s->append(p.nominal, p.error);
    // The band is drawn once per nominal value.
    bool banded = false;
    for (const QPointF& pt : m_upper->points()) banded = banded || pt.x() == p.nominal;
    if (!banded) {
        m_upper->append(p.nominal, p.limit);
        m_lower->append(p.nominal, -p.limit);
    }
    // The axes keep their round range while it still holds the point.
    const double y = std::max(std::fabs(p.error), p.limit);
    const bool first = m_empty;
    Extend(p.nominal, y);
    if (first || p.nominal < m_x->min() || p.nominal > m_x->max() || y > m_y->max()) Fit();
}

void TErrorChart::Extend(double x, double y) {
    if (m_empty) {
        m_xMin = m_xMax = x;
        m_yMax = y;
        m_empty = false;
    }
    m_xMin = std::min(m_xMin, x);
    m_xMax = std::max(m_xMax, x);
    m_yMax = std::max(m_yMax, y);
}

void TErrorChart::Fit() {
    const double margin = m_xMax > m_xMin ? (m_xMax - m_xMin) * 0.05 : 1;
    // Nominal values of one sign keep their axis on that side of zero.
    const double low = m_xMin >= 0 ? std::max(0.0, m_xMin - margin) : m_xMin - margin;
    // Round ticks (4, 8, 12 mA), as the protocol's chart has them.
    SetAxis(m_x, low, m_xMax + margin);
    const double y0 = m_yMax > 0 ? m_yMax * 1.2 : 1;
    SetAxis(m_y, -y0, y0);
}

}  // namespace yukt
