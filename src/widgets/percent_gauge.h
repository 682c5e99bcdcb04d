#pragma once
// A horizontal gauge that shows a value between a minimum and a maximum as a
// filled bar with the per cent figure written across it.

#include <QColor>
#include <QWidget>

namespace yukt {

class PercentGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged)

  public:
    explicit PercentGauge(QWidget* parent = nullptr);

    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    int value() const { return m_value; }
    // Share of the range reached, 0..100, rounded down.
    int percent() const;
    // The figure written on the gauge, "42%".
    QString percentText() const;

    void setRange(int minimum, int maximum);
    void setForeColor(const QColor& c);
    QColor foreColor() const { return m_fore; }

    QSize sizeHint() const override { return {150, 18}; }

  public slots:
    // Values outside the range are held at its ends.
    void setValue(int value);

  signals:
    void valueChanged(int value);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    int m_min = 0;
    int m_max = 100;
    int m_value = 0;
    QColor m_fore{0x00, 0x00, 0x80};
};

}  // namespace yukt
