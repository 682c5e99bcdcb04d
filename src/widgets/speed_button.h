#pragma once
// A flat button with a vertical colour gradient and no frame until the mouse
// is over it — the "Закончить поверку" / "Закрыть" buttons at the bottom of
// the work page.

#include <QAbstractButton>
#include <QColor>

namespace yukt {

class SpeedButton : public QAbstractButton {
    Q_OBJECT

  public:
    explicit SpeedButton(QWidget* parent = nullptr);
    SpeedButton(const QString& text, QWidget* parent = nullptr);

    QColor topColor() const { return m_top; }
    QColor bottomColor() const { return m_bottom; }
    void setGradient(const QColor& top, const QColor& bottom);

    bool isHovered() const { return m_hovered; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

  private:
    QColor m_top{0xF4, 0xF4, 0xF4};
    QColor m_bottom{0xB8, 0xC8, 0xDC};
    bool m_hovered = false;
};

}  // namespace yukt
