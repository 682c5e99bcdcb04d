#pragma once
// A push button painted in a colour of its own with a caption of one or more
// lines (lines separated by "\n") — the red "Пуск" buttons of the generators.

#include <QAbstractButton>
#include <QColor>

namespace yukt {

class ColorButton : public QAbstractButton {
    Q_OBJECT

  public:
    explicit ColorButton(QWidget* parent = nullptr);
    ColorButton(const QString& caption, const QColor& color, QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor& color);
    // The caption split into its lines.
    QStringList captionLines() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QColor m_color{Qt::red};
    QColor m_textColor{Qt::white};
};

}  // namespace yukt
