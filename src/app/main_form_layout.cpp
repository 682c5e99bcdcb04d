// The controls of the main window: notebooks, pages and their fields with the
// names, default texts and colour states the handlers rely on. Positions are
// fixed, as on a dialog of fixed size.

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

#include "app/field_state.h"
#include "app/main_form.h"
#include "app/text_fit.h"
#include "widgets/color_button.h"
#include "widgets/led_indicator.h"
#include "widgets/percent_gauge.h"
#include "widgets/speed_button.h"

namespace yukt {

namespace {

const QColor kMaroon{0x80, 0x00, 0x00};

// Columns of the two-column groups: a row label, then two fields.
constexpr int kRowLabelX = 3, kRowLabelW = 65;
constexpr int kCol1X = 68, kCol2X = 129, kColW = 58, kBothW = 119;
constexpr int kRowH = 20;

QWidget* page(QStackedWidget* book, const char* name) {
    auto* p = new QWidget(book);
    p->setObjectName(name);
    book->addWidget(p);
    return p;
}

QStackedWidget* notebook(QWidget* parent, const char* name, QRect r) {
    auto* nb = new QStackedWidget(parent);
    nb->setObjectName(name);
    nb->setGeometry(r);
    return nb;
}

QLabel* label(QWidget* parent, const QString& text, QRect r, const char* name = nullptr,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* l = new QLabel(text, parent);
    if (name) l->setObjectName(name);
    l->setGeometry(r);
    l->setAlignment(align);
    l->setWordWrap(r.height() >= 24);
    return l;
}

// A label over a column of fields.
QLabel* header(QWidget* parent, const QString& text, int x, int y, int w = kColW, int h = 14) {
    QLabel* l = label(parent, text, QRect(x, y, w, h), nullptr, Qt::AlignHCenter | Qt::AlignBottom);
    QFont small = l->font();
    small.setPointSizeF(small.pointSizeF() - 1);
    l->setFont(small);
    return l;
}

// A sunken panel showing a fixed limit.
QLabel* limitPanel(QWidget* parent, const QString& text, int x, int y) {
    QLabel* l = label(parent, text, QRect(x, y, kColW, kRowH), nullptr, Qt::AlignCenter);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return l;
}

QLineEdit* edit(QWidget* parent, const char* name, QRect r, FieldState state,
                const QString& text = QString()) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    e->setGeometry(r);
    SetFieldState(e, state);
    return e;
}

QGroupBox* group(QWidget* parent, const char* name, const QString& caption, QRect r) {
    auto* g = new QGroupBox(caption, parent);
    if (name) g->setObjectName(name);
    g->setGeometry(r);
    return g;
}

QComboBox* combo(QWidget* parent, const char* name, QRect r, const QStringList& items) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setGeometry(r);
    c->addItems(items);
    if (!items.isEmpty()) c->setCurrentIndex(0);
    return c;
}

ColorButton* startButton(QWidget* parent, const char* name, QRect r) {
    auto* b = new ColorButton(QStringLiteral("Пуск"), Qt::red, parent);
    b->setObjectName(name);
    b->setGeometry(r);
    return b;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, QRect r) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(r);
    return b;
}

LedIndicator* led(QWidget* parent, const char* name, const QString& caption, int x, int y) {
    auto* l = new LedIndicator(parent);
    l->setObjectName(name);
    l->setGeometry(x, y, 16, 16);
    l->setColor(Qt::green);
    label(parent, caption, QRect(x + 20, y, 24, 16));
    return l;
}

