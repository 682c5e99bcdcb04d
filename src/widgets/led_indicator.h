#pragma once
// A signal lamp: lit or dark, in one of a few shapes, optionally blinking
// while lit. Used for the detector lamps of the frequency-module pages.

#include <QColor>
#include <QTimer>
#include <QWidget>

namespace yukt {

class LedIndicator : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool lit READ isLit WRITE setLit NOTIFY litChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor)
    Q_PROPERTY(bool blinking READ isBlinking WRITE setBlinking)

  public:
    enum class Shape { Round, Square, Rectangle, Diamond };

    explicit LedIndicator(QWidget* parent = nullptr);

    bool isLit() const { return m_lit; }
    QColor color() const { return m_color; }
    Shape shape() const { return m_shape; }
    bool isBlinking() const { return m_blinking; }
    int blinkInterval() const { return m_blinkTimer.interval(); }
    // What the lamp shows right now: lit, and not in the dark half of a blink.
    bool isShowingLight() const { return m_lit && m_blinkPhaseOn; }
    // The colour of the lamp's face as drawn right now.
    QColor faceColor() const;

    void setColor(const QColor& color);
    void setShape(Shape shape);
    void setBlinking(bool on);
    void setBlinkInterval(int ms);

    QSize sizeHint() const override { return {16, 16}; }

  public slots:
    void setLit(bool on);
    // Advances the blink by one half period (the blink timer calls it).
    void blinkStep();

  signals:
    void litChanged(bool on);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    void updateTimer();

    QColor m_color{Qt::red};
    Shape m_shape = Shape::Round;
    bool m_lit = false;
    bool m_blinking = false;
    bool m_blinkPhaseOn = true;
    QTimer m_blinkTimer;
};

}  // namespace yukt
