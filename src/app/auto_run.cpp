// "Автоповерка": the automatic run on the verification pages.

#include "app/auto_run.h"

#include <QAction>
#include <QMenu>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include "app/auto_run_window.h"
#include "app/plan_view.h"
#include "app/operator_dialogs.h"
#include "app/verification_session.h"
#include "instrument/identify.h"
#include "records/point_spool.h"

namespace yukt {

using namespace verify;

TAutoRun::TAutoRun(TVerificationSession& session, OperatorDialogs& dialogs, QWidget* windowParent,
                   const std::vector<QComboBox*>& selectors)
    : QObject(&session),
      m_session(session),
      m_dialogs(dialogs),
      m_parent(windowParent),
      m_window(new TAutoRunWindow(windowParent)) {
    setObjectName("AutoRun");
    for (std::size_t i = 0; i < selectors.size(); ++i) {
        QComboBox* combo = selectors[i];
        QRect r = combo->geometry();
        r.setWidth(r.width() - 92);
        combo->setGeometry(r);
        auto* btn = new QPushButton(QStringLiteral("Автоповерка"), combo->parentWidget());
        btn->setObjectName(i == 0 ? "AutoRunCurBtn" : "AutoRun735Btn");
        btn->setGeometry(r.right() + 4, r.top() - 1, 88, r.height() + 2);
        connect(btn, &QPushButton::clicked, this, &TAutoRun::AutoBtnClick);
        // The whole module is run from the window's right-click menu (no
        // other button on the window's fixed layout) and from the run window.
        btn->setToolTip(QStringLiteral(
            "Автоповерка текущего канала; правая кнопка мыши — \"Поверка модуля\""));
        m_buttons.push_back(btn);
    }
    connect(m_window, &TAutoRunWindow::stopRequested, this, &TAutoRun::StopClick);
    connect(m_window->ModuleBtn, &QPushButton::clicked, this, &TAutoRun::ModuleBtnClick);
    connect(m_window->Plan, &TPlanView::remeasure, this, &TAutoRun::StartItems);
    connect(&session, &TVerificationSession::runStarted, this, [this](const QString& title) {
        m_window->Begin(title);
        m_window->PlaceBeside(m_parent ? m_parent->window() : nullptr);
        m_window->show();
    });
    connect(&session, &TVerificationSession::pointFinished, this,
            [this](const PointResult& p, Quantity q) {
                const VerificationRun* run = m_session.Run();
                const PlanItem* item = nullptr;
                if (run)
                    for (const PlanItem& it : run->ThePlan().items)
                        if (it.item == p.item && p.item > 0) item = &it;
                m_window->AddPoint(p, q, item,
                                   run ? SpanOf(run->ThePlan(), p.operation) : std::nullopt);
            });
    connect(&session, &TVerificationSession::operationFinished, m_window,
            &TAutoRunWindow::AddAttempt);
    connect(&session, &TVerificationSession::itemChanged, this, &TAutoRun::ItemChanged);
    connect(&session, &TVerificationSession::planChanged, this, &TAutoRun::ShowPlan);
    connect(&session, &TVerificationSession::asked, this, &TAutoRun::Ask);
    connect(&session, &TVerificationSession::runFinished, this, &TAutoRun::Finished);
    connect(&session, &TVerificationSession::recordSettled, this, &TAutoRun::RecordSettled);
    // A bench that cannot judge the module: the run never began.
    connect(&session, &TVerificationSession::runRefused, this, [this](const QString& why) {
        m_window->Begin(QStringLiteral("Поверка не начата"));
        m_window->AddNote(why);
        m_window->End(QStringLiteral("НЕ НАЧАТА"), false, true, QString());
        m_window->PlaceBeside(m_parent ? m_parent->window() : nullptr);
        m_window->show();
    });
    connect(&session, &TVerificationSession::lineLost, m_window, &TAutoRunWindow::AddNote);
    connect(&session, &TVerificationSession::safeNotConfirmed, m_window,
            &TAutoRunWindow::AddNote);
}

bool TAutoRun::Running() const { return m_session.Running(); }

void TAutoRun::AddMenuEntries(QMenu* menu) {
    const bool shown = std::any_of(m_buttons.begin(), m_buttons.end(),
                                   [](const QPushButton* b) { return b->isVisibleTo(b->window()); });
    if (!shown) return;
    QAction* module = menu->addAction(QStringLiteral("Поверка модуля"));
    module->setObjectName("ModuleRunAction");
    module->setEnabled(!Running());
    connect(module, &QAction::triggered, this, &TAutoRun::ModuleBtnClick);
}

// Every channel of a series point changes state at once: the gauge and the
// plan view (which goes over every row) catch up once for all of them.
void TAutoRun::ItemChanged() {
    if (m_refreshPending) return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, &TAutoRun::ShowProgress, Qt::QueuedConnection);
}

