// The window's life: creation, the end of start-up, the command queue and
// the routing of the instrument's replies, closing.

#include "app/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <cstdio>

#include "app/auto_run.h"
#include "app/init_thread.h"
#include "app/records_access.h"
#include "app/page_fields.h"
#include "app/verification_record.h"
#include "app/verification_session.h"
#include "common/text.h"
#include "instrument/cprbr.h"
#include "link/com_port.h"
#include "link/link_hooks.h"
#include "widgets/percent_gauge.h"
#include "widgets/speed_button.h"

namespace yukt {

namespace {

// The page indices of the notebooks.
constexpr int kMainWork = 1;
constexpr int kWorkInit = 0;

std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

// Commands never served count as taken: nothing waits for their effect.
void dropCommands(ReplyChannel& channel) {
    channel.taken += channel.commandQueue.size();
    channel.commandQueue.clear();
    channel.freeQueue.clear();
}

// The words of a reply line, one per entry from 1 on, decimal commas.
QStringList replyWords(const std::string& line) {
    QStringList fields{QString()};
    const QString text = QString::fromStdString(PointToComma(line));
    for (const QString& w : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) fields << w;
    return fields;
}

}  // namespace

TMainForm::TMainForm(const StartOptions& options, const Services& services, QWidget* parent)
    : QWidget(parent),
      m_dialogs(services.Dialogs),
      m_startProcess(services.StartProcess),
      m_programFile(services.ProgramFile),
      m_workDirOption(options.WorkDirOption),
      m_channel(std::make_shared<ReplyChannel>()) {
    m_channel->form = this;
    if (m_programFile.isEmpty()) m_programFile = QCoreApplication::applicationFilePath();
    if (!m_startProcess)
        m_startProcess = [](const QString& program, const QStringList& args, const QString& dir) {
            return QProcess::startDetached(program, args, dir);
        };
    BuildLayout();
    connect(NextBtn, &QPushButton::clicked, this, &TMainForm::NextBtnPressed);
    connect(EndCheckBtn, &QAbstractButton::clicked, this, &TMainForm::EndCheckBtnClick);
    connect(CloseBtn, &QAbstractButton::clicked, this, &TMainForm::CloseBtnClick);
    connect(PollTimer, &QTimer::timeout, this, &TMainForm::PollTimerTimer);
    m_pageShowLater = new QTimer(this);
    m_pageShowLater->setSingleShot(true);
    connect(m_pageShowLater, &QTimer::timeout, this, &TMainForm::ShowReplyOnPage);
    SessionHooks hooks;
    hooks.queueCommand = [this](const std::string& c) { QueueCommand(c); };
    hooks.lockPage = [this](bool locked) { LockPageForRun(locked); };
    hooks.channelItem = [this] {
        return NBWork->currentIndex() == 2 ? cb735ChlMode->currentIndex()
                                           : cbChlMode->currentIndex();
    };
    hooks.flashAfter = [this] { return FlashAfterText(); };
    hooks.commandsQueued = [this] { return CommandsQueued(); };
    m_session = new TVerificationSession(std::move(hooks), this);
    connect(this, &TMainForm::rawReply, m_session, &TVerificationSession::Reply);
    ConnectPageCur();
    ConnectPage735();
    auto* autoRun = new TAutoRun(*m_session, *m_dialogs, this, {cbChlMode, cb735ChlMode});
    new TVerificationRecord(*m_session, *m_dialogs, GrBox745Cur, GrBox735Freq);
    connect(new TRecordsAccess(*this), &TRecordsAccess::menuOpening, autoRun,
            &TAutoRun::AddMenuEntries);

    // FormCreate
    DeleteFilesOnClose = true;
    CalibratorPort = 0;
    NBMain->setCurrentIndex(0);
    NBWork->setCurrentIndex(kWorkInit);
    WizardStep = 0;
    Cur.RefCurrent = 4.0;
    Freq.RefFrequency = 100.0;
    Freq.RefInterval = 0;
    Freq.RefCount = 0;
    CanClose = true;
    ProgramDir = options.ProgramDir;

    const QStringList& args = options.Arguments;
    if (args.size() < 6) {
        StartInitThread();
    } else if (args[0] == QLatin1String("ZirokReInit")) {
        bool okLeft = false, okTop = false;
        const int left = args[1].toInt(&okLeft);
        const int top = args[2].toInt(&okTop);
        if (okLeft && okTop) move(left, top);
        HasMeter = args[3].trimmed() == QLatin1String("1");
        CalibratorPort = args[4].trimmed().toInt();
        // The instance before wrote it with a decimal comma; a point is
        // taken too, so a hand-typed restart line works as well.
        QuartzKHz = RuToFloatDef(QString::fromStdString(PointToComma(args[5].toStdString())), 0);
        CalibratorFound = true;
        LProc->setText(QStringLiteral("Подключите модуль к разъему \"Шина обмена\"."));
        WizardStep = 1;
        QMetaObject::invokeMethod(this, &TMainForm::InitDone, Qt::QueuedConnection);
    }
}

TMainForm::~TMainForm() {
    {
        std::lock_guard<std::mutex> guard(m_progressLock);
        m_closingDown = true;
    }
    m_progressShown.notify_all();
    m_init.reset();
    if (!m_closed) FormClose();
}

// ---- Shared with the worker thread ----

std::string TMainForm::ExpectedNumber() const {
    std::lock_guard<std::mutex> guard(m_channel->lock);
    return m_channel->expectedNumber;
}

void TMainForm::SetExpectedNumber(const std::string& number) {
    std::lock_guard<std::mutex> guard(m_channel->lock);
    m_channel->expectedNumber = number;
}

QStringList TMainForm::ReplyFields() const {
    std::lock_guard<std::mutex> guard(m_channel->lock);
    return m_channel->replyFields;
}

QString TMainForm::ReplyField(int k) const {
    std::lock_guard<std::mutex> guard(m_channel->lock);
    return k >= 0 && k < m_channel->replyFields.size() ? m_channel->replyFields[k] : QString();
}

std::string TMainForm::LastReplyLine() const {
    std::lock_guard<std::mutex> guard(m_channel->lock);
    return m_channel->lastLine;
}

std::deque<std::string> TMainForm::CommandQueue() const {
    std::lock_guard<std::mutex> guard(m_channel->lock);
    return m_channel->commandQueue;
}

std::uint64_t TMainForm::CommandsQueued() const {
    std::lock_guard<std::mutex> guard(m_channel->lock);
    return m_channel->queued;
}

std::uint64_t TMainForm::CommandsTakenAtReply() const {
    std::lock_guard<std::mutex> guard(m_channel->lock);
    return m_channel->takenAtReply;
}

void TMainForm::QueueCommand(const std::string& command, bool freeRequest) {
    // An empty command would never be consumed and block the queue for good.
    if (command.empty()) return;
    std::lock_guard<std::mutex> guard(m_channel->lock);
    m_channel->commandQueue.push_back(command);
    m_channel->freeQueue.push_back(freeRequest);
    ++m_channel->queued;
    if (m_channel->commandQueue.size() == 1 && m_channel->instrument != nullptr)
        m_channel->instrument->SetsSet(command, freeRequest);
}

void TMainForm::AttachInstrument(TcPrbr& instrument) {
    std::shared_ptr<ReplyChannel> channel = m_channel;
    // OnSet, worker thread: the head has been consumed; hand on the next one.
    instrument.SetOnSet([channel](TcPrbr& sender) {
        std::lock_guard<std::mutex> guard(channel->lock);
        if (channel->commandQueue.empty()) return;
        channel->commandQueue.pop_front();
        channel->freeQueue.pop_front();
        ++channel->taken;
        if (!channel->commandQueue.empty())
            sender.SetsSet(channel->commandQueue.front(), channel->freeQueue.front());
    });
    // OnGet, worker thread: accept the reply meant for the module watched now.
    instrument.SetOnGet([channel](TcPrbr& sender) {
        const std::string line = trimmed(sender.sGet());
        // Here, on the worker, the link still tells the line's failure from
        // the module's answer.
        const QString lineFault = TVerificationSession::LineFaultOf(line);
        std::lock_guard<std::mutex> guard(channel->lock);
        if (TMainForm* form = channel->form) {
            const QString text = QString::fromStdString(line);
            QMetaObject::invokeMethod(
                form, [form, text, lineFault] { emit form->rawReply(text, lineFault); },
                Qt::QueuedConnection);
        }
        if (GetColumn(line, 2) != channel->expectedNumber) return;
        channel->lastLine = line;
        channel->takenAtReply = channel->taken;
        if (channel->form == nullptr) return;
        if (GetColumn(line, 3) == "Err") {
            QMetaObject::invokeMethod(channel->form, &TMainForm::ReplyError, Qt::QueuedConnection);
            return;
        }
        channel->replyFields = replyWords(line);
        QMetaObject::invokeMethod(channel->form, &TMainForm::ReplyArrived, Qt::QueuedConnection);
    });
    // Worker thread: a lost or returning line goes to the window as a queued call.
    SetLineStateHook([channel](int com, bool lost) {
        std::lock_guard<std::mutex> guard(channel->lock);
        TMainForm* form = channel->form;
        if (form == nullptr || channel->instrument == nullptr || com != channel->calibratorCom)
            return;
        const QString reason = QStringLiteral("COM %1 (%2): линия потеряна")
                                   .arg(com)
                                   .arg(QString::fromStdString(ComDevicePath(com)));
        QMetaObject::invokeMethod(
            form, [form, lost, reason] { form->CalibratorLineChanged(lost, reason); },
            Qt::QueuedConnection);
    });
    std::lock_guard<std::mutex> guard(m_channel->lock);
    m_channel->instrument = &instrument;
    m_channel->calibratorCom = CalibratorPort;
    // Commands queued before the instrument existed go first.
    if (!m_channel->commandQueue.empty())
        instrument.SetsSet(m_channel->commandQueue.front(), m_channel->freeQueue.front());
}

// A step blocks the window while it talks to the module; clicks made
// meanwhile (a double click, an impatient second press) wait in the queue and
// arrive as soon as the step ends. They are not a request for the next step.
void TMainForm::NextBtnPressed() {
    if (m_stepRunning) return;
    if (m_stepEnded.isValid() && m_stepEnded.elapsed() < QApplication::doubleClickInterval())
        return;
    m_stepRunning = true;
    NextBtnClick();
    m_stepRunning = false;
    m_stepEnded.start();
}

// ---- Start-up ----

void TMainForm::StartInitThread() {
    CanClose = false;
    m_init = std::make_unique<TInitThread>(
        ProgramDir,
        [this](int value, const std::string& text) { return HandOverProgress(value, text); },
        [this](const InitResult& result) {
            std::lock_guard<std::mutex> guard(m_progressLock);
            if (m_closingDown) return;
            QMetaObject::invokeMethod(
                this, [this, result] { InitThreadFinished(result); }, Qt::QueuedConnection);
        });
    m_init->Start();
}

// Start-up thread: waits until the main thread has shown the progress.
bool TMainForm::HandOverProgress(int value, const std::string& text) {
    std::unique_lock<std::mutex> lock(m_progressLock);
    if (m_closingDown) return false;
    m_progressPending = true;
    const QString qtext = QString::fromStdString(text);
    QMetaObject::invokeMethod(
        this,
        [this, value, qtext] {
            ShowInitProgress(value, qtext);
            std::lock_guard<std::mutex> guard(m_progressLock);
            m_progressPending = false;
            m_progressShown.notify_all();
        },
        Qt::QueuedConnection);
    m_progressShown.wait(lock, [this] { return !m_progressPending || m_closingDown; });
    return !m_closingDown;
}

void TMainForm::ShowInitProgress(int value, const QString& text) {
    if (value != 0) InitPrBar->show();
    InitPrBar->setValue(value);
    InitLabel->setText(text);
    if (value > 98) InitPrBar->hide();
}

void TMainForm::InitThreadFinished(const InitResult& result) {
    m_init.reset();  // the thread has returned from its last call; joins at once
    CalibratorFound = result.Info.CalibratorFound;
    CalibratorPort = result.Info.CalibratorPort;
    HasMeter = result.Info.HasMeter;
    QuartzKHz = result.Info.QuartzKHz;
    CanClose = true;
    if (!result.UnwritableFiles.empty()) {
        QString names;
        for (const std::string& f : result.UnwritableFiles)
            names += QStringLiteral("\n\r") + QString::fromStdString(f);
        m_dialogs->MessageBox(QStringLiteral("Не удалось записать файлы конфигурации:") + names,
                              QStringLiteral("Ошибка!"), DlgIcon::Error, DlgButtons::Ok);
    }
    InitDone();
}

void TMainForm::InitDone() {
    if (!CalibratorFound) {
        const DlgResult answer = m_dialogs->MessageBox(
            QString(35, QLatin1Char(' ')) +
                QStringLiteral("КП \"Зирок-М\" не найден.\r\nПодключите КП \"Зирок-М\" к СОМ-порту "
                               "компьютера и нажмите кнопку ОК."),
            QStringLiteral("Внимание!"), DlgIcon::Warning, DlgButtons::OkCancel);
        if (answer == DlgResult::Ok)
            StartInitThread();
        else
            close();
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_channel->lock);
        m_channel->expectedNumber = std::string("1");
        dropCommands(*m_channel);
        m_channel->replyFields = QStringList{QString()};
    }
    NBMain->setCurrentIndex(kMainWork);
    OfferJournalRestore();
}

