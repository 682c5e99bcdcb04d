#include "app/verification_record.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "app/operator_dialogs.h"
#include "records/ru_format.h"
#include "app/verification_session.h"
#include "records/db_location.h"
#include "records/full_check.h"
#include "records/lab_references.h"
#include "records/record_store.h"

namespace yukt {

namespace {

const QString kCaption = QStringLiteral("В протокол");

QPushButton* protocolButton(QGroupBox* group, const char* name, int top) {
    auto* b = new QPushButton(kCaption, group);
    b->setObjectName(name);
    b->setGeometry(6, top, 84, 22);
    b->hide();
    return b;
}

QLabel* statusLine(QGroupBox* group, const char* name, int top) {
    auto* l = new QLabel(group);
    l->setObjectName(name);
    l->setGeometry(94, top, group->width() - 100, 22);
    l->hide();
    return l;
}

}  // namespace

TVerificationRecord::TVerificationRecord(TVerificationSession& session, OperatorDialogs& dialogs,
                                         QGroupBox* currentMeter, QGroupBox* frequencyMeter)
    : QObject(&session), m_session(session), m_dialogs(dialogs) {
    setObjectName("VerificationRecord");
    CurBtn = protocolButton(currentMeter, "ToProtocolCurBtn", 183);
    Btn735 = protocolButton(frequencyMeter, "ToProtocol735Btn", 166);
    CurStatus = statusLine(currentMeter, "ToProtocolCurStatus", 183);
    Status735 = statusLine(frequencyMeter, "ToProtocol735Status", 166);
    for (QPushButton* b : {CurBtn, Btn735})
        connect(b, &QPushButton::clicked, this, &TVerificationRecord::ToProtocolClick);
    // A new setting of the generator makes the last confirmation stale.
    connect(&session, &TVerificationSession::generatorChanged, this,
            [this] { ShowStatus(QString()); });
    // A record closed, or abandoned to the local spool by a lost database.
    connect(&session, &TVerificationSession::recordChanged, this,
            &TVerificationRecord::ShowButtons);
}

bool TVerificationRecord::IsOpen() const { return m_session.RecordOpen(); }
qint64 TVerificationRecord::Id() const { return m_session.RecordId(); }

void TVerificationRecord::Warn(const QString& text) const {
    m_dialogs.MessageBox(text, QStringLiteral("Внимание!"), DlgIcon::Warning, DlgButtons::Ok);
}

void TVerificationRecord::ShowButtons() {
    for (QWidget* w : std::initializer_list<QWidget*>{CurBtn, Btn735, CurStatus, Status735})
        w->setVisible(IsOpen());
    ShowStatus(QString());
}

void TVerificationRecord::ShowStatus(const QString& text) {
    CurStatus->setText(text);
    Status735->setText(text);
}

void TVerificationRecord::Begin(const QString& programDir) {
    if (IsOpen()) return;
    QString error;
    QStringList notes;
    if (!m_session.OpenStore(records::RecordsDbUrl(programDir), error, &notes)) {
        Warn(QStringLiteral("Журнал поверок недоступен, поверка не записывается:\n\r") + error);
        return;
    }
    if (!notes.isEmpty()) Warn(notes.join("\n\r"));
    records::StartFullCheckIfDue(*m_session.Store(), this, [this](const QStringList& problems) {
        Warn(QStringLiteral("Файл базы данных записей повреждён:\n\r") + problems.join("\n\r"));
    });
    records::RecordInfo info = m_session.LastInfo();
    const verify::Plan* plan = m_session.ThePlan();
    LabSettingsSource labSource{m_session.Store(), programDir,
                                plan ? records::PlanQuantities(*plan) : QStringList()};
    if (!m_dialogs.AskRecordInfo(info, labSource)) return;
    if (!m_session.BeginRecord(info, error)) {
        Warn(QStringLiteral("Запись о поверке не начата:\n\r") + error);
        return;
    }
    ShowButtons();
    // A reference close to the end of its validity: said, the run goes on.
    if (!m_session.ReferenceWarnings().isEmpty())
        ShowStatus(QStringLiteral("Внимание: ") + m_session.ReferenceWarnings().join("; "));
}

void TVerificationRecord::Close() {
    if (!IsOpen()) return;
    QString warning;
    m_session.CloseRecord(warning);
    if (!warning.isEmpty()) Warn(warning);
    ShowButtons();
}

void TVerificationRecord::ToProtocolClick() {
    if (!IsOpen()) return;
    QString why;
    records::RecordPoint point;
    if (!m_session.StoreReading(why, &point)) {
        ShowStatus(QString());
        Warn(why);
        return;
    }
    ShowStatus(QStringLiteral("Записана точка %1: %2 %3")
                   .arg(point.seq)
                   .arg(records::RuShort(point.reference), point.unit));
}

}  // namespace yukt
