#include "widgets/led_indicator.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace yukt {

namespace {
// A dark lamp keeps a hint of its colour so that the operator can tell an
// unlit red lamp from an unlit green one.
constexpr int kDarkFactor = 300;
}  // namespace

LedIndicator::LedIndicator(QWidget* parent) : QWidget(parent) {
    m_blinkTimer.setInterval(500);
    connect(&m_blinkTimer, &QTimer::timeout, this, &LedIndicator::blinkStep);
}

QColor LedIndicator::faceColor() const {
    return isShowingLight() ? m_color : m_color.darker(kDarkFactor);
}

void LedIndicator::setColor(const QColor& color) {
    m_color = color;
    update();
}

void LedIndicator::setShape(Shape shape) {
    m_shape = shape;
    update();
}

void LedIndicator::setLit(bool on) {
    if (on == m_lit) return;
    m_lit = on;
    m_blinkPhaseOn = true;
    updateTimer();
    update();
    emit litChanged(on);
}

void LedIndicator::setBlinking(bool on) {
    m_blinking = on;
    m_blinkPhaseOn = true;
    updateTimer();
    update();
}

void LedIndicator::setBlinkInterval(int ms) { m_blinkTimer.setInterval(ms > 0 ? ms : 1); }

void LedIndicator::blinkStep() {
    if (!m_lit || !m_blinking) return;
    m_blinkPhaseOn = !m_blinkPhaseOn;
    update();
}

void LedIndicator::updateTimer() {
    if (m_lit && m_blinking)
        m_blinkTimer.start();
    else
        m_blinkTimer.stop();
}

void LedIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    const QColor face = faceColor();

    QPainterPath path;
    switch (m_shape) {
        case Shape::Round: {
            const qreal d = qMin(r.width(), r.height());
            path.addEllipse(QRectF(r.center().x() - d / 2, r.center().y() - d / 2, d, d));
            break;
        }
        case Shape::Square: {
            const qreal d = qMin(r.width(), r.height());
            path.addRect(QRectF(r.center().x() - d / 2, r.center().y() - d / 2, d, d));
            break;
        }
        case Shape::Rectangle:
            path.addRect(r);
            break;
        case Shape::Diamond: {
            const QPointF c = r.center();
            path.moveTo(c.x(), r.top());
            path.lineTo(r.right(), c.y());
            path.lineTo(c.x(), r.bottom());
            path.lineTo(r.left(), c.y());
            path.closeSubpath();
            break;
        }
    }

    // A highlight towards the upper left gives the lamp its glass look;
    // the centre keeps the face colour.
    QRadialGradient glow(r.center(), qMax(r.width(), r.height()) / 2,
                         r.center() - QPointF(r.width() / 5, r.height() / 5));
    glow.setColorAt(0.0, isShowingLight() ? face.lighter(160) : face.lighter(120));
    glow.setColorAt(0.35, face);
    glow.setColorAt(1.0, face.darker(150));
    p.setPen(QPen(palette().color(QPalette::Dark), 1));
    p.setBrush(glow);
    p.drawPath(path);
}

}  // namespace yukt
