// "Автоповерка": the automatic run on the verification pages.

#include "app/auto_run.h"

#include <QComboBox>
#include <QInputDialog>
#include <QPushButton>

#include "app/auto_run_window.h"
#include "app/operator_dialogs.h"
#include "app/verification_session.h"
#include "instrument/identify.h"
#include "verify/procedure_library.h"

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
    }
    connect(m_window, &TAutoRunWindow::stopRequested, this, &TAutoRun::StopClick);
    connect(&session, &TVerificationSession::pointFinished, this,
            [this](const PointResult& p, Quantity q) {
                m_window->AddPoint(p, q);
                if (const VerificationRun* run = m_session.Run())
                    m_window->SetProgress(run->Percent());
            });
    connect(&session, &TVerificationSession::runFinished, this, [this](const RunResult& run) {
        m_window->End(run.verdict);
        const QString error = m_session.RecorderError();
        if (!error.isEmpty())
            m_dialogs.MessageBox(
                QStringLiteral("Точки автоповерки не записаны в протокол:\n\r") + error,
                QStringLiteral("Внимание!"), DlgIcon::Warning, DlgButtons::Ok);
    });
}

bool TAutoRun::Running() const { return m_session.Running(); }

void TAutoRun::AutoBtnClick() {
    if (Running()) return;
    const int kind = m_session.Module().kind;
    const int channel = kind == kKind787x ? 0 : m_session.ChannelItem();
    std::string error;
    const std::string dir = EnsureUserProcedures(UserProcedureDir(), ShippedProcedureDir(), error);
    std::vector<ProcedureError> mistakes;
    std::vector<ProcedureChoice> fits =
        dir.empty() ? std::vector<ProcedureChoice>{} : ProceduresFor(dir, kind, channel, mistakes);
    if (fits.empty()) {
        QString text = QStringLiteral("Нет процедуры поверки для этого модуля и канала в папке ") +
                       QString::fromStdString(dir.empty() ? error : dir);
        for (const ProcedureError& m : mistakes)
            text += QStringLiteral("\n") + QString::fromStdString(m.Text());
        m_dialogs.MessageBox(text, QStringLiteral("Внимание!"), DlgIcon::Warning, DlgButtons::Ok);
        return;
    }
    std::size_t chosen = 0;
    if (fits.size() > 1) {
        QStringList titles;
        for (const ProcedureChoice& c : fits) titles << QString::fromStdString(c.procedure.title);
        bool ok = false;
        const QString t = QInputDialog::getItem(m_parent, QStringLiteral("Автоповерка"),
                                                QStringLiteral("Процедура:"), titles, 0, false, &ok);
        if (!ok) return;
        chosen = static_cast<std::size_t>(titles.indexOf(t));
    }
    Start(fits[chosen].procedure);
}

void TAutoRun::Start(const Procedure& p) {
    if (Running()) return;
    m_window->Begin(QString::fromStdString(p.title + " (" + p.doc + ")"));
    m_window->show();
    m_session.StartRun(p);
}

void TAutoRun::StopClick() {
    if (Running())
        m_session.StopRun();
    else
        m_window->hide();
}

}  // namespace yukt