// ---- Replies ----

// A run may poll several times a second, and the page only shows what it
// reads: meanwhile the page is drawn once per poll interval, with the first
// reply that comes once the interval has passed. That reply is handled by the
// run in the same pass, so the page and the run window are drawn together.
// When no further reply comes, the latest one is shown an interval later.
void TMainForm::ReplyArrived() {
    if (m_session->Running()) {
        const qint64 interval = PollTimer->interval();
        const qint64 since = m_pageShown.isValid() ? m_pageShown.elapsed() : interval;
        if (since < interval) {
            if (!m_pageShowLater->isActive())
                m_pageShowLater->start(static_cast<int>(2 * interval - since));
            return;
        }
    }
    m_pageShowLater->stop();
    ShowReplyOnPage();
}

void TMainForm::ShowReplyOnPage() {
    m_pageShown.start();
    switch (ModuleKind) {
        case 1:
        case 2:
        case 3:
        case 8:
        case 13:
        case 14:
        case 15:
            ShowReplyCur();
            break;
        case 5:
        case 6:
            ShowReply735();
            break;
        default:
            break;
    }
    emit replyShown();
}

void TMainForm::ReplyError() {
    m_pageShowLater->stop();  // the error stands over any earlier reply
    const QString words = QString::fromStdString(GetColumn(LastReplyLine(), 3, 2));
    for (QLineEdit* e : {e745Cur, e745CurPar, eImp745, eTemp745, e735xTime, e735Freq, e735Time})
        e->setText(words);
    const QString marker = QStringLiteral("     <><>");
    for (QLineEdit* e : {eErrorCur, eErrorPar, e735xErrorTime, eError735Freq, eError735Time})
        e->setText(marker);
    emit replyShown();
}

