// The four display widgets of the workstation, rendered offscreen.

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "widgets/color_button.h"
#include "widgets/led_indicator.h"
#include "widgets/percent_gauge.h"
#include "widgets/speed_button.h"

using namespace yukt;

namespace {

QImage render(QWidget& w) {
    QImage img(w.size(), QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

int brightness(QRgb c) { return qRed(c) + qGreen(c) + qBlue(c); }

}  // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

  private slots:
    void ledShowsLightOnlyWhileLit_data();
    void ledShowsLightOnlyWhileLit();
    void ledBlinkAlternatesOnlyWhileLitAndBlinking();
    void ledShapesCoverDifferentAreas();
    void speedButtonClicksOnlyWhenEnabled();
    void speedButtonPaintsItsGradient();
    void colorButtonSplitsCaptionAndPaintsColour();
    void gaugeHoldsValueInRange_data();
    void gaugeHoldsValueInRange();
    void gaugeFillMatchesPercent();
};

void WidgetsTest::ledShowsLightOnlyWhileLit_data() {
    QTest::addColumn<QColor>("color");
    QTest::addColumn<bool>("lit");
    QTest::newRow("red lit") << QColor(Qt::red) << true;
    QTest::newRow("red dark") << QColor(Qt::red) << false;
    QTest::newRow("green lit") << QColor(Qt::green) << true;
    QTest::newRow("yellow dark") << QColor(Qt::yellow) << false;
}

void WidgetsTest::ledShowsLightOnlyWhileLit() {
    QFETCH(QColor, color);
    QFETCH(bool, lit);
    LedIndicator led;
    led.resize(21, 21);
    led.setColor(color);
    QSignalSpy spy(&led, &LedIndicator::litChanged);
    led.setLit(lit);
    QCOMPARE(spy.count(), lit ? 1 : 0);
    QCOMPARE(led.isShowingLight(), lit);
    QCOMPARE(led.faceColor() == color, lit);

    // The painted lamp is clearly brighter when lit than when dark.
    LedIndicator other;
    other.resize(21, 21);
    other.setColor(color);
    other.setLit(!lit);
    const int mine = brightness(render(led).pixel(12, 12));
    const int theirs = brightness(render(other).pixel(12, 12));
    QVERIFY(lit ? mine > theirs + 100 : theirs > mine + 100);
}

void WidgetsTest::ledBlinkAlternatesOnlyWhileLitAndBlinking() {
    LedIndicator led;
    led.setBlinking(true);
    led.blinkStep();
    QVERIFY(!led.isShowingLight());  // dark lamps never blink on

    led.setLit(true);
    QVERIFY(led.isShowingLight());
    led.blinkStep();
    QVERIFY(!led.isShowingLight());
    led.blinkStep();
    QVERIFY(led.isShowingLight());

    led.blinkStep();
    led.setBlinking(false);  // stopping the blink shows the steady light
    QVERIFY(led.isShowingLight());
    led.blinkStep();
    QVERIFY(led.isShowingLight());

    // The blink timer drives the steps by itself.
    led.setBlinkInterval(5);
    led.setBlinking(true);
    QTRY_VERIFY_WITH_TIMEOUT(!led.isShowingLight(), 2000);
}

void WidgetsTest::ledShapesCoverDifferentAreas() {
    auto litPixels = [](LedIndicator::Shape shape) {
        LedIndicator led;
        led.resize(30, 20);
        led.setColor(Qt::blue);
        led.setShape(shape);
        led.setLit(true);
        const QImage img = render(led);
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qAlpha(img.pixel(x, y)) > 0) ++n;
        return n;
    };
    const int round = litPixels(LedIndicator::Shape::Round);
    const int square = litPixels(LedIndicator::Shape::Square);
    const int rect = litPixels(LedIndicator::Shape::Rectangle);
    const int diamond = litPixels(LedIndicator::Shape::Diamond);
    QVERIFY(round < square);
    QVERIFY(square < rect);
    QVERIFY(diamond < rect);
}

void WidgetsTest::speedButtonClicksOnlyWhenEnabled() {
    SpeedButton b("Закрыть");
    b.resize(100, 25);
    QCOMPARE(b.text(), QString("Закрыть"));
    QCOMPARE(b.focusPolicy(), Qt::NoFocus);
    QSignalSpy clicks(&b, &QAbstractButton::clicked);
    QTest::mouseClick(&b, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    b.setEnabled(false);
    QTest::mouseClick(&b, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
}

void WidgetsTest::speedButtonPaintsItsGradient() {
    SpeedButton b;
    b.resize(60, 40);
    b.setGradient(QColor(255, 255, 255), QColor(0, 0, 0));
    const QImage img = render(b);
    // Text-free corners show the two ends of the gradient.
    QVERIFY(brightness(img.pixel(2, 2)) > brightness(img.pixel(2, 37)) + 300);
    b.setDown(true);
    const QImage pressed = render(b);
    QVERIFY(brightness(pressed.pixel(2, 2)) + 300 < brightness(pressed.pixel(2, 37)));
}

void WidgetsTest::colorButtonSplitsCaptionAndPaintsColour() {
    ColorButton one("Пуск", Qt::red);
    ColorButton two("Пуск\nгенератора", Qt::red);
    QCOMPARE(two.captionLines(), QStringList({"Пуск", "генератора"}));
    QVERIFY(two.sizeHint().height() > one.sizeHint().height());
    QVERIFY(two.sizeHint().width() > one.sizeHint().width());

    one.resize(60, 30);
    const QRgb corner = render(one).pixel(5, 3);
    QVERIFY(qRed(corner) > 200 && qGreen(corner) < 60 && qBlue(corner) < 60);

    QSignalSpy clicks(&one, &QAbstractButton::clicked);
    QTest::mouseClick(&one, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
}

void WidgetsTest::gaugeHoldsValueInRange_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("held");
    QTest::addColumn<QString>("text");
    QTest::newRow("inside") << 42 << 42 << "42%";
    QTest::newRow("below") << -5 << 0 << "0%";
    QTest::newRow("above") << 250 << 100 << "100%";
    QTest::newRow("end") << 99 << 99 << "99%";
}

void WidgetsTest::gaugeHoldsValueInRange() {
    QFETCH(int, value);
    QFETCH(int, held);
    QFETCH(QString, text);
    PercentGauge g;
    g.setValue(value);
    QCOMPARE(g.value(), held);
    QCOMPARE(g.percentText(), text);

    // Other ranges give the share of the range, not the raw value.
    g.setRange(0, 200);
    g.setValue(50);
    QCOMPARE(g.percent(), 25);
}

void WidgetsTest::gaugeFillMatchesPercent() {
    PercentGauge g;
    g.resize(100, 10);
    g.setForeColor(QColor(0, 0, 255));
    g.setValue(30);
    const QImage img = render(g);
    QCOMPARE(img.pixel(20, 1), QColor(0, 0, 255).rgb());
    QVERIFY(img.pixel(80, 1) != QColor(0, 0, 255).rgb());
}

QTEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
