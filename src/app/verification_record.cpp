#include "app/verification_record.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <cmath>

#include "app/main_form.h"
#include "app/ru_numbers.h"
#include "common/text.h"
#include "instrument/identify.h"
#include "records/db_location.h"
#include "records/lab_settings.h"
#include "records/program_ident.h"
#include "records/record_store.h"
#include "records/point_spool.h"
#include "records/run_recorder.h"
#include "verify/procedure_library.h"

namespace yukt {

using namespace records;

namespace {

// Pages of NBWork and of their notebooks that show a point to record.
constexpr int kWorkCur = 1, kWork735 = 2;
constexpr int kCurrentPage = 0, kFrequencyPage = 0;
// What the restore writes into a divider coefficient it had replaced.
constexpr double kCoefNotSet = -0.5;

const QString kCaption = QStringLiteral("В протокол");

QPushButton* protocolButton(QGroupBox* group, const char* name, int top) {
    auto* b = new QPushButton(kCaption, group);
    b->setObjectName(name);
    b->setGeometry(68, top, 119, 22);
    b->hide();
    return b;
}

QString coefText(int n, double k) { return QStringLiteral("К%1 = %2").arg(n).arg(RuFloat(k)); }

}  // namespace

TVerificationRecord::TVerificationRecord(TMainForm& form) : QObject(&form), m_form(form) {
    setObjectName("VerificationRecord");
    CurBtn = protocolButton(form.GrBox745Cur, "ToProtocolCurBtn", 183);
    Btn735 = protocolButton(form.GrBox735Freq, "ToProtocol735Btn", 166);
    for (QPushButton* b : {CurBtn, Btn735})
        connect(b, &QPushButton::clicked, this, &TVerificationRecord::ToProtocolClick);
}

// A window closed before "Закончить поверку" ends its record at once as
// "прервано", rather than leaving it open until the next start finds it.
TVerificationRecord::~TVerificationRecord() {
    if (IsOpen()) m_store->Close(m_id, kInterrupted);
}

void TVerificationRecord::Warn(const QString& text) const {
    m_form.Dialogs().MessageBox(text, QStringLiteral("Внимание!"), DlgIcon::Warning,
                                DlgButtons::Ok);
}

void TVerificationRecord::ShowButtons() {
    CurBtn->setVisible(IsOpen());
    Btn735->setVisible(IsOpen());
}

void TVerificationRecord::Begin() {
    if (IsOpen()) return;
    if (!m_store || m_storeLost) {
        auto store = std::make_unique<RecordStore>();
        if (!store->Open(RecordsDbUrl(QString::fromStdString(m_form.ProgramDir)))) {
            Warn(QStringLiteral("Журнал поверок недоступен, поверка не записывается:\n\r") +
                 store->LastError());
            return;
        }
        if (!store->SpoolNotes().isEmpty()) Warn(store->SpoolNotes().join("\n\r"));
        m_store = std::move(store);
        m_storeLost = false;
    }
    Record record;
    record.module.model = QString::fromStdString(ModelOfKind(m_form.FirstKind));
    const QString host = RecordStore::Workstation();
    record.info = LoadLastInfo(*m_store, record.module.model, host);
    const LabSettingsSource labSource{m_store.get(), QString::fromStdString(m_form.ProgramDir)};
    if (!m_form.Dialogs().AskRecordInfo(record.info, labSource)) return;
    if (!SaveLastInfo(*m_store, record.module.model, record.info, host)) {
        Warn(QStringLiteral("Запись о поверке не начата:\n\r") + m_store->LastError());
        return;
    }
    record.module.designation = QString::fromStdString(m_form.ModuleDesignation);
    record.module.identText = QString::fromStdString(m_form.ModuleIdent);
    record.module.flashAddress = m_form.SavedAddress;
    record.module.flashBefore = FlashBefore();
    const std::optional<LabSettings> lab = LabSettings::Load(*m_store);
    if (!lab) {
        Warn(QStringLiteral("Запись о поверке не начата:\n\r") + m_store->LastError());
        return;
    }
    record.lab = lab->Snapshot();
    record.program = RunningProgram();
    if (!m_store->Begin(record)) {
        Warn(QStringLiteral("Запись о поверке не начата:\n\r") + m_store->LastError());
        return;
    }
    m_id = record.id;
    ShowButtons();
}

void TVerificationRecord::Abandon() {
    m_id = 0;
    m_storeLost = true;
    ShowButtons();
}

void TVerificationRecord::Close() {
    if (!IsOpen()) return;
    // The verdict is closed even should the FLASH values not be stored.
    const QString flashError =
        m_store->SetFlashAfter(m_id, FlashAfter()) ? QString() : m_store->LastError();
    if (!m_store->Close(m_id)) {
        ToSpool(nullptr);
        return;
    }
    if (!flashError.isEmpty())
        Warn(QStringLiteral("Запись о поверке № %1 закрыта без значений FLASH после поверки:\n\r")
                 .arg(m_id) +
             flashError);
    m_id = 0;
    ShowButtons();
}

// The coefficients a 735t keeps in its FLASH, else the parameters read at
// detection.
QString TVerificationRecord::FlashBefore() const {
    if (m_form.FirstKind == kKind735t)
        return coefText(1, m_form.OrigCoef[0]) + "; " + coefText(2, m_form.OrigCoef[1]);
    QStringList values;
    for (int n = 1; n < 7; ++n)
        if (m_form.Flash.X[n] != 0)
            values << QStringLiteral("X%1 = %2").arg(n).arg(RuFloat(m_form.Flash.X[n]));
    return values.join("; ");
}

// A replaced coefficient is put back to "not set" at the end; the others
// keep the last value given to the module on the page.
QString TVerificationRecord::FlashAfter() const {
    if (m_form.FirstKind != kKind735t) return FlashBefore();
    QStringList values;
    for (int n = 0; n < 2; ++n)
        values << coefText(n + 1,
                           m_form.CoefReplaced[n] ? kCoefNotSet : m_form.Freq.DividerCoef[n]);
    return values.join("; ");
}

// The point the page shows: the reference the calibrator gives and what the
// module measured.
bool TVerificationRecord::DisplayedPoint(RecordPoint& point, QString& why) const {
    TMainForm& f = m_form;
    QLineEdit* measuredField = nullptr;
    int channel = 0;
    verify::Quantity q = verify::Quantity::Current;
    int displayedKind = 0;
    double range = 0;
    if (f.NBWork->currentIndex() == kWorkCur && f.NBCurImp->currentIndex() == kCurrentPage) {
        measuredField = f.e745Cur;
        channel = f.ModuleKind == kKind787x ? 0 : f.cbChlMode->currentIndex();
        q = f.ModuleKind == kKind787x ? verify::Quantity::GeneratorCurrent
                                      : verify::Quantity::Current;
        point.nominal = point.reference = f.Cur.RefCurrent;
        displayedKind = f.cbErrorCur->currentIndex();
        range = f.Cur.CurMax - f.Cur.CurMin;
    } else if (f.NBWork->currentIndex() == kWork735 &&
               f.NB735Freq->currentIndex() == kFrequencyPage) {
        measuredField = f.e735Freq;
        channel = f.cb735ChlMode->currentIndex();
        q = verify::Quantity::Frequency;
        point.reference = f.Freq.RefFrequency;
        point.nominal = RuToFloatDef(f.e788Freq->text(), f.Freq.RefFrequency);
        displayedKind = f.cb735Error->currentIndex();
    } else {
        why = QStringLiteral("Точка этого режима в протокол не записывается.");
        return false;
    }
    if (!RuToFloat(measuredField->text(), point.measured)) {
        why = QStringLiteral("Нет измеренного значения.");
        return false;
    }
    point.readings = {point.measured};
    point.channel = QString::number(channel);
    point.unit = UnitOf(q);
    point.manual = true;
    Judge(point, channel, q, displayedKind, range);
    return true;
}

// The limit is the procedure's for this module kind and channel; without one
// the point is kept with the error as the page shows it, but it cannot count
// as passed.
void TVerificationRecord::Judge(RecordPoint& point, int channel, verify::Quantity q,
                                int displayedKind, double displayRange) const {
    std::string error;
    const std::string dir = verify::EnsureUserProcedures(verify::UserProcedureDir(),
                                                         verify::ShippedProcedureDir(), error);
    std::vector<verify::ProcedureError> mistakes;
    const verify::Procedure* fit = nullptr;
    std::vector<verify::ProcedureChoice> choices;
    if (!dir.empty()) choices = verify::ProceduresFor(dir, m_form.ModuleKind, channel, mistakes);
    for (const verify::ProcedureChoice& c : choices)
        if (c.procedure.quantity == q) {
            fit = &c.procedure;
            break;
        }
    const verify::ErrorKind kind =
        fit ? fit->errorKind
            : std::array{verify::ErrorKind::Abs, verify::ErrorKind::Rel,
                         verify::ErrorKind::Reduced}[std::clamp(displayedKind, 0, 2)];
    const MeasureErrors e =
        CalcErrors(fit ? fit->range : displayRange, point.measured, point.reference);
    point.errorKind = QString::fromUtf8(verify::ErrorKindWord(kind));
    point.error = kind == verify::ErrorKind::Abs   ? e.abs
                  : kind == verify::ErrorKind::Rel ? e.rel
                                                   : e.red;
    if (fit) {
        point.procedure = QString::fromStdString(fit->title);
        point.limit = fit->limit;
        point.result =
            std::fabs(point.error) <= fit->limit ? QStringLiteral("pass") : QStringLiteral("fail");
    } else {
        point.procedure = QStringLiteral("Ручное измерение");
        point.result = QStringLiteral("not measured");
        point.reason = QStringLiteral("нет допуска");
    }
}

void TVerificationRecord::ToProtocolClick() {
    if (!IsOpen()) return;
    RecordPoint point;
    QString why;
    if (!DisplayedPoint(point, why)) {
        Warn(why);
        return;
    }
    point.measuredAt = QDateTime::currentDateTimeUtc();
    if (!m_store->AddPoint(m_id, point)) ToSpool(&point);
}

// The database failed under the open record: it ends "прервано" in the local
// spool with the point it did not take, is written back at the next opening,
// and the verification goes on without a record.
void TVerificationRecord::ToSpool(const RecordPoint* point) {
    const QString error = m_store->LastError();
    const QString why = QStringLiteral("база данных записей недоступна: ") + error;
    PointSpool spool(*m_store, m_id, why);
    const bool kept = (point == nullptr || spool.Keep(*point)) && spool.End(kInterrupted, {why});
    Warn(QStringLiteral("Запись о поверке № %1 прервана, база данных записей недоступна:\n\r")
             .arg(m_id) +
         error +
         (kept ? QStringLiteral("\n\rЕё окончание сохранено в %1 и будет записано, когда база "
                                "данных снова откроется.")
                     .arg(spool.Path())
               : QStringLiteral("\n\rОкончание записи не сохранено: ") + spool.Error()));
    Abandon();
}

}  // namespace yukt