// The picture of the start page: a module of the line on its rail.
QPixmap modulePicture() {
    QPixmap pm(110, 130);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // The rail runs behind the module, never across its lettering.
    p.fillRect(QRectF(0, 62, 110, 6), Qt::gray);
    p.setPen(QPen(Qt::darkGray, 2));
    p.setBrush(QColor(0xD8, 0xD8, 0xD0));
    p.drawRoundedRect(QRectF(20, 5, 70, 120), 6, 6);
    p.setBrush(QColor(0x30, 0x30, 0x30));
    for (int i = 0; i < 4; ++i) {
        p.drawRect(QRectF(28 + i * 15, 10, 9, 9));
        p.drawRect(QRectF(28 + i * 15, 111, 9, 9));
    }
    p.setBrush(Qt::green);
    p.drawEllipse(QRectF(30, 30, 8, 8));
    p.setBrush(Qt::red);
    p.drawEllipse(QRectF(44, 30, 8, 8));
    p.setPen(kMaroon);
    QFont f = p.font();
    f.setBold(true);
    f.setPointSize(11);
    p.setFont(f);
    p.drawText(QRectF(20, 50, 70, 50), Qt::AlignCenter, QStringLiteral("ЮКТ\n7xxx"));
    return pm;
}

}  // namespace

