// Every text of the fixed-size window can be read in full with the fonts
// Debian installs: group captions with the module's designation, labels, and
// the widest values each field can hold.

#include <QLabel>

#include "app/text_fit.h"
#include "page_rig.h"
#include "widgets/color_button.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

template <typename W>
QString cut(W* w, const QString& text) {
    const int need = QFontMetrics(w->font()).horizontalAdvance(text);
    const int room = TextRoom(w);
    if (need <= room && w->font().pointSizeF() >= kMinFitPointSize) return QString();
    return QStringLiteral("%1 \"%2\": %3 px in %4 px at %5 pt\n")
        .arg(w->objectName(), text)
        .arg(need)
        .arg(room)
        .arg(w->font().pointSizeF());
}

// What does not fit on the pages now shown.
QString clipped(TMainForm& form) {
    QString out;
    for (QGroupBox* g : form.findChildren<QGroupBox*>())
        if (g->isVisibleTo(&form)) out += cut(g, g->title());
    for (QLabel* l : form.findChildren<QLabel*>())
        if (l->isVisibleTo(&form) && !l->wordWrap()) out += cut(l, l->text());
    for (QLineEdit* e : form.findChildren<QLineEdit*>())
        if (e->isVisibleTo(&form)) out += cut(e, e->text());
    return out;
}

}  // namespace

class TextsTest : public QObject {
    Q_OBJECT

  private slots:
    void startPageReadsInFull();
    void captionsCarryTheWholeDesignation_data();
    void captionsCarryTheWholeDesignation();
    void fieldsShowTheirWidestValues_data();
    void fieldsShowTheirWidestValues();
    void fieldFollowsItsValuesWidthAsTheyChange();
};

void TextsTest::captionsCarryTheWholeDesignation_data() {
    QTest::addColumn<QString>("model");
    for (const char* m : {"745t", "748x", "787x", "735x", "735t"}) QTest::newRow(m) << m;
}

void TextsTest::startPageReadsInFull() {
    PageRig rig;
    TMainForm& form = rig.create();
    rig.screenshot("start.png");
    QCOMPARE(clipped(form), QString());
    QVERIFY(rig.waitForStartup());
}

void TextsTest::captionsCarryTheWholeDesignation() {
    QFETCH(QString, model);
    PageRig rig;
    TMainForm& form = rig.openPage(model.toStdString());
    QVERIFY(form.Instrument() != nullptr);
    if (model == "787x") {
        QVERIFY(form.GrBoxGenCur->title().contains(QString::fromStdString(form.ModuleDesignation)));
        PageRig::enter(form.le787xCur, "12");
        QTest::mouseClick(form.Start787xBtn, Qt::LeftButton);
        QVERIFY(rig.poll());
        rig.screenshot("page_787x.png");
    }
    // Every page of the work area, as the channel choice would show it.
    for (QStackedWidget* book : {form.NBCurImp, form.NB735Freq})
        for (int i = 0; i < book->count(); ++i) {
            book->setCurrentIndex(i);
            QCOMPARE(clipped(form), QString());
        }
}

void TextsTest::fieldsShowTheirWidestValues_data() {
    // The widest value a field can get: a period of the lowest frequency
    // with five decimals, a frequency error, a 32-bit count, the marker of
    // an error above 100 %, a reply error.
    QTest::addColumn<QString>("value");
    for (const char* v : {"-28571,42857", "-3508,77193", "4294967295", "     <><>", "Err 5"})
        QTest::newRow(v) << v;
}

void TextsTest::fieldsShowTheirWidestValues() {
    QFETCH(QString, value);
    AppRig rig;
    TMainForm& form = rig.create({"Idle", "0", "0", "0", "0", "0"});
    form.show();
    for (int page = 1; page <= 2; ++page) {
        form.NBMain->setCurrentIndex(1);
        form.NBWork->setCurrentIndex(page);
        for (QStackedWidget* book : {form.NBCurImp, form.NB735Freq})
            for (int i = 0; i < book->count(); ++i) {
                book->setCurrentIndex(i);
                for (QLineEdit* e : form.findChildren<QLineEdit*>())
                    if (e->isVisibleTo(&form)) e->setText(value);
                QCOMPARE(clipped(form), QString());
            }
    }
}

// A reading changes its digits at every reply: a field narrowed for a wide
// value takes its own font again for a short one, and is narrowed again when
// the value widens, after a resize too.
void TextsTest::fieldFollowsItsValuesWidthAsTheyChange() {
    AppRig rig;
    TMainForm& form = rig.create({"Idle", "0", "0", "0", "0", "0"});
    form.show();
    form.NBMain->setCurrentIndex(1);
    form.NBWork->setCurrentIndex(2);
    QLineEdit* e = form.e735Time;
    const QFont own = e->font();
    const QString values[] = {"-28571,42857", "1,5", "-31572,84961", "1,5", "-28571,42857"};
    for (const QString& v : values) {
        e->setText(v);
        QCOMPARE(cut(e, v), QString());
        QCOMPARE(e->font() == own, v.size() < 4);
    }
    const QFont wide = e->font();
    e->resize(e->width() - 10, e->height());
    e->setText("-31572,84961");
    QCOMPARE(cut(e, e->text()), QString());
    QVERIFY(e->font() != wide);
}

QTEST_MAIN(TextsTest)
#include "texts_test.moc"