void TAutoRun::ShowProgress() {
    m_refreshPending = false;
    if (const VerificationRun* run = m_session.Run()) m_window->SetProgress(run->Percent());
    m_window->Plan->Refresh([this](int item) { return m_session.StateOf(item); });
}

void TAutoRun::ShowPlan() {
    if (const Plan* plan = m_session.ThePlan())
        m_window->Plan->Show(*plan, [this](int item) { return m_session.StateOf(item); });
    else
        m_window->Plan->clear();
}

// The plan of the module, or why there is none.
bool TAutoRun::ShowWindow() {
    if (m_session.ThePlan() == nullptr) {
        m_dialogs.MessageBox(m_session.PlanProblem(), QStringLiteral("Внимание!"),
                             DlgIcon::Warning, DlgButtons::Ok);
        return false;
    }
    ShowPlan();
    return true;
}

void TAutoRun::AutoBtnClick() {
    if (Running() || !ShowWindow()) return;
    const int kind = m_session.Module().kind;
    const std::vector<int> items =
        m_session.ItemsOfSelector(kind == kKind787x ? 0 : m_session.ChannelItem());
    if (items.empty()) {
        m_dialogs.MessageBox(QStringLiteral("Методика не поверяет этот канал модуля."),
                             QStringLiteral("Внимание!"), DlgIcon::Warning, DlgButtons::Ok);
        return;
    }
    StartItems(items);
}

void TAutoRun::ModuleBtnClick() {
    if (!Running() && ShowWindow()) StartItems({});
}

void TAutoRun::StartItems(const std::vector<int>& items) {
    if (!Running()) m_session.StartPlanRun(items);
}

void TAutoRun::Start(const Methodology& m) {
    if (Running()) return;
    m_window->Plan->clear();
    QString error;
    if (!m_session.StartRun(m, &error) && !error.isEmpty())
        m_dialogs.MessageBox(error, QStringLiteral("Внимание!"), DlgIcon::Warning, DlgButtons::Ok);
}

void TAutoRun::StopClick() {
    if (Running())
        m_session.StopRun();
    else
        m_window->hide();
}

// A manual operation, or the generator's lead to move to another channel.
void TAutoRun::Ask(const Question& q) {
    const QString text = QString::fromStdString(q.text);
    if (q.item > 0) {
        bool conforms = false;
        QString remark;
        if (m_dialogs.AskManualOperation(QString::fromStdString(q.operation) + " " + text,
                                         conforms, remark))
            m_session.Answer(conforms ? Answer::Yes : Answer::No, remark);
        else
            m_session.Answer(Answer::NotDone, QString());
        return;
    }
    const DlgResult r = m_dialogs.MessageBox(text, QStringLiteral("Поверка модуля"),
                                             DlgIcon::Information, DlgButtons::OkCancel);
    m_session.Answer(r == DlgResult::Ok ? Answer::Yes : Answer::No, QString());
}

namespace {

// The verdict of the module's plan in the words of a banner: an open
// verification that lacks items is not finished, rather than "прервано".
QString moduleWords(RunVerdict v) {
    return v == RunVerdict::Interrupted ? QStringLiteral("поверка не завершена")
                                        : QString::fromUtf8(RunVerdictWord(v));
}

}  // namespace