void TMainForm::BuildLayout() {
    setWindowTitle(QStringLiteral("Поверка модулей v1.0"));
    // Where Arial is missing, a face of its width keeps the fixed layout readable.
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("DejaVu Sans Condensed")});
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    setFont(font);
    setFixedSize(398, 273);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    NBMain = notebook(this, "NBMain", QRect(0, 0, 398, 273));

    // ---- Start page ----
    QWidget* init = page(NBMain, "InitPage");
    QLabel* picture = label(init, QString(), QRect(20, 24, 110, 130), "InitImage");
    picture->setPixmap(modulePicture());
    QFont big = font;
    big.setPointSize(16);
    big.setBold(true);
    const QStringList titles = {QStringLiteral("Калибратор"), QStringLiteral("поверочный"),
                                QStringLiteral("\"ЗИРОК-М\"")};
    for (int i = 0; i < titles.size(); ++i) {
        QLabel* t = label(init, titles[i], QRect(150, 40 + i * 34, 236, 30));
        t->setFont(big);
        QPalette pal = t->palette();
        pal.setColor(QPalette::WindowText, kMaroon);
        t->setPalette(pal);
    }
    InitLabel =
        label(init, QStringLiteral("Инициализация..."), QRect(20, 190, 358, 20), "InitLabel");
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setPointSize(9);
    InitLabel->setFont(fixed);
    QPalette maroonText = InitLabel->palette();
    maroonText.setColor(QPalette::WindowText, kMaroon);
    InitLabel->setPalette(maroonText);
    InitPrBar = new PercentGauge(init);
    InitPrBar->setObjectName("InitPrBar");
    InitPrBar->setGeometry(20, 220, 358, 18);
    InitPrBar->setRange(0, 100);
    InitPrBar->hide();
    // The records of past verifications; Ctrl+J and the right-click menu
    // open them from every page too.
    auto* journalBtn = new QPushButton(QStringLiteral("Журнал поверок"), init);
    journalBtn->setObjectName("JournalBtn");
    journalBtn->setGeometry(250, 158, 136, 24);
    journalBtn->setToolTip(QStringLiteral("Журнал поверок (Ctrl+J)"));

    // ---- Work page ----
    QWidget* work = page(NBMain, "Work");
    NBWork = notebook(work, "NBWork", QRect(0, 0, 398, 238));
    EndCheckBtn = new SpeedButton(QStringLiteral("Закончить поверку"), work);
    EndCheckBtn->setObjectName("EndCheckBtn");
    EndCheckBtn->setGeometry(8, 243, 185, 25);
    EndCheckBtn->setEnabled(false);
    CloseBtn = new SpeedButton(QStringLiteral("Закрыть"), work);
    CloseBtn->setObjectName("CloseBtn");
    CloseBtn->setGeometry(205, 243, 185, 25);

    // "PInit": instructions, "Далее", the detection progress.
    QWidget* pinit = page(NBWork, "PInit");
    LProc = label(pinit,
                  QStringLiteral("Установите переключатель выбора режима работы КП \"ЗИРОК-М\" в "
                                 "положение \"Режим замены модуля\"."),
                  QRect(16, 24, 366, 110), "LProc", Qt::AlignCenter);
    LProc->setWordWrap(true);
    QFont procFont = font;
    procFont.setPointSize(10);
    procFont.setBold(true);
    LProc->setFont(procFont);
    NextBtn = button(pinit, "NextBtn", QStringLiteral("Далее"), QRect(149, 148, 100, 28));
    FindPrBar = new QProgressBar(pinit);
    FindPrBar->setObjectName("FindPrBar");
    FindPrBar->setGeometry(16, 196, 366, 16);
    FindPrBar->setRange(0, 100);
    FindPrBar->setValue(0);
    FindPrBar->setTextVisible(false);
    FindPrBar->hide();

    // ---- "PAllCur": current and resistance channels ----
    QWidget* cur = page(NBWork, "PAllCur");
    lCurChl = label(cur, QStringLiteral("Текущий канал:"), QRect(8, 5, 90, kRowH), "lCurChl");
    cbChlMode = combo(cur, "cbChlMode", QRect(100, 4, 290, 21), {});

    GrBoxGenCur =
        group(cur, "GrBoxGenCur", QStringLiteral(" Генератор токового сигнала КП \"ЗИРОК-М\" "),
              QRect(4, 28, 194, 208));
    header(GrBoxGenCur, QStringLiteral("Min"), kCol1X, 18);
    header(GrBoxGenCur, QStringLiteral("Max"), kCol2X, 18);
    label(GrBoxGenCur, QStringLiteral("Ток, mA"), QRect(kRowLabelX, 34, kRowLabelW, kRowH));
    e787xIMin = edit(GrBoxGenCur, "e787xIMin", QRect(kCol1X, 34, kColW, kRowH), FieldState::Input,
                     QStringLiteral("0"));
    e787xIMax = edit(GrBoxGenCur, "e787xIMax", QRect(kCol2X, 34, kColW, kRowH), FieldState::Input,
                     QStringLiteral("20"));
    label(GrBoxGenCur, QStringLiteral("Параметр"), QRect(kRowLabelX, 58, kRowLabelW, kRowH));
    e787xParMin = edit(GrBoxGenCur, "e787xParMin", QRect(kCol1X, 58, kColW, kRowH),
                       FieldState::Input, QStringLiteral("0"));
    e787xParMax = edit(GrBoxGenCur, "e787xParMax", QRect(kCol2X, 58, kColW, kRowH),
                       FieldState::Input, QStringLiteral("20"));
    header(GrBoxGenCur, QStringLiteral("Ток, mA"), kCol1X, 86);
    header(GrBoxGenCur, QStringLiteral("Параметр"), kCol2X, 86);
    label(GrBoxGenCur, QStringLiteral("Задаваемое"), QRect(kRowLabelX, 102, kRowLabelW, kRowH),
          "le787xCurLabel");
    le787xCur = edit(GrBoxGenCur, "le787xCur", QRect(kCol1X, 102, kColW, kRowH), FieldState::Input);
    e787xParam =
        edit(GrBoxGenCur, "e787xParam", QRect(kCol2X, 102, kColW, kRowH), FieldState::ReadOnly);
    Start787xBtn = startButton(GrBoxGenCur, "Start787xBtn", QRect(kCol1X, 130, kBothW, 30));
    label(GrBoxGenCur, QStringLiteral("На выходе"), QRect(kRowLabelX, 170, kRowLabelW, kRowH),
          "le787xOutLabel");
    le787xOut = edit(GrBoxGenCur, "le787xOut", QRect(kCol1X, 170, kColW, kRowH),
                     FieldState::ReadOnly, QStringLiteral("4,000"));

    NBCurImp = notebook(cur, "NBCurImp", QRect(200, 28, 196, 208));
    QWidget* pcurrent = page(NBCurImp, "PCurrent");
    GrBox745Cur = group(pcurrent, "GrBox745Cur", QStringLiteral(" Измеритель токового сигнала "),
                        QRect(0, 0, 194, 208));
    header(GrBox745Cur, QStringLiteral("Min"), kCol1X, 18);
    header(GrBox745Cur, QStringLiteral("Max"), kCol2X, 18);
    label(GrBox745Cur, QStringLiteral("Ток, mA"), QRect(kRowLabelX, 34, kRowLabelW, kRowH));
    e745CurMin = edit(GrBox745Cur, "e745CurMin", QRect(kCol1X, 34, kColW, kRowH), FieldState::Input,
                      QStringLiteral("0"));
    e745CurMax = edit(GrBox745Cur, "e745CurMax", QRect(kCol2X, 34, kColW, kRowH), FieldState::Input,
                      QStringLiteral("20"));
    label(GrBox745Cur, QStringLiteral("Параметр"), QRect(kRowLabelX, 58, kRowLabelW, kRowH));
    e745CurParMin = edit(GrBox745Cur, "e745CurParMin", QRect(kCol1X, 58, kColW, kRowH),
                         FieldState::Input, QStringLiteral("0"));
    e745CurParMax = edit(GrBox745Cur, "e745CurParMax", QRect(kCol2X, 58, kColW, kRowH),
                         FieldState::Input, QStringLiteral("20"));
    header(GrBox745Cur, QStringLiteral("Ток, mA"), kCol1X, 86);
    header(GrBox745Cur, QStringLiteral("Параметр"), kCol2X, 86);
    label(GrBox745Cur, QStringLiteral("На входе"), QRect(kRowLabelX, 102, kRowLabelW, kRowH),
          "e745CurLabel");
    e745Cur = edit(GrBox745Cur, "e745Cur", QRect(kCol1X, 102, kColW, kRowH), FieldState::ReadOnly);
    e745CurPar =
        edit(GrBox745Cur, "e745CurPar", QRect(kCol2X, 102, kColW, kRowH), FieldState::ReadOnly);
    cbErrorCur = combo(GrBox745Cur, "cbErrorCur", QRect(kCol1X, 132, kBothW, 21),
                       {QStringLiteral("Абс. погр."), QStringLiteral("Отн. погр."),
                        QStringLiteral("Прив. погр.")});
    eErrorCur =
        edit(GrBox745Cur, "eErrorCur", QRect(kCol1X, 160, kColW, kRowH), FieldState::ReadOnly);
    eErrorPar =
        edit(GrBox745Cur, "eErrorPar", QRect(kCol2X, 160, kColW, kRowH), FieldState::ReadOnly);

    QWidget* pimp = page(NBCurImp, "PImpedance");
    GrBox745Imp = group(pimp, "GrBox745Imp", QStringLiteral(" Измеритель резистивного сигнала "),
                        QRect(0, 0, 194, 208));
    label(GrBox745Imp, QStringLiteral("Сопротивление, Ом"), QRect(6, 22, 182, 14));
    eImp745 = edit(GrBox745Imp, "eImp745", QRect(6, 38, 182, kRowH), FieldState::ReadOnly);
    label(GrBox745Imp, QStringLiteral("Температура, °C"), QRect(6, 66, 182, 14));
    eTemp745 = edit(GrBox745Imp, "eTemp745", QRect(6, 82, 182, kRowH), FieldState::ReadOnly);
    label(GrBox745Imp, QStringLiteral("Материал ТС:"), QRect(6, 114, 182, 14));
    cbMaterialImp =
        combo(GrBox745Imp, "cbMaterialImp", QRect(6, 130, 182, 21),
              {QStringLiteral("Платина"), QStringLiteral("Медь"), QStringLiteral("Евро-платина")});

    // ---- "PAll735": frequency, interval and count ----
    QWidget* f735 = page(NBWork, "PAll735");
    label(f735, QStringLiteral("Режим поверки:"), QRect(8, 5, 90, kRowH));
    cb735ChlMode = combo(f735, "cb735ChlMode", QRect(100, 4, 290, 21),
                         {QStringLiteral("трансляция 2 канала")});
    NB735Freq = notebook(f735, "NB735Freq", QRect(0, 28, 398, 210));
    const QString freqGenCaption = QStringLiteral("Генератор частотного сигнала КП \"ЗИРОК-М\" ");
    const QStringList errorKinds = {QStringLiteral("Абс. погр."), QStringLiteral("Отн. погр.")};

    // A generator group's limit rows: "Min"/"Max" over two fixed panels.
    auto limits = [](QGroupBox* g, const QString& rowLabel, const QString& lo, const QString& hi) {
        header(g, QStringLiteral("Min"), kCol1X, 16);
        header(g, QStringLiteral("Max"), kCol2X, 16);
        label(g, rowLabel, QRect(kRowLabelX, 32, kRowLabelW, kRowH));
        limitPanel(g, lo, kCol1X, 32);
        limitPanel(g, hi, kCol2X, 32);
    };

    QWidget* pfreq = page(NB735Freq, "P735Freq");
    GrBox788Freq = group(pfreq, "GrBox788Freq", freqGenCaption, QRect(4, 0, 194, 208));
    limits(GrBox788Freq, QStringLiteral("Частота, Гц"), QStringLiteral("35"),
           QStringLiteral("3500"));
    header(GrBox788Freq, QStringLiteral("Частота, Гц"), kCol1X, 62);
    header(GrBox788Freq, QStringLiteral("Период, мкс"), kCol2X, 62);
    label(GrBox788Freq, QStringLiteral("Задаваемое"), QRect(kRowLabelX, 78, kRowLabelW, kRowH));
    e788Freq = edit(GrBox788Freq, "e788Freq", QRect(kCol1X, 78, kColW, kRowH), FieldState::Input);
    e788Per = edit(GrBox788Freq, "e788Per", QRect(kCol2X, 78, kColW, kRowH), FieldState::ReadOnly);
    Freq788Btn = startButton(GrBox788Freq, "Freq788Btn", QRect(kCol1X, 106, kBothW, 30));
    label(GrBox788Freq, QStringLiteral("На выходе"), QRect(kRowLabelX, 146, kRowLabelW, kRowH));
    e788FreqOut =
        edit(GrBox788Freq, "e788FreqOut", QRect(kCol1X, 146, kBothW, kRowH), FieldState::ReadOnly);

    GrBox735Freq = group(pfreq, "GrBox735Freq", QStringLiteral(" Измеритель частотного сигнала "),
                         QRect(200, 0, 194, 208));
    header(GrBox735Freq, QStringLiteral("Частота, Гц"), kCol1X, 62);
    header(GrBox735Freq, QStringLiteral("Период, мкс"), kCol2X, 62);
    label(GrBox735Freq, QStringLiteral("На входе"), QRect(kRowLabelX, 78, kRowLabelW, kRowH));
    e735Freq =
        edit(GrBox735Freq, "e735Freq", QRect(kCol1X, 78, kColW, kRowH), FieldState::ReadOnly);
    e735Time =
        edit(GrBox735Freq, "e735Time", QRect(kCol2X, 78, kColW, kRowH), FieldState::ReadOnly);
    cb735Error = combo(GrBox735Freq, "cb735Error", QRect(kCol1X, 108, kBothW, 21), errorKinds);
    eError735Freq =
        edit(GrBox735Freq, "eError735Freq", QRect(kCol1X, 136, kColW, kRowH), FieldState::ReadOnly);
    eError735Time =
        edit(GrBox735Freq, "eError735Time", QRect(kCol2X, 136, kColW, kRowH), FieldState::ReadOnly);

    QWidget* pdet = page(NB735Freq, "P735xDetects");
    GrBox788Time =
        group(pdet, "GrBox788Time", QStringLiteral(" Генератор интервала времени КП \"ЗИРОК-М\" "),
              QRect(4, 0, 194, 208));
    limits(GrBox788Time, QStringLiteral("Интервал, с"), QStringLiteral("0,2"),
           QStringLiteral("1500"));
    header(GrBox788Time, QStringLiteral("Интервал времени, с"), kCol1X, 62, kBothW);
    label(GrBox788Time, QStringLiteral("Задаваемое"), QRect(kRowLabelX, 78, kRowLabelW, kRowH));
    eTime788 = edit(GrBox788Time, "eTime788", QRect(kCol1X, 78, kBothW, kRowH), FieldState::Input);
    StartGenTime788Btn =
        startButton(GrBox788Time, "StartGenTime788Btn", QRect(kCol1X, 106, kBothW, 30));
    label(GrBox788Time, QStringLiteral("На выходе"), QRect(kRowLabelX, 146, kRowLabelW, kRowH));
    eTime788Out =
        edit(GrBox788Time, "eTime788Out", QRect(kCol1X, 146, kBothW, kRowH), FieldState::ReadOnly);

    GrBox735xDetect =
        group(pdet, "GrBox735xDetect", QStringLiteral(" Измеритель интервала времени "),
              QRect(200, 0, 194, 208));
    D1Led = led(GrBox735xDetect, "D1Led", QStringLiteral("D1"), 30, 22);
    D2Led = led(GrBox735xDetect, "D2Led", QStringLiteral("D2"), 110, 22);
    ResetDetectsBtn = button(GrBox735xDetect, "ResetDetectsBtn", QStringLiteral("Сброс детекторов"),
                             QRect(6, 42, 182, 24));
    header(GrBox735xDetect, QStringLiteral("Интервал времени, с"), kCol1X, 62, kBothW);
    label(GrBox735xDetect, QStringLiteral("На входе"), QRect(kRowLabelX, 78, kRowLabelW, kRowH));
    e735xTime =
        edit(GrBox735xDetect, "e735xTime", QRect(kCol1X, 78, kBothW, kRowH), FieldState::ReadOnly);
    cbError735xDet =
        combo(GrBox735xDetect, "cbError735xDet", QRect(kCol1X, 108, kBothW, 21), errorKinds);
    e735xErrorTime = edit(GrBox735xDetect, "e735xErrorTime", QRect(kCol1X, 136, kBothW, kRowH),
                          FieldState::ReadOnly);

    QWidget* pcount = page(NB735Freq, "P735Count");
    GrBox788Count = group(pcount, "GrBox788Count", freqGenCaption, QRect(4, 0, 194, 208));
    limits(GrBox788Count, QStringLiteral("Частота, Гц"), QStringLiteral("35"),
           QStringLiteral("3500"));
    header(GrBox788Count, QStringLiteral("Частота, Гц"), kCol1X, 54, kColW, 24);
    header(GrBox788Count, QStringLiteral("Количество импульсов"), kCol2X, 54, kColW, 24)
        ->setWordWrap(true);
    label(GrBox788Count, QStringLiteral("Задаваемое"), QRect(kRowLabelX, 80, kRowLabelW, kRowH));
    e788Freq_Count =
        edit(GrBox788Count, "e788Freq_Count", QRect(kCol1X, 80, kColW, kRowH), FieldState::Input);
    e735xCount =
        edit(GrBox788Count, "e735xCount", QRect(kCol2X, 80, kColW, kRowH), FieldState::Input);
    Start735xCountBtn =
        startButton(GrBox788Count, "Start735xCountBtn", QRect(kCol1X, 106, kBothW, 30));
    label(GrBox788Count, QStringLiteral("На выходе"), QRect(kRowLabelX, 146, kRowLabelW, kRowH));
    e788FreqOut_Count = edit(GrBox788Count, "e788FreqOut_Count", QRect(kCol1X, 146, kColW, kRowH),
                             FieldState::ReadOnly);

    GrBox735xCount =
        group(pcount, "GrBox735xCount", QStringLiteral(" Счетчик количества импульсов "),
              QRect(200, 0, 194, 208));
    D1LedCount = led(GrBox735xCount, "D1LedCount", QStringLiteral("D1"), 30, 22);
    D2LedCount = led(GrBox735xCount, "D2LedCount", QStringLiteral("D2"), 110, 22);
    Reset735xBtn = button(GrBox735xCount, "Reset735xBtn", QStringLiteral("Сброс детекторов"),
                          QRect(6, 42, 182, 24));
    header(GrBox735xCount, QStringLiteral("Количество импульсов"), kCol1X, 62, kBothW);
    label(GrBox735xCount, QStringLiteral("На входе"), QRect(kRowLabelX, 78, kRowLabelW, kRowH));
    e735xCountOut = edit(GrBox735xCount, "e735xCountOut", QRect(kCol1X, 78, kBothW, kRowH),
                         FieldState::ReadOnly);
    cbErr735xCount =
        combo(GrBox735xCount, "cbErr735xCount", QRect(kCol1X, 108, kBothW, 21), errorKinds);
    eErr735xCount = edit(GrBox735xCount, "eErr735xCount", QRect(kCol1X, 136, kBothW, kRowH),
                         FieldState::ReadOnly);

    QWidget* pdel = page(NB735Freq, "P735tDels");
    GrBoxCheckDel =
        group(pdel, "GrBoxCheckDel", QStringLiteral(" Поверка делителя "), QRect(4, 0, 194, 208));
    limits(GrBoxCheckDel, QStringLiteral("Частота, Гц"), QStringLiteral("35"),
           QStringLiteral("3500"));
    label(GrBoxCheckDel, QStringLiteral("Задаваемое"), QRect(kRowLabelX, 56, kRowLabelW, kRowH));
    eFreqDel = edit(GrBoxCheckDel, "eFreqDel", QRect(kCol1X, 56, kBothW, kRowH), FieldState::Input);
    label(GrBoxCheckDel, QStringLiteral("На выходе"), QRect(kRowLabelX, 78, kRowLabelW, kRowH));
    eFreqDelOut =
        edit(GrBoxCheckDel, "eFreqDelOut", QRect(kCol1X, 78, kBothW, kRowH), FieldState::ReadOnly);
    label(GrBoxCheckDel, QStringLiteral("Количество управляющих импульсов"),
          QRect(3, 100, 134, 26));
    eCountDel = edit(GrBoxCheckDel, "eCountDel", QRect(139, 103, 49, kRowH), FieldState::Input);
    label(GrBoxCheckDel, QStringLiteral("Преднабор"), QRect(6, 128, 120, kRowH));
    ePredDel = edit(GrBoxCheckDel, "ePredDel", QRect(139, 128, 49, kRowH), FieldState::Input);
    StartCheckDelBtn = startButton(GrBoxCheckDel, "StartCheckDelBtn", QRect(6, 152, 88, 26));
    StopDelBtn =
        button(GrBoxCheckDel, "StopDelBtn", QStringLiteral("Стоп"), QRect(100, 152, 88, 26));
    StopDelBtn->hide();
    label(GrBoxCheckDel, QStringLiteral("Количество импульсов:"), QRect(3, 182, 120, kRowH));
    eCountDelOut =
        edit(GrBoxCheckDel, "eCountDelOut", QRect(123, 182, 65, kRowH), FieldState::ReadOnly);

    GrBox735Del = group(pdel, "GrBox735Del", QStringLiteral(" Делитель "), QRect(200, 0, 194, 208));
    lKDel =
        label(GrBox735Del, QStringLiteral("Коэффициент деления:"), QRect(6, 22, 182, 14), "lKDel");
    lRepFreq = label(GrBox735Del, QStringLiteral("Частота, Гц"), QRect(6, 22, 182, 14), "lRepFreq");
    lRepFreq->hide();
    label(GrBox735Del, QStringLiteral("Задаваемое"), QRect(kRowLabelX, 40, kRowLabelW, kRowH));
    e735Del = edit(GrBox735Del, "e735Del", QRect(kCol1X, 40, kBothW, kRowH), FieldState::Input);
    label(GrBox735Del, QStringLiteral("Измеренное"), QRect(kRowLabelX, 66, kRowLabelW, kRowH));
    e735DelOut =
        edit(GrBox735Del, "e735DelOut", QRect(kCol1X, 66, kBothW, kRowH), FieldState::ReadOnly);
    cbError735tDel =
        combo(GrBox735Del, "cbError735tDel", QRect(kCol1X, 94, kBothW, 21), errorKinds);
    eError735tDel =
        edit(GrBox735Del, "eError735tDel", QRect(kCol1X, 122, kBothW, kRowH), FieldState::ReadOnly);

    PollTimer = new QTimer(this);
    PollTimer->setObjectName("PollTimer");
    PollTimer->setInterval(1000);

    NBMain->setCurrentIndex(0);
    NBWork->setCurrentIndex(0);
    NBCurImp->setCurrentIndex(0);
    NB735Freq->setCurrentIndex(0);
    KeepTextsFitting(this);
}

}  // namespace yukt
