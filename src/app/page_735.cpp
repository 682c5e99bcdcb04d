// The page of the frequency, interval and count channels ("PAll735").

#include "app/page_735.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

#include "app/field_state.h"
#include "app/main_form.h"
#include "app/page_fields.h"
#include "records/ru_format.h"
#include "common/text.h"
#include "app/verification_session.h"
#include "instrument/identify.h"
#include "verify/point_table.h"
#include "widgets/color_button.h"
#include "widgets/led_indicator.h"

namespace yukt {

namespace {

// Pages of NB735Freq.
constexpr int kDividerPage = 3;
// Items of cb735ChlMode for a 735t.
constexpr int kFirstDividerItem = 2, kFirstTranslatorItem = 4, kLastItem = 5;

// What the generator can produce.
constexpr double kMinFrequency = 35, kMaxFrequency = 3500;
constexpr double kMinInterval = 0.2, kMaxInterval = 1500;
// A divider below 2 is not a divider the module can be set to.
constexpr double kMinDivider = 2;
// The burst sends its preset as one byte and its control pulses as a 16-bit
// count: larger values would reach the generator cut short.
constexpr int kMaxPreset = 255, kMaxControlPulses = 65535;

using verify::kDetectorReset;
using verify::kGeneratorIdle;
using verify::kPollGenerator;
const std::string kPollModule735t = "Get 735t 2";

const QString kFrequencyError = QStringLiteral("Неверно задано значение частоты!");

bool frequencyInRange(double f) { return f >= kMinFrequency && f <= kMaxFrequency; }

QString commaText(const QLineEdit* field) {
    return QString::fromStdString(PointToComma(field->text().toStdString()));
}

bool flagSet(const QStringList& fields, int k) { return fields.value(k) == QLatin1String("1"); }

}  // namespace

// ---- The window's hooks ----

void TMainForm::ConnectPage735() { new TPage735(*this); }

void TMainForm::ShowReply735() {
    if (auto* page = findChild<TPage735*>(QString(), Qt::FindDirectChildrenOnly)) page->ShowReply();
}

// ---- The page ----

TPage735::TPage735(TMainForm& form)
    : QObject(&form), m_form(form), m_fields(new FieldEvents(this)) {
    TMainForm& f = m_form;
    m_fields->Attach(f.e788Freq, {KeyFilter::Decimal, [this] { e788FreqEnter(); },
                                  [this] { e788FreqClick(); }, nullptr});
    m_fields->Attach(f.e788Per, {KeyFilter::Decimal, [this] { e788PerEnter(); },
                                 [this] { e788PerClick(); }, nullptr});
    m_fields->Attach(f.e735Del, {KeyFilter::Decimal, [this] { e735DelEnter(); },
                                 [this] { e735DelClick(); }, [this] { e735DelExit(); }});
    for (QLineEdit* e : {f.eTime788, f.e788Freq_Count, f.e735xCount, f.eFreqDel})
        m_fields->Attach(e, {KeyFilter::Decimal, nullptr, nullptr, nullptr});
    for (QLineEdit* e : {f.eCountDel, f.ePredDel})
        m_fields->Attach(e, {KeyFilter::Digits, nullptr, nullptr, nullptr});

    connect(f.cb735ChlMode, &QComboBox::currentIndexChanged, this, &TPage735::cb735ChlModeChange);
    connect(f.cbError735tDel, &QComboBox::currentIndexChanged, this,
            &TPage735::cbError735tDelChange);
    connect(f.Freq788Btn, &QAbstractButton::clicked, this, &TPage735::Freq788BtnClick);
    connect(f.StartGenTime788Btn, &QAbstractButton::clicked, this,
            &TPage735::StartGenTime788BtnClick);
    connect(f.ResetDetectsBtn, &QAbstractButton::clicked, this, &TPage735::ResetDetectsBtnClick);
    connect(f.Reset735xBtn, &QAbstractButton::clicked, this, &TPage735::ResetDetectsBtnClick);
    connect(f.Start735xCountBtn, &QAbstractButton::clicked, this,
            &TPage735::Start735xCountBtnClick);
    connect(f.StartCheckDelBtn, &QAbstractButton::clicked, this, &TPage735::StartCheckDelBtnClick);
    connect(f.StopDelBtn, &QAbstractButton::clicked, this, &TPage735::StopDelBtnClick);
    connect(&f.Session(), &TVerificationSession::generatorChanged, this,
            &TPage735::GeneratorChanged);
}

// A run sets the generator point by point and leaves it idle: "На выходе"
// follows what it really puts out, and no error is computed against a
// frequency it no longer produces.
void TPage735::GeneratorChanged() {
    TMainForm& f = m_form;
    const GeneratorOutput& g = f.Session().Generator();
    const bool frequency = g.on && g.quantity == verify::Quantity::Frequency;
    if (frequency && g.value == f.Freq.RefFrequency) return;
    if (g.on && !frequency) return;  // an interval or a count of the page itself
    if (frequency) f.Freq.RefFrequency = g.value;
    // Not read back after a run: what it puts out is not known.
    const QString produced =
        g.unconfirmed.isEmpty() ? records::RuFixed(frequency ? g.value : 0, 4) : QString();
    for (QLineEdit* e : {f.e788FreqOut, f.e788FreqOut_Count, f.eFreqDelOut}) {
        e->setText(produced);
        e->setToolTip(g.unconfirmed);
    }
    for (QLineEdit* e : {f.eError735Freq, f.eError735Time}) e->clear();
}

bool TPage735::GeneratorIdle() const {
    const GeneratorOutput& g = m_form.Session().Generator();
    return g.serial > 0 && !g.on;
}

void TPage735::Error(const QString& text, const QString& caption) {
    m_form.Dialogs().MessageBox(text, caption, DlgIcon::Warning, DlgButtons::Ok);
}

void TPage735::QueueFrequency(double f) { m_form.QueueCommand(verify::FrequencyCommand(f)); }

int TPage735::SelectedDivider() const {
    const int item = m_form.cb735ChlMode->currentIndex();
    if (m_form.ModuleKind != kKind735t || item < kFirstDividerItem || item >= kFirstTranslatorItem)
        return -1;
    return item - kFirstDividerItem;
}

// ---- Channels ----

void TPage735::cb735ChlModeChange(int item) {
    TMainForm& f = m_form;
    if (f.ModuleKind == kKind735x) {
        if (item >= 0 && item <= 2) f.NB735Freq->setCurrentIndex(item);
        return;
    }
    if (f.ModuleKind != kKind735t || item < 0 || item > kLastItem) return;
    if (item < kFirstDividerItem) {
        f.NB735Freq->setCurrentIndex(0);
        return;
    }
    const bool divider = item < kFirstTranslatorItem;
    f.e735Del->setText(divider ? records::RuFixed(f.Freq.DividerCoef[item - kFirstDividerItem], 3)
                               : QString());
    f.e735DelOut->clear();
    f.eError735tDel->clear();
    f.eCountDelOut->clear();
    f.Freq.DividerAbsError = 0;
    f.Freq.DividerRelError = 0;
    f.GrBox735Del->setTitle(
        (divider ? QStringLiteral(" Делитель - ") : QStringLiteral(" Транслятор - ")) +
        QString::fromStdString(f.ModuleDesignation).left(14) + QLatin1Char(' '));
    SetFieldState(f.e735Del, divider ? FieldState::Input : FieldState::ReadOnly);
    f.lKDel->setVisible(divider);
    f.lRepFreq->setVisible(!divider);
    f.NB735Freq->setCurrentIndex(kDividerPage);
}

// ---- Frequency and period ----

void TPage735::e788FreqClick() {
    SetFieldState(m_form.e788Freq, FieldState::Input);
    SetFieldState(m_form.e788Per, FieldState::ReadOnly);
}

void TPage735::e788PerClick() {
    SetFieldState(m_form.e788Per, FieldState::Input);
    SetFieldState(m_form.e788Freq, FieldState::ReadOnly);
}

void TPage735::e788FreqEnter() {
    TMainForm& f = m_form;
    double freq = 0;
    if (!ReadNumber(f.e788Freq, freq, true)) {
        Error(kFrequencyError);
        return;
    }
    // The limits are compared as the generator's single-precision values.
    const float single = static_cast<float>(freq);
    if (single < static_cast<float>(kMinFrequency) || single > static_cast<float>(kMaxFrequency)) {
        Error(QStringLiteral("Значение заданной частоты выходит за пределы!"));
        return;
    }
    f.e788Freq->setText(records::RuShort(freq));
    f.e788Per->setText(records::RuFixed(1000000.0 / freq, 1));
}

void TPage735::e788PerEnter() {
    TMainForm& f = m_form;
    double period = 0;
    if (!ReadNumber(f.e788Per, period, true)) {
        Error(QStringLiteral("Неверно задано значение периода!"));
        return;
    }
    const double freq = 1000000.0 / period;
    if (!frequencyInRange(freq)) {
        Error(
            QStringLiteral("Значение заданного периода выходит за пределы генерируемой частоты!"));
        return;
    }
    f.e788Per->setText(records::RuShort(period));
    f.e788Freq->setText(records::RuFixed(freq, 5));
}

void TPage735::Freq788BtnClick() {
    TMainForm& f = m_form;
    const double freq = ReadNumberOr(f.e788Freq, 0, true);
    if (!frequencyInRange(freq)) {
        Error(kFrequencyError);
        return;
    }
    const QString typed = commaText(f.e788Freq);
    f.Freq.RefFrequency = verify::ReferenceFrequency(freq, f.QuartzKHz);
    const QString produced = records::RuFixed(f.Freq.RefFrequency, 4);
    f.e788FreqOut->setText(produced);
    f.eFreqDelOut->setText(produced);
    for (QLineEdit* e : {f.e788Freq, f.e788Freq_Count, f.eFreqDel}) e->setText(typed);
    f.e788FreqOut_Count->setText(produced);
    f.e788Per->setText(records::RuFixed(1000000.0 / f.Freq.RefFrequency, 3));
    QueueFrequency(freq);
    f.Session().SetGenerator(verify::Quantity::Frequency, f.Freq.RefFrequency);
}

// ---- Interval and count ----

void TPage735::StartGenTime788BtnClick() {
    TMainForm& f = m_form;
    const double t = ReadNumberOr(f.eTime788, 0, true);
    if (t < kMinInterval || t > kMaxInterval) {
        Error(QStringLiteral("Неверно задано значение интервала!"));
        return;
    }
    const QString typed = commaText(f.eTime788);
    f.QueueCommand(kDetectorReset);
    f.Freq.RefInterval = t;
    f.eTime788Out->setText(typed);
    f.eTime788->setText(typed);
    f.Freq.RefCount = t * f.Freq.RefFrequency;
    f.e735xCount->setText(records::RuFixed(f.Freq.RefCount, 3));
    f.QueueCommand(verify::IntervalCommand(t));
}

void TPage735::ResetDetectsBtnClick() { m_form.QueueCommand(kDetectorReset); }

void TPage735::Start735xCountBtnClick() {
    TMainForm& f = m_form;
    const double freq = ReadNumberOr(f.e788Freq_Count, 0, true);
    if (!frequencyInRange(freq)) {
        Error(kFrequencyError);
        return;
    }
    const QString typed = commaText(f.e788Freq_Count);
    f.Freq.RefFrequency = verify::ReferenceFrequency(freq, f.QuartzKHz);
    const QString produced = records::RuFixed(f.Freq.RefFrequency, 4);
    f.e788FreqOut->setText(produced);
    f.e788FreqOut_Count->setText(produced);
    f.e788Freq_Count->setText(typed);
    f.e788Freq->setText(typed);
    f.e788Per->setText(records::RuFixed(1000000.0 / f.Freq.RefFrequency, 1));
    QueueFrequency(freq);

    const double n = ReadNumberOr(f.e735xCount, -1, true);
    const double t = n / f.Freq.RefFrequency;
    // The generator's interval ends where the interval page's limit is.
    if (!(t > 0) || t > kMaxInterval) {
        Error(QStringLiteral("Неверно задано значение количества импульсов!"));
        return;
    }
    f.Freq.RefCount = n;
    f.QueueCommand(kDetectorReset);
    const QString interval = records::RuFixed(t, 6);
    f.eTime788->setText(interval);
    f.eTime788Out->setText(interval);
    f.Freq.RefInterval = t;
    f.QueueCommand(verify::IntervalCommand(t));
    f.Session().SetGenerator(verify::Quantity::Count, n);
}

// ---- Dividers and translators ----

void TPage735::e735DelClick() {
    if (!m_form.e735Del->isReadOnly()) SetFieldState(m_form.e735Del, FieldState::Editing);
}

void TPage735::e735DelExit() {
    TMainForm& f = m_form;
    const int divider = SelectedDivider();
    if (divider < 0 || f.e735Del->isReadOnly()) return;
    const QString stored = records::RuFixed(f.Freq.DividerCoef[divider], 3);
    if (f.e735Del->text() != stored) f.e735Del->setText(stored);
    SetFieldState(f.e735Del, FieldState::Input);
}

void TPage735::e735DelEnter() {
    TMainForm& f = m_form;
    const int divider = SelectedDivider();
    if (divider < 0) return;
    const double k = ReadNumberOr(f.e735Del, -1, true);
    if (k < kMinDivider) {
        Error(QStringLiteral("Неверно задано значение делителя!?"), QStringLiteral("Внимание!"));
        return;
    }
    const std::string value = FloatToStr(k);
    f.QueueCommand(divider == 0 ? "Set 735t 2 0 0 " + value + " 1 1"
                                : "Set 735t 2 0 0 1 " + value + " 1");
    f.Freq.DividerCoef[divider] = k;
    SetFieldState(f.e735Del, FieldState::Input);
}

void TPage735::LockCheck(bool locked) {
    TMainForm& f = m_form;
    f.StartCheckDelBtn->setEnabled(!locked);
    f.cb735ChlMode->setEnabled(!locked);
    f.StopDelBtn->setVisible(locked);
    const FieldState state = locked ? FieldState::ReadOnly : FieldState::Input;
    for (QLineEdit* e : {f.eFreqDel, f.eCountDel, f.ePredDel}) SetFieldState(e, state);
    // A translator has no coefficient to type.
    SetFieldState(f.e735Del, SelectedDivider() >= 0 ? state : FieldState::ReadOnly);
}

void TPage735::StartCheckDelBtnClick() {
    TMainForm& f = m_form;
    const int item = f.cb735ChlMode->currentIndex();
    if (f.ModuleKind != kKind735t || item < kFirstDividerItem || item > kLastItem) return;
    f.eFreqDel->setFocus();
    f.e735DelOut->clear();
    const double freq = ReadNumberOr(f.eFreqDel, 0, true);
    int pulses = 0, preset = 0;
    if (!frequencyInRange(freq)) {
        Error(kFrequencyError);
        return;
    }
    if (!ReadPositiveInt(f.eCountDel, kMaxControlPulses, pulses)) {
        Error(QStringLiteral("Неверно задано значение количества управляющих импульсов!"));
        return;
    }
    if (!ReadPositiveInt(f.ePredDel, kMaxPreset, preset)) {
        Error(QStringLiteral("Неверно задано значение преднабора!"));
        return;
    }
    LockCheck(true);

    f.Freq.RefFrequency = verify::ReferenceFrequency(freq, f.QuartzKHz);
    f.eCountDel->setText(QString::number(pulses));
    f.eFreqDel->setText(records::RuShort(freq));
    f.e788Freq->setText(records::RuShort(freq));
    f.eCountDelOut->clear();
    const QString produced = records::RuFixed(f.Freq.RefFrequency, 4);
    f.eFreqDelOut->setText(produced);
    f.e788FreqOut->setText(produced);

    const int divider = SelectedDivider();
    if (divider >= 0) {
        const std::string k = FloatToStr(f.Freq.DividerCoef[divider]);
        f.QueueCommand(divider == 0 ? "Set 735t 2 0 0 " + k + " 1 1"
                                    : "Set 735t 2 0 0 1 " + k + " 1");
    } else {
        f.QueueCommand(item == kFirstTranslatorItem ? "Set 735t 2 1 0 0 0 0"
                                                    : "Set 735t 2 0 1 0 0 0");
        f.e735Del->setText(produced);
    }
    f.QueueCommand("Set 788t 1 " + FloatToStr(freq) + " " + std::to_string(preset) + " " +
                   std::to_string(pulses) + " 5");
    f.SetExpectedNumber("1");
    f.PollCommand = kPollGenerator;
    f.QueueCommand(kPollGenerator);
    f.Session().SetGenerator(divider >= 0 ? verify::Quantity::Divider
                                          : verify::Quantity::Translator,
                             f.Freq.RefFrequency);
}

void TPage735::StopDelBtnClick() {
    TMainForm& f = m_form;
    f.SetExpectedNumber("2");
    f.PollCommand = kPollModule735t;
    QueueFrequency(ReadNumberOr(f.eFreqDel, 0, true));
    f.QueueCommand(kGeneratorIdle);
    f.eCountDelOut->clear();
    LockCheck(false);
}

void TPage735::ShowDividerError() {
    TMainForm& f = m_form;
    if (f.cbError735tDel->currentIndex() == 1)
        ShowText(f.eError735tDel, records::RuFixed(f.Freq.DividerRelError, 3) + QStringLiteral(" %"));
    else
        ShowText(f.eError735tDel, records::RuFixed(f.Freq.DividerAbsError, 3));
}

void TPage735::cbError735tDelChange(int) { ShowDividerError(); }

void TPage735::ShowDividerResult(const QStringList& fields) {
    TMainForm& f = m_form;
    int count = 0;
    if (fields.value(1) != QLatin1String("788t") || !RuToInt(fields.value(3), count)) return;
    if (count == 0) {
        ShowText(f.eCountDelOut, QStringLiteral("Преднабор"));
        return;
    }
    if (count < 0) {
        ShowText(f.eCountDelOut,
                 QStringLiteral("Счет=") + QString::number(-static_cast<qint64>(count)));
        return;
    }
    ShowText(f.eCountDelOut, QString::number(count));
    double ratio = count / ReadNumberOr(f.eCountDel, 1);
    f.SetExpectedNumber("2");
    f.PollCommand = kPollModule735t;
    MeasureErrors errors;
    const int divider = SelectedDivider();
    if (divider >= 0) {
        errors = CalcErrors(0, ratio, f.Freq.DividerCoef[divider]);
        ShowText(f.e735DelOut, records::RuFixed(ratio, 3));
    } else {
        ratio *= f.Freq.RefFrequency;
        errors = CalcErrors(0, ratio, f.Freq.RefFrequency);
        ShowText(f.e735DelOut, records::RuFixed(ratio, 4));
    }
    f.Freq.DividerAbsError = errors.abs;
    f.Freq.DividerRelError = errors.rel;
    ShowDividerError();
    f.QueueCommand(kGeneratorIdle);
    LockCheck(false);
}

// ---- Replies ----

void TPage735::ShowReply() {
    TMainForm& f = m_form;
    const QStringList fields = f.ReplyFields();
    const int item = f.cb735ChlMode->currentIndex();
    double value = 0;
    if (f.ModuleKind == kKind735t) {
        if (item >= kFirstDividerItem && item <= kLastItem) {
            if (f.ExpectedNumber() == "1") ShowDividerResult(fields);
            return;
        }
    }
    // The word of the channel's value, as the automatic run reads it.
    const auto route = verify::FrequencyRoute(f.ModuleKind, item);
    if (!route || fields.value(1) != QString::fromStdString(route->model) ||
        !ReplyNumber(fields, route->entry, value))
        return;
    const bool firstRead = !m_moduleRead;
    m_moduleRead = true;
    if (f.ModuleKind == kKind735t || item == 0) {
        // Its frequency is no measurement: nothing is shown until the next.
        if (!firstRead) ShowFrequency(value);
    } else if (item == 1)
        ShowInterval(value, fields);
    else
        ShowCount(value, fields);
}

void TPage735::ShowFrequency(double freq) {
    TMainForm& f = m_form;
    const double reference = f.Freq.RefFrequency;
    ShowText(f.e735Freq, records::RuShort(freq));
    if (GeneratorIdle() || !f.Session().ReplyIsOfSetting(f.CommandsTakenAtReply())) {
        ShowText(f.e735Time, freq != 0 ? records::RuFixed(1000000.0 / freq, 3) : kNoError);
        for (QLineEdit* e : {f.eError735Freq, f.eError735Time}) ShowText(e, QString());
        return;
    }
    PageReading reading;
    reading.quantity = verify::Quantity::Frequency;
    reading.channelItem = f.cb735ChlMode->currentIndex();
    reading.reference = reference;
    reading.nominal = RuToFloatDef(f.e788Freq->text(), reference);
    reading.measured = freq;
    reading.shownKind =
        f.cb735Error->currentIndex() == 1 ? verify::ErrorKind::Rel : verify::ErrorKind::Abs;
    f.Session().SetReading(reading);
    const MeasureErrors freqErrors = CalcErrors(100, freq, reference);
    MeasureErrors periodErrors;
    double period = 0;
    if (freq != 0) {
        period = 1000000.0 / freq;
        periodErrors = CalcErrors(100, period, 1000000.0 / reference);
        ShowText(f.e735Time, records::RuFixed(period, 3));
    } else {
        periodErrors.rel = 101;
        for (QLineEdit* e : {f.e735Time, f.eError735Freq, f.eError735Time}) ShowText(e, kNoError);
    }
    if (f.cb735Error->currentIndex() == 1) {
        ShowText(f.eError735Freq, PercentText(freqErrors.rel, 5));
        ShowText(f.eError735Time, PercentText(periodErrors.rel, 5));
    } else {
        ShowText(f.eError735Freq, records::RuFixed(freqErrors.abs, 4) + QStringLiteral(" Гц"));
        if (period != 0)
            ShowText(f.eError735Time, records::RuFixed(periodErrors.abs, 3) + QStringLiteral(" мкс"));
    }
}

void TPage735::ShowInterval(double t, const QStringList& fields) {
    TMainForm& f = m_form;
    ShowText(f.e735xTime, records::RuShort(t));
    MeasureErrors errors;
    if (f.Freq.RefInterval != 0) {
        errors = CalcErrors(100, t, f.Freq.RefInterval);
    } else {
        errors.abs = t;
        errors.rel = 101;
    }
    if (f.cbError735xDet->currentIndex() == 1)
        ShowText(f.e735xErrorTime, PercentText(errors.rel, 5));
    else
        ShowText(f.e735xErrorTime, records::RuFixed(errors.abs, 5) + QStringLiteral(" c"));
    f.D1Led->setLit(flagSet(fields, 6));
    f.D2Led->setLit(flagSet(fields, 7));
}

void TPage735::ShowCount(double c, const QStringList& fields) {
    TMainForm& f = m_form;
    f.D1LedCount->setLit(flagSet(fields, 6));
    f.D2LedCount->setLit(flagSet(fields, 7));
    ShowText(f.e735xCountOut, records::RuShort(c));
    // The count is complete only once the second detector has fired.
    if (!flagSet(fields, 7)) return;
    MeasureErrors errors;
    if (f.Freq.RefCount != 0) {
        errors = CalcErrors(100, c, f.Freq.RefCount);
    } else {
        errors.abs = c;
        errors.rel = 101;
    }
    if (f.cbErr735xCount->currentIndex() == 1)
        ShowText(f.eErr735xCount, PercentText(errors.rel, 4));
    else
        ShowText(f.eErr735xCount, records::RuFixed(errors.abs, 3));
}

}  // namespace yukt