// The banner says what the run's items gave, and for a run of some channels
// where the module stands; the line below it counts the module's items.
void TAutoRun::Finished(const RunResult& run) {
    const Plan* plan = m_session.ThePlan();
    const std::vector<int>& items = m_session.RunItems();
    const bool whole = plan == nullptr || items.empty();
    RunVerdict v = run.verdict;
    QString banner = whole ? QString::fromUtf8(RunVerdictWord(v)).toUpper() : QString();
    QString module;
    bool fit = v == RunVerdict::Fit;
    if (plan) {
        const VerdictResult all = m_session.PlanVerdict();
        module = QStringLiteral("Модуль: ") + moduleWords(all.verdict);
        if (all.failed > 0) module += QStringLiteral(", не годны пункты: %1").arg(all.failed);
        if (all.notMeasured > 0)
            module += QStringLiteral(", не измерены пункты: %1").arg(all.notMeasured);
        if (!whole) {
            Plan part = *plan;
            part.items.clear();
            QStringList channels;
            for (const PlanItem& it : plan->items) {
                if (std::find(items.begin(), items.end(), it.item) == items.end()) continue;
                part.items.push_back(it);
                const QString c = QString::number(it.channel);
                if (it.channel > 0 && !channels.contains(c)) channels << c;
            }
            v = Verdict(part, m_session.Attempts()).verdict;
            fit = v == RunVerdict::Fit && all.verdict == RunVerdict::Fit;
            const QString what = channels.isEmpty() ? QStringLiteral("пункты")
                                 : channels.size() == 1
                                     ? QStringLiteral("канал ") + channels.first()
                                     : QStringLiteral("каналы ") + channels.join(", ");
            banner = what + ": " + QString::fromUtf8(RunVerdictWord(v)) +
                     QStringLiteral("; модуль: ") + moduleWords(all.verdict);
        }
    }
    m_window->End(banner, fit, whole, module);
    ShowProgress();
    // The run's points are written on a thread of their own: a database that
    // is slow to take them is said in the window, and the end follows.
    m_waitShown = false;
    const int finished = ++m_finishedRuns;
    const qint64 id = m_session.RecordId();
    if (m_session.RecordPending())
        QTimer::singleShot(500, this, [this, finished, id] {
            if (finished != m_finishedRuns || !m_session.RecordPending()) return;
            m_waitShown = true;
            m_window->AddNote(
                QStringLiteral("Запись № %1: ожидание ответа базы данных записей…").arg(id));
        });
}

// What became of the run's record, once known.
void TAutoRun::RecordSettled() {
    if (m_session.RunSpool()) {
        LostStore();
        return;
    }
    const QString error = m_session.RecorderError();
    if (!error.isEmpty()) {
        TellLost(QStringLiteral("Точки автоповерки не записаны в протокол:\n\r") + error,
                 DlgIcon::Warning);
        return;
    }
    if (m_waitShown) m_window->AddNote(QStringLiteral("Точки записаны в базу данных записей."));
    m_waitShown = false;
}

// The record went to the local spool with its end (the session abandoned
// it): the operator is told why and where, and the next record opens the
// database anew.
void TAutoRun::LostStore() {
    const records::PointSpool& spool = *m_session.RunSpool();
    QString text = QStringLiteral("База данных записей недоступна, автоповерка остановлена:\n\r") +
                   m_session.RecorderError();
    text += spool.Error().isEmpty()
                ? QStringLiteral(
                      "\n\rЗапись прервана; её точки (%1) сохранены в %2 и будут "
                      "записаны, когда база данных снова откроется.")
                      .arg(spool.Count())
                      .arg(spool.Path())
                : QStringLiteral("\n\rТочки не сохранены: ") + spool.Error();
    TellLost(text, DlgIcon::Error);
}

// A run whose record was not written is never shown as judged, nor is the
// module: the banner says "ПРЕРВАНО", the window keeps why, and a message
// box says it at once.
void TAutoRun::TellLost(const QString& text, DlgIcon icon) {
    m_waitShown = false;
    m_window->End(QStringLiteral("ПРЕРВАНО"), false, true, QString());
    m_window->AddNote(QString(text).replace(QStringLiteral("\n\r"), QStringLiteral(" ")));
    m_dialogs.MessageBox(
        text, icon == DlgIcon::Error ? QStringLiteral("Ошибка!") : QStringLiteral("Внимание!"),
        icon, DlgButtons::Ok);
}

}  // namespace yukt