// Once per loss and one box at a time: the worker keeps polling meanwhile,
// and a line that comes and goes while the box is up adds nothing to it.
void TMainForm::CalibratorLineChanged(bool lost, const QString& reason) {
    const bool newLoss = lost && !m_lineLost;
    m_lineLost = lost;
    if (!newLoss || m_lineBoxShown || m_main == nullptr) return;
    m_lineBoxShown = true;
    m_dialogs->MessageBox(QStringLiteral("Канал не открыт!?\n\r") + reason,
                          QStringLiteral("Ошибка!"), DlgIcon::Error, DlgButtons::Ok);
    m_lineBoxShown = false;
}

void TMainForm::LockPageForRun(bool locked) {
    if (QWidget* page = NBWork->currentWidget()) page->setEnabled(!locked);
    EndCheckBtn->setEnabled(!locked);
    if (locked) {
        m_pollingBeforeRun = Polling;
        Polling = false;
    } else {
        Polling = m_pollingBeforeRun;
        if (Polling) PollTimer->start();
    }
}

void TMainForm::PollTimerTimer() {
    if (!Polling) PollTimer->stop();
    // Polled while the operator is away: as often as the timer ticks.
    if (Polling) QueueCommand(PollCommand, true);
}

// ---- Closing ----

void TMainForm::CloseInstrument() {
    PollTimer->stop();
    if (m_main == nullptr) return;
    if (m_main->OpenPribor()) {
        m_main->SuspendWorker();
        setWindowTitle(QStringLiteral("Подождите..."));
        Polling = false;
        m_main->SetOpenPribor(false);
        // No fixed wait here: destroying the component below waits for the
        // pass the worker is in and no longer, so closing ends as soon as
        // that pass does, whatever the line does.
    }
    {
        // Commands not yet served were meant for this instrument only.
        std::lock_guard<std::mutex> guard(m_channel->lock);
        m_channel->instrument = nullptr;
        dropCommands(*m_channel);
    }
    m_main.reset();
    m_lineLost = false;
}

void TMainForm::CloseBtnClick() { close(); }

bool TMainForm::FormCloseQuery() {
    if (!CanClose) return false;
    if (!FlashChanged) return true;
    return m_dialogs->MessageBox(
               QStringLiteral("Адрес модуля был изменен!\n\rЗавершить работу программы?"),
               QStringLiteral("Внимание!"), DlgIcon::Warning, DlgButtons::YesNo) == DlgResult::Yes;
}

void TMainForm::FormClose() {
    if (m_closed) return;
    m_closed = true;
    PollTimer->stop();
    CloseInstrument();
    {
        // From here on the worker's replies find no window.
        std::lock_guard<std::mutex> guard(m_channel->lock);
        m_channel->form = nullptr;
        dropCommands(*m_channel);
        m_channel->replyFields.clear();
    }
    if (DeleteFilesOnClose) DeleteGeneratedFiles();
}

void TMainForm::DeleteGeneratedFiles() {
    for (const std::string& name : GeneratedCfgFileNames()) {
        const std::string path = ProgramDir + name;
        if (QFileInfo::exists(QString::fromStdString(path))) std::remove(path.c_str());
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (m_closed) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

}  // namespace yukt
