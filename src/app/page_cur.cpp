// The page of the current and resistance channels ("PAllCur").

#include "app/page_cur.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStackedWidget>
#include <algorithm>
#include <array>
#include <vector>

#include "app/field_state.h"
#include "app/main_form.h"
#include "app/page_fields.h"
#include "records/ru_format.h"
#include "app/verification_session.h"
#include "common/cp1251.h"
#include "instrument/cprbr.h"
#include "instrument/identify.h"
#include "verify/point_table.h"
#include "widgets/color_button.h"

namespace yukt {

namespace {

// Pages of NBCurImp.
constexpr int kCurrentPage = 0, kResistancePage = 1;

// The limits a current range is corrected to.
constexpr double kMaxCurrentMin = 19, kCurrentMax = 20;
constexpr double kDefaultParMin = 0, kDefaultParMax = 20;

const QString kCaption = QStringLiteral("Ошибка");
const char* const kCfg745t = "tp745t.cfg";
// Column of the RTD characteristic (material) in a 745t line.
constexpr int kMaterialColumn = 8;

// The model whose reply carries the channel the operator selected.
QString replyModel(int kind, int item) {
    switch (kind) {
        case kKind745t:
        case kKind745t745t:
        case kKind787x:  // the calibrator's meter
            return QStringLiteral("745t");
        case kKind748x:
        case kKind748x748x:
            return QStringLiteral("748x");
        case kKind748t:
            return QStringLiteral("748t");
        case kKind745t748x:
            return item >= 1 && item <= 3 ? QStringLiteral("748x") : QStringLiteral("745t");
        default:
            return QString();
    }
}

}  // namespace

// ---- The window's hooks ----

void TMainForm::ConnectPageCur() {
    new TPageCur(*this);
}

void TMainForm::ShowReplyCur() {
    if (auto* page = findChild<TPageCur*>(QString(), Qt::FindDirectChildrenOnly)) page->ShowReply();
}

// ---- The page ----

TPageCur::TPageCur(TMainForm& form)
    : QObject(&form), m_form(form), m_fields(new FieldEvents(this)) {
    TMainForm& f = m_form;
    for (QLineEdit* e :
         {f.e745CurMin, f.e745CurMax, f.e745CurParMin, f.e745CurParMax, f.e787xIMin, f.e787xIMax}) {
        m_fields->Attach(e, {KeyFilter::Decimal, [this, e] { RangeGroupEnter(e); },
                             [this, e] { RangeFieldClick(e); }, [this, e] { RangeFieldExit(e); }});
    }
    for (QLineEdit* e : {f.e787xParMin, f.e787xParMax}) {
        m_fields->Attach(e, {KeyFilter::Decimal, [this, e] { ScaleFieldEnter(e); },
                             [this, e] { RangeFieldClick(e); }, [this, e] { RangeFieldExit(e); }});
    }
    m_fields->Attach(f.le787xCur, {KeyFilter::Decimal, [this] { le787xCurEnter(); },
                                   [this] { le787xCurClick(); }, nullptr});
    m_fields->Attach(f.e787xParam, {KeyFilter::Decimal, [this] { e787xParamEnter(); },
                                    [this] { e787xParamClick(); }, nullptr});
    connect(f.Start787xBtn, &QAbstractButton::clicked, this, &TPageCur::Start787xBtnClick);
    connect(f.cbChlMode, &QComboBox::currentIndexChanged, this, &TPageCur::cbChlModeChange);
    connect(f.cbMaterialImp, &QComboBox::currentIndexChanged, this, &TPageCur::cbMaterialImpChange);
    connect(&f.Session(), &TVerificationSession::generatorChanged, this,
            &TPageCur::GeneratorChanged);
}

verify::Quantity TPageCur::GeneratedQuantity() const {
    return m_form.ModuleKind == kKind787x ? verify::Quantity::GeneratorCurrent
                                          : verify::Quantity::Current;
}

// A run sets the generator point by point and leaves it at its safe value:
// "На выходе" and the errors follow what it really puts out, and the errors
// against the value set before are gone until the next reply.
void TPageCur::GeneratorChanged() {
    TMainForm& f = m_form;
    const GeneratorOutput& g = f.Session().Generator();
    if (g.quantity != GeneratedQuantity()) return;
    f.le787xOut->setToolTip(g.unconfirmed);
    if (!g.unconfirmed.isEmpty()) {
        // What it puts out is not known: nothing is shown or computed
        // against it until the operator sets a value again.
        f.le787xOut->clear();
        for (QLineEdit* e : {f.eErrorCur, f.eErrorPar}) e->clear();
        return;
    }
    if (!g.on || g.value == f.Cur.RefCurrent) return;
    f.Cur.RefCurrent = g.value;
    f.le787xOut->setText(records::RuShort(g.value));
    for (QLineEdit* e : {f.eErrorCur, f.eErrorPar}) e->clear();
}

void TPageCur::Error(const QString& text) {
    m_form.Dialogs().MessageBox(text, kCaption, DlgIcon::Warning, DlgButtons::Ok);
}

// ---- Ranges ----

namespace {

// The stored value a range field shows.
double storedValue(const TMainForm& f, const QLineEdit* field) {
    if (field == f.e745CurMin || field == f.e787xIMin) return f.Cur.CurMin;
    if (field == f.e745CurMax || field == f.e787xIMax) return f.Cur.CurMax;
    if (field == f.e745CurParMin || field == f.e787xParMin) return f.Cur.ParMin;
    return f.Cur.ParMax;
}

}  // namespace

void TPageCur::RangeFieldClick(QLineEdit* field) { SetFieldState(field, FieldState::Editing); }

void TPageCur::RangeFieldExit(QLineEdit* field) {
    const QString stored = records::RuShort(storedValue(m_form, field));
    if (field->text() != stored) field->setText(stored);
    SetFieldState(field, FieldState::Input);
}

void TPageCur::WriteRangesBack() {
    TMainForm& f = m_form;
    for (QLineEdit* e : {f.e745CurMin, f.e787xIMin}) e->setText(records::RuShort(f.Cur.CurMin));
    for (QLineEdit* e : {f.e745CurMax, f.e787xIMax}) e->setText(records::RuShort(f.Cur.CurMax));
    for (QLineEdit* e : {f.e745CurParMin, f.e787xParMin}) e->setText(records::RuShort(f.Cur.ParMin));
    for (QLineEdit* e : {f.e745CurParMax, f.e787xParMax}) e->setText(records::RuShort(f.Cur.ParMax));
}

void TPageCur::RangeGroupEnter(QLineEdit* field) {
    TMainForm& f = m_form;
    const bool generator = field == f.e787xIMin || field == f.e787xIMax;
    QLineEdit* group[4] = {f.e745CurMin, f.e745CurMax, f.e745CurParMin, f.e745CurParMax};
    if (generator) {
        group[0] = f.e787xIMin;
        group[1] = f.e787xIMax;
        group[2] = f.e787xParMin;
        group[3] = f.e787xParMax;
    }
    double curMin = ReadNumberOr(group[0], -1, true);
    if (curMin < 0 || curMin > kMaxCurrentMin) curMin = 0;
    double curMax = ReadNumberOr(group[1], 22, true);
    if (!(curMin < curMax) || curMax > kCurrentMax) curMax = kCurrentMax;
    f.Cur.CurMin = curMin;
    f.Cur.CurMax = curMax;
    f.Cur.ParMin = ReadNumberOr(group[2], kDefaultParMin, true);
    f.Cur.ParMax = ReadNumberOr(group[3], kDefaultParMax, true);
    WriteRangesBack();
    for (QLineEdit* e : group) SetFieldState(e, FieldState::Input);
}

void TPageCur::ScaleFieldEnter(QLineEdit* field) {
    TMainForm& f = m_form;
    if (field == f.e787xParMin)
        f.Cur.ParMin = ReadNumberOr(field, kDefaultParMin, true);
    else
        f.Cur.ParMax = ReadNumberOr(field, kDefaultParMax, true);
    WriteRangesBack();
    SetFieldState(field, FieldState::Input);
}

// ---- The generator ----

void TPageCur::le787xCurClick() {
    SetFieldState(m_form.le787xCur, FieldState::Input);
    SetFieldState(m_form.e787xParam, FieldState::ReadOnly);
}

void TPageCur::e787xParamClick() {
    SetFieldState(m_form.e787xParam, FieldState::Input);
    SetFieldState(m_form.le787xCur, FieldState::ReadOnly);
}

void TPageCur::le787xCurEnter() {
    TMainForm& f = m_form;
    double current = 0, scaleMin = 0, scaleMax = 0;
    if (!ReadNumber(f.e787xParMin, scaleMin, true) || !ReadNumber(f.e787xParMax, scaleMax, true)) {
        Error(QStringLiteral("Неверно заданы пределы параметров!"));
        return;
    }
    if (!ReadNumber(f.le787xCur, current, true)) {
        Error(QStringLiteral("Неверно задано значение тока!"));
        return;
    }
    if (current < f.Cur.CurMin || current > f.Cur.CurMax) {
        Error(QStringLiteral("Значение заданного тока выходит за пределы!"));
        return;
    }
    f.le787xCur->setText(records::RuShort(current));
    f.e787xParam->setText(
        records::RuFixed(MapLinear(f.Cur.CurMin, f.Cur.CurMax, current, scaleMin, scaleMax), 3));
}

void TPageCur::e787xParamEnter() {
    TMainForm& f = m_form;
    double param = 0, scaleMin = 0, scaleMax = 0;
    if (!ReadNumber(f.e787xParam, param, true) || !ReadNumber(f.e787xParMin, scaleMin, true) ||
        !ReadNumber(f.e787xParMax, scaleMax, true)) {
        Error(QStringLiteral("Неверно заданы значения параметров!"));
        f.e787xParam->setText(records::RuShort(4));
        f.e787xParMin->setText(records::RuShort(4));
        f.e787xParMax->setText(records::RuShort(20));
        return;
    }
    // A scale of no width maps every parameter onto no current at all.
    if (scaleMin == scaleMax) {
        Error(QStringLiteral("Неверно заданы пределы параметров!"));
        return;
    }
    if (param < scaleMin || param > scaleMax) {
        Error(QStringLiteral("Значение заданного параметра выходит за пределы!"));
        return;
    }
    f.e787xParam->setText(records::RuShort(param));
    f.le787xCur->setText(
        records::RuFixed(MapLinear(scaleMin, scaleMax, param, f.Cur.CurMin, f.Cur.CurMax), 3));
}

void TPageCur::Start787xBtnClick() {
    TMainForm& f = m_form;
    double current = 0;
    if (!ReadNumber(f.le787xCur, current, true) || current < f.Cur.CurMin ||
        current > f.Cur.CurMax) {
        Error(QStringLiteral("Неверно задано значение тока!"));
        return;
    }
    const QString text = records::RuShort(current);
    f.le787xCur->setText(text);
    f.le787xOut->setText(text);
    f.Cur.RefCurrent = current;
    f.QueueCommand(verify::CurrentCommand(f.ModuleKind, current));
    f.Session().SetGenerator(GeneratedQuantity(), current);
}

// ---- Channels ----

void TPageCur::cbChlModeChange(int item) {
    TMainForm& f = m_form;
    switch (f.ModuleKind) {
        case kKind745t:
            if (item == 0 || item == 1) f.NBCurImp->setCurrentIndex(item);
            break;
        case kKind745t745t:
            if (item < 0 || item > 3) break;
            f.NBCurImp->setCurrentIndex(item < 2 ? kCurrentPage : kResistancePage);
            f.SetExpectedNumber(item % 2 == 0 ? "2" : "3");
            break;
        case kKind745t748x:
            if (item == 0 || item == 4) {
                f.NBCurImp->setCurrentIndex(item == 0 ? kCurrentPage : kResistancePage);
                f.SetExpectedNumber("2");
                f.PollCommand = "Get 745t 2";
            } else if (item >= 1 && item <= 3) {
                f.NBCurImp->setCurrentIndex(kCurrentPage);
                f.SetExpectedNumber("3");
                f.PollCommand = "Get 748x 2";
            }
            break;
        case kKind748x748x:
            if (item >= 0 && item <= 5) f.SetExpectedNumber(item < 3 ? "2" : "3");
            break;
        default:  // 748x, 748t, 787x: the item only selects the reply word
            break;
    }
}

// ---- Replies ----

bool TPageCur::MeasuredCurrent(const QStringList& fields, double& current) {
    TMainForm& f = m_form;
    const int kind = f.ModuleKind;
    const int item = f.cbChlMode->currentIndex();
    // A reply polled for the channel selected before is not this channel's.
    if (fields.size() < 2 || fields[1] != replyModel(kind, item)) return false;

    auto showResistance = [&] {
        f.eImp745->setText(fields.value(4));
        f.eTemp745->setText(fields.value(3));
    };
    // The current channels read the word the automatic run reads; a
    // resistance channel still shows the 745t's current (word 6).
    const auto route = verify::CurrentRoute(kind, item);
    int entry = route ? route->entry : 0;  // 0: no channel selected, the current counts as 0
    switch (kind) {
        case kKind745t:
        case kKind745t745t:
            showResistance();
            entry = 6;
            break;
        case kKind745t748x:
            if (item == 4) {
                showResistance();
                entry = 6;
            }
            break;
        case kKind748x:
        case kKind748x748x:
        case kKind748t:
        case kKind787x:
            break;
        default:
            return false;
    }
    current = 0;
    return entry == 0 || ReplyNumber(fields, entry, current);
}

void TPageCur::ShowReply() {
    TMainForm& f = m_form;
    double current = 0;
    if (!MeasuredCurrent(f.ReplyFields(), current)) return;
    const CurPageValues& v = f.Cur;
    // A reply polled before the generator took its present setting says
    // nothing about it: no error is computed against that setting.
    if (!f.Session().ReplyIsOfSetting(f.CommandsTakenAtReply())) {
        ShowText(f.e745Cur, records::RuShort(std::clamp(current, v.CurMin, v.CurMax)));
        for (QLineEdit* e : {f.eErrorCur, f.eErrorPar}) ShowText(e, QString());
        return;
    }
    // The protocol gets the value the module measured; the field shows it
    // kept inside the range.
    if (f.NBCurImp->currentIndex() == kCurrentPage) {
        PageReading reading;
        reading.quantity = GeneratedQuantity();
        reading.channelItem = f.ModuleKind == kKind787x ? 0 : f.cbChlMode->currentIndex();
        reading.nominal = reading.reference = v.RefCurrent;
        reading.measured = current;
        reading.shownKind = std::array{verify::ErrorKind::Abs, verify::ErrorKind::Rel,
                                       verify::ErrorKind::Reduced}[std::clamp(
            f.cbErrorCur->currentIndex(), 0, 2)];
        reading.shownRange = v.CurMax - v.CurMin;
        f.Session().SetReading(reading);
    }
    if (current < v.CurMin) current = v.CurMin;
    if (current > v.CurMax) current = v.CurMax;
    ShowText(f.e745Cur, records::RuShort(current));

    const MeasureErrors curErrors = CalcErrors(v.CurMax - v.CurMin, current, v.RefCurrent);
    const double measuredPar = MapLinear(v.CurMin, v.CurMax, current, v.ParMin, v.ParMax);
    const double referencePar = MapLinear(v.CurMin, v.CurMax, v.RefCurrent, v.ParMin, v.ParMax);
    // The operator may be typing a parameter to set.
    if (!f.e787xParam->hasFocus()) ShowText(f.e787xParam, records::RuFixed(referencePar, 3));
    const MeasureErrors parErrors = CalcErrors(v.ParMax - v.ParMin, measuredPar, referencePar);
    ShowText(f.e745CurPar, records::RuFixed(measuredPar, 3));
    ShowErrors(curErrors, parErrors);
}

void TPageCur::ShowErrors(const MeasureErrors& cur, const MeasureErrors& par) {
    TMainForm& f = m_form;
    switch (f.cbErrorCur->currentIndex()) {
        case 1:
            ShowText(f.eErrorCur, PercentText(cur.rel, 3));
            ShowText(f.eErrorPar, PercentText(par.rel, 3));
            break;
        case 2:
            ShowText(f.eErrorCur, PercentText(cur.red, 3));
            ShowText(f.eErrorPar, PercentText(par.red, 3));
            break;
        default:
            ShowText(f.eErrorCur, records::RuFixed(cur.abs, 3) + QStringLiteral(" мА"));
            ShowText(f.eErrorPar, records::RuFixed(par.abs, 3));
            break;
    }
}

// ---- RTD material ----

void TPageCur::cbMaterialImpChange(int item) {
    TMainForm& f = m_form;
    const int kind = f.ModuleKind;
    if (item < 0 || (kind != kKind745t && kind != kKind745t745t && kind != kKind745t748x)) return;
    const QString caption = f.windowTitle();
    f.setWindowTitle(QStringLiteral("Подождите..."));
    f.Polling = false;
    // Lets a poll already queued go through before the line changes.
    WaitMs(static_cast<unsigned>(f.PollTimer->interval()));

    const int material = item + 1;
    std::vector<int> numbers = {2};
    if (kind == kKind745t745t) numbers.push_back(3);
    bool ok = true;
    for (int number : numbers) ok = ok && SetMaterial(number, material);
    for (int number : numbers) {
        TcPrbr* instrument = f.Instrument();
        if (!ok || instrument == nullptr) break;
        // The instrument waits until its worker is between passes.
        instrument->SetReInit("745t " + std::to_string(number));
        ok = instrument->ReInit() == "Ok";
        if (!ok)
            Error(QStringLiteral("Модуль 745t ") + QString::number(number) +
                  QStringLiteral(" не переинициализирован!?"));
    }

    f.Polling = true;
    f.PollTimer->start();
    f.setWindowTitle(caption);
}

// The line of module `number` gets the material; found by its number rather
// than its place, so that a file without the calibrator's meter line works
// alike.
bool TPageCur::SetMaterial(int number, int material) {
    const std::string path = m_form.ProgramDir + kCfg745t;
    std::string text;
    if (!ReadTextFile(path, text)) {
        Error(QStringLiteral("Не найден файл ") + QLatin1String(kCfg745t) + QStringLiteral("!?"));
        return false;
    }
    const std::string wanted = std::to_string(number);
    std::string out;
    bool found = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(pos, end - pos);
        std::size_t body = line.find_first_of("\r\n");
        if (body == std::string::npos) body = line.size();
        const std::string content = line.substr(0, body);
        if (!found && GetColumn(content, 1) == "745t" && GetColumn(content, 2) == wanted) {
            line =
                SetColumn(content, kMaterialColumn, std::to_string(material)) + line.substr(body);
            found = true;
        }
        out += line;
        pos = end;
    }
    if (!found) {
        Error(QStringLiteral("В файле ") + QLatin1String(kCfg745t) +
              QStringLiteral(" нет строки модуля 745t ") + QString::number(number) +
              QStringLiteral("!?"));
        return false;
    }
    if (!WriteTextFile(path, out)) {
        Error(QStringLiteral("Не удалось записать файл ") + QString::fromStdString(path));
        return false;
    }
    return true;
}

}  // namespace yukt
