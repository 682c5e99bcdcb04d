#include "widgets/speed_button.h"

#include <QEnterEvent>
#include <QLinearGradient>
#include <QPainter>

namespace yukt {

SpeedButton::SpeedButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);  // a speed button never takes the focus
    setAttribute(Qt::WA_Hover);
}

SpeedButton::SpeedButton(const QString& text, QWidget* parent) : SpeedButton(parent) {
    setText(text);
}

void SpeedButton::setGradient(const QColor& top, const QColor& bottom) {
    m_top = top;
    m_bottom = bottom;
    update();
}

QSize SpeedButton::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(text()) + 16, fm.height() + 10};
}

void SpeedButton::enterEvent(QEnterEvent* e) {
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(e);
}

void SpeedButton::leaveEvent(QEvent* e) {
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void SpeedButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    QColor top = m_top;
    QColor bottom = m_bottom;
    if (!isEnabled()) {
        top = top.lighter(105);
        bottom = top;
    } else if (isDown() || isChecked()) {
        std::swap(top, bottom);  // pressed: the light falls the other way
    }
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(r, g);

    if (m_hovered && isEnabled()) {
        p.setPen(palette().color(QPalette::Highlight));
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const int shift = isDown() ? 1 : 0;
    p.drawText(r.translated(shift, shift), Qt::AlignCenter | Qt::TextShowMnemonic, text());
}

}  // namespace yukt
