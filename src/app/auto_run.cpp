// "Автоповерка": the automatic run on the verification pages.

#include "app/auto_run.h"

#include <QComboBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "app/main_form.h"
#include "app/ru_numbers.h"
#include "app/verification_record.h"
#include "instrument/identify.h"
#include "records/run_recorder.h"
#include "verify/procedure_library.h"
#include "widgets/percent_gauge.h"
#include "widgets/speed_button.h"

namespace yukt {

using namespace verify;

namespace {

const QString kCaption = QStringLiteral("Автоповерка");

bool frequencyPage(int kind) { return kind == kKind735t || kind == kKind735x; }

QString unitOf(ErrorKind k, Quantity q) {
    return k == ErrorKind::Abs ? QString::fromUtf8(QuantityUnit(q)) : QStringLiteral("%");
}

}  // namespace

// ---- The window ----

TAutoRunWindow::TAutoRunWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("AutoRunWindow");
    setWindowTitle(kCaption);
    resize(560, 320);
    auto* layout = new QVBoxLayout(this);
    Title = new QLabel(this);
    Gauge = new PercentGauge(this);
    Gauge->setObjectName("AutoRunGauge");
    Gauge->setRange(0, 100);
    Points = new QTableWidget(0, 6, this);
    Points->setObjectName("AutoRunPoints");
    Points->setHorizontalHeaderLabels({QStringLiteral("задано"), QStringLiteral("эталон"),
                                       QStringLiteral("измерено"), QStringLiteral("погрешность"),
                                       QStringLiteral("допуск"), QStringLiteral("результат")});
    Points->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Points->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Banner = new QLabel(this);
    Banner->setObjectName("AutoRunBanner");
    Banner->setAlignment(Qt::AlignCenter);
    QFont big = Banner->font();
    big.setPointSize(16);
    big.setBold(true);
    Banner->setFont(big);
    StopBtn = new QPushButton(QStringLiteral("Стоп"), this);
    StopBtn->setObjectName("AutoRunStopBtn");
    for (QWidget* w : std::initializer_list<QWidget*>{Title, Gauge, Points, Banner, StopBtn})
        layout->addWidget(w);
}

void TAutoRunWindow::Begin(const Procedure& p) {
    Title->setText(QString::fromStdString(p.title + " (" + p.doc + ")"));
    Points->setRowCount(0);
    Gauge->setValue(0);
    Banner->clear();
    StopBtn->setText(QStringLiteral("Стоп"));
}

void TAutoRunWindow::AddPoint(const PointResult& p, Quantity q) {
    const int row = Points->rowCount();
    Points->insertRow(row);
    const bool measured = p.result != PointVerdict::NotMeasured;
    const QString eu = unitOf(p.errorKind, q);
    const QString cells[6] = {
        RuFloat(p.nominal),
        RuFloat(p.reference),
        measured ? RuFloat(p.measured) : QString(),
        measured ? RuFixed(p.error, 4) + " " + eu : QString(),
        RuFloat(p.limit) + " " + eu,
        p.result == PointVerdict::Pass ? QStringLiteral("годна")
        : p.result == PointVerdict::Fail
            ? QStringLiteral("не годна")
            : QStringLiteral("не измерена: ") + QString::fromStdString(p.reason),
    };
    for (int c = 0; c < 6; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (p.result == PointVerdict::Fail) item->setForeground(Qt::red);
        Points->setItem(row, c, item);
    }
}

void TAutoRunWindow::SetProgress(int percent) { Gauge->setValue(percent); }

void TAutoRunWindow::End(RunVerdict v) {
    const QString text = v == RunVerdict::Fit     ? QStringLiteral("ГОДЕН")
                         : v == RunVerdict::Unfit ? QStringLiteral("НЕ ГОДЕН")
                                                  : QStringLiteral("ПРЕРВАНО");
    const QColor colour = v == RunVerdict::Fit ? QColor(0, 128, 0) : QColor(Qt::red);
    Banner->setText(text);
    QPalette pal = Banner->palette();
    pal.setColor(QPalette::WindowText, colour);
    Banner->setPalette(pal);
    StopBtn->setText(QStringLiteral("Закрыть"));
}

// ---- The run ----

TAutoRun::TAutoRun(TMainForm& form)
    : QObject(&form), m_form(form), m_window(new TAutoRunWindow(&form)) {
    setObjectName("AutoRun");
    // The button sits right of each page's channel selector, which gives
    // it the room.
    for (QComboBox* combo : {form.cbChlMode, form.cb735ChlMode}) {
        QRect r = combo->geometry();
        r.setWidth(r.width() - 92);
        combo->setGeometry(r);
        auto* btn = new QPushButton(QStringLiteral("Автоповерка"), combo->parentWidget());
        btn->setObjectName(combo == form.cbChlMode ? "AutoRunCurBtn" : "AutoRun735Btn");
        btn->setGeometry(r.right() + 4, r.top() - 1, 88, r.height() + 2);
        connect(btn, &QPushButton::clicked, this, &TAutoRun::AutoBtnClick);
    }
    connect(&form, &TMainForm::rawReply, this, &TAutoRun::Line);
    connect(m_window->StopBtn, &QPushButton::clicked, this, &TAutoRun::StopClick);
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, [this] {
        if (Running()) Apply(m_run->Tick(Now()));
    });
    m_clock.start();
}

TAutoRun::~TAutoRun() = default;

int TAutoRun::Channel() const {
    if (m_form.ModuleKind == kKind787x) return 0;
    return frequencyPage(m_form.ModuleKind) ? m_form.cb735ChlMode->currentIndex()
                                            : m_form.cbChlMode->currentIndex();
}

