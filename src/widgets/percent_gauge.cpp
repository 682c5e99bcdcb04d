#include "widgets/percent_gauge.h"

#include <QPainter>

namespace yukt {

PercentGauge::PercentGauge(QWidget* parent) : QWidget(parent) {}

int PercentGauge::percent() const {
    if (m_max <= m_min) return 0;
    return int((qint64(m_value - m_min) * 100) / (m_max - m_min));
}

QString PercentGauge::percentText() const { return QString::number(percent()) + QLatin1Char('%'); }

void PercentGauge::setRange(int minimum, int maximum) {
    m_min = minimum;
    m_max = qMax(minimum, maximum);
    setValue(m_value);
    update();
}

void PercentGauge::setForeColor(const QColor& c) {
    m_fore = c;
    update();
}

void PercentGauge::setValue(int value) {
    const int v = qBound(m_min, value, m_max);
    if (v == m_value) return;
    m_value = v;
    update();
    emit valueChanged(v);
}

void PercentGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    const QColor back = palette().color(QPalette::Base);
    p.fillRect(r, back);
    const int filled = r.width() * percent() / 100;
    const QRect bar(r.left(), r.top(), filled, r.height());
    p.fillRect(bar, m_fore);

    // The figure is drawn twice, clipped, so that it stays readable in
    // inverse colours where the bar passes under it.
    const QString figure = percentText();
    p.setPen(m_fore);
    p.setClipRect(r.adjusted(filled, 0, 0, 0));
    p.drawText(r, Qt::AlignCenter, figure);
    p.setPen(back);
    p.setClipRect(bar);
    p.drawText(r, Qt::AlignCenter, figure);
    p.setClipping(false);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

}  // namespace yukt
