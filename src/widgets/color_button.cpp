#include "widgets/color_button.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

namespace yukt {

ColorButton::ColorButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

ColorButton::ColorButton(const QString& caption, const QColor& color, QWidget* parent)
    : ColorButton(parent) {
    setText(caption);
    m_color = color;
}

void ColorButton::setColor(const QColor& color) {
    m_color = color;
    update();
}

void ColorButton::setTextColor(const QColor& color) {
    m_textColor = color;
    update();
}

QStringList ColorButton::captionLines() const { return text().split(QLatin1Char('\n')); }

QSize ColorButton::sizeHint() const {
    const QFontMetrics fm(font());
    int width = 0;
    const QStringList lines = captionLines();
    for (const QString& line : lines) width = qMax(width, fm.horizontalAdvance(line));
    return {width + 16, fm.lineSpacing() * int(lines.size()) + 10};
}

void ColorButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    const QColor face = isEnabled() ? m_color : m_color.lighter(170);
    const bool down = isDown() || isChecked();

    p.fillRect(r, face);
    // A raised bevel, sunken while pressed.
    const QColor light = face.lighter(150);
    const QColor dark = face.darker(180);
    p.setPen(down ? dark : light);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(down ? light : dark);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());

    const QStringList lines = captionLines();
    const QFontMetrics fm(font());
    const int blockHeight = fm.lineSpacing() * int(lines.size());
    int y = r.top() + (r.height() - blockHeight) / 2 + (down ? 1 : 0);
    p.setPen(isEnabled() ? m_textColor : m_textColor.darker(130));
    for (const QString& line : lines) {
        const QRect lineRect(r.left() + (down ? 1 : 0), y, r.width(), fm.lineSpacing());
        p.drawText(lineRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic, line);
        y += fm.lineSpacing();
    }

    if (hasFocus()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.rect = r.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
}

}  // namespace yukt