void TAutoRun::AutoBtnClick() {
    if (Running()) return;
    std::string error;
    const std::string dir = EnsureUserProcedures(UserProcedureDir(), ShippedProcedureDir(), error);
    std::vector<ProcedureError> mistakes;
    std::vector<ProcedureChoice> fits =
        dir.empty() ? std::vector<ProcedureChoice>{}
                    : ProceduresFor(dir, m_form.ModuleKind, Channel(), mistakes);
    if (fits.empty()) {
        QString text = QStringLiteral("Нет процедуры поверки для этого модуля и канала в папке ") +
                       QString::fromStdString(dir.empty() ? error : dir);
        for (const ProcedureError& m : mistakes)
            text += QStringLiteral("\n") + QString::fromStdString(m.Text());
        m_form.Dialogs().MessageBox(text, QStringLiteral("Внимание!"), DlgIcon::Warning,
                                    DlgButtons::Ok);
        return;
    }
    std::size_t chosen = 0;
    if (fits.size() > 1) {
        QStringList titles;
        for (const ProcedureChoice& c : fits) titles << QString::fromStdString(c.procedure.title);
        bool ok = false;
        const QString t = QInputDialog::getItem(&m_form, kCaption, QStringLiteral("Процедура:"),
                                                titles, 0, false, &ok);
        if (!ok) return;
        chosen = static_cast<std::size_t>(titles.indexOf(t));
    }
    Start(fits[chosen].procedure);
}

void TAutoRun::Start(const Procedure& p) {
    if (Running()) return;
    ProgressSink* sink = this;
    m_recorder.reset();
    auto* record = m_form.findChild<TVerificationRecord*>();
    if (record && record->IsOpen()) {
        m_recorder = std::make_unique<records::RunRecorder>(
            *record->Store(), record->Id(), records::UnitOf(p.quantity), this, false);
        // A lost database stops the run from the event loop, not from
        // within the run's own call.
        m_recorder->SetStop([this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (Running()) Apply(m_run->Stop(Now()));
                },
                Qt::QueuedConnection);
        });
        sink = m_recorder.get();
    }
    m_run =
        std::make_unique<VerificationRun>(p, RunSetup{m_form.ModuleKind, m_form.QuartzKHz}, sink);
    m_window->Begin(p);
    m_window->show();
    Lock(true);
    Apply(m_run->Start(Now()));
}

void TAutoRun::StopClick() {
    if (Running())
        Apply(m_run->Stop(Now()));
    else
        m_window->hide();
}

void TAutoRun::Line(const QString& line) {
    if (Running()) Apply(m_run->Reply(line.toStdString(), Now()));
}

double TAutoRun::Now() const { return static_cast<double>(m_clock.nsecsElapsed()) / 1e9; }

void TAutoRun::Apply(const Actions& a) {
    for (const std::string& c : a.commands) m_form.QueueCommand(c);
    if (a.finished) {
        m_wake.stop();
        Lock(false);
        return;
    }
    if (a.wakeAt >= 0) {
        const double ms = std::max(0.0, (a.wakeAt - Now()) * 1000.0);
        m_wake.start(static_cast<int>(std::ceil(ms)));
    }
}

// The page's own poll would only add exchanges to the run's; the manual
// controls stay locked so that nothing else drives the generator.
void TAutoRun::Lock(bool locked) {
    QWidget* page = m_form.NBWork->currentWidget();
    if (page) page->setEnabled(!locked);
    m_form.EndCheckBtn->setEnabled(!locked);
    if (locked) {
        m_pollingBefore = m_form.Polling;
        m_form.Polling = false;
    } else {
        m_form.Polling = m_pollingBefore;
        if (m_form.Polling) m_form.PollTimer->start();
    }
}

void TAutoRun::PointStarted(int, int, double) {}

void TAutoRun::PointFinished(const PointResult& point) {
    m_window->AddPoint(point, m_run->Proc().quantity);
    m_window->SetProgress(m_run->Percent());
}

// The record went to the local spool with its end: the operator is told
// why and where, and the window begins the next record on a fresh opening.
void TAutoRun::LostStore(const records::RunRecorder& recorder) {
    const records::PointSpool& spool = *recorder.Spool();
    QString text = QStringLiteral("База данных записей недоступна, автоповерка остановлена:\n\r") +
                   recorder.Error();
    text += spool.Error().isEmpty()
                ? QStringLiteral(
                      "\n\rЗапись прервана; её точки (%1) сохранены в %2 и будут "
                      "записаны, когда база данных снова откроется.")
                      .arg(spool.Count())
                      .arg(spool.Path())
                : QStringLiteral("\n\rТочки не сохранены: ") + spool.Error();
    if (auto* record = m_form.findChild<TVerificationRecord*>()) record->Abandon();
    m_form.Dialogs().MessageBox(text, QStringLiteral("Ошибка!"), DlgIcon::Error, DlgButtons::Ok);
}

void TAutoRun::RunFinished(const RunResult& run) {
    m_window->End(run.verdict);
    if (m_recorder && m_recorder->Spool()) {
        LostStore(*m_recorder);
        return;
    }
    if (m_recorder && !m_recorder->Error().isEmpty())
        m_form.Dialogs().MessageBox(
            QStringLiteral("Точки автоповерки не записаны в протокол:\n\r") + m_recorder->Error(),
            QStringLiteral("Внимание!"), DlgIcon::Warning, DlgButtons::Ok);
}

}  // namespace yukt
