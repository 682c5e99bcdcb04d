#pragma once
// The workstation's one window, TMainForm: the start page while the
// calibrator is searched for, then the work area with its verification
// sequence ("Далее" step by step), the verification pages, the command queue
// to the instrument and the routing of its replies.
//
// Threads: the window lives in the main thread. The start-up thread hands its
// progress over synchronously and ends with a queued call; the instrument's
// worker thread reaches the window only through the reply channel below,
// whose handlers turn replies into queued calls. Nothing but the main thread
// touches a widget.
//
// The verification pages' own logic (their operator handlers and the display
// of a reply) lives in page_cur.cpp and page_735.cpp as members of this class;
// see the "Page hooks" section.

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/cfg_lines.h"
#include "app/flash_journal.h"
#include "app/operator_dialogs.h"
#include "app/start_options.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace yukt {

class ColorButton;
class LedIndicator;
class PercentGauge;
class SpeedButton;
class TcPrbr;
class TInitThread;
class TVerificationSession;
struct InitResult;

// Starts the program file anew: program, arguments, working directory.
using ProcessStarter =
    std::function<bool(const QString& program, const QStringList& args, const QString& workDir)>;

// What the window shares with the instrument's worker thread, all under `lock`.
struct ReplyChannel {
    std::mutex lock;
    class TMainForm* form = nullptr;  // cleared when the window goes
    TcPrbr* instrument = nullptr;     // the main component while it exists
    int calibratorCom = 0;            // the line whose loss the operator hears of
    // Head = the command handed to the instrument (its sSet).
    std::deque<std::string> commandQueue;
    // Beside each queued command: a repeated wait-poll (the page's poll),
    // whose requests the traffic trace marks free.
    std::deque<bool> freeQueue;
    std::string expectedNumber = "1";
    std::string lastLine;
    QStringList replyFields;
    // Commands queued, and taken by the instrument (or dropped), so far; and
    // how many had been taken when the last accepted reply came.
    std::uint64_t queued = 0, taken = 0, takenAtReply = 0;
};

// Values the current-channel page works with.
struct CurPageValues {
    double CurMin = 0, CurMax = 20;
    double ParMin = 0, ParMax = 20;
    double RefCurrent = 4.0;
};

// Values the frequency page works with.
struct FreqPageValues {
    double RefFrequency = 100.0;
    double RefInterval = 0;
    double RefCount = 0;
    double DividerCoef[2] = {0, 0};
    double DividerAbsError = 0, DividerRelError = 0;
};

class TMainForm : public QWidget {
    Q_OBJECT

  public:
    struct Services {
        OperatorDialogs* Dialogs = nullptr;  // required
        ProcessStarter StartProcess;         // empty: QProcess::startDetached
        QString ProgramFile;                 // empty: this program's file
    };

    TMainForm(const StartOptions& options, const Services& services, QWidget* parent = nullptr);
    ~TMainForm() override;

    // ---- State of the verification sequence ----
    int WizardStep = 0;
    std::string ProgramDir;
    int CalibratorPort = 0;
    bool HasMeter = false;
    double QuartzKHz = 0;
    bool CalibratorFound = false;
    bool CanClose = true;
    bool FlashChanged = false;
    bool Polling = false;
    bool DeleteFilesOnClose = true;
    std::string PollCommand;
    int SavedAddress = -1;
    int FirstKind = 0, ModuleKind = 0, SecondKind = 0, DeviceModuleCount = 0;
    std::string ModuleDesignation;
    // The identification text the module under test answered with, and
    // that of a composite device's second module ("" when there is none).
    std::string ModuleIdent;
    std::string SecondModuleIdent;
    FlashValues Flash;
    // 735t: coefficients found below 2 and replaced by 2 for the verification.
    bool CoefReplaced[2] = {false, false};
    // 735t: the coefficients the module had before this program touched it.
    double OrigCoef[2] = {0, 0};
    CurPageValues Cur;
    FreqPageValues Freq;

    // Guarded, shared with the worker thread.
    std::string ExpectedNumber() const;
    void SetExpectedNumber(const std::string& number);
    // Entry k is word k of the last accepted reply (entry 0 empty), decimal
    // points turned into commas.
    QStringList ReplyFields() const;
    QString ReplyField(int k) const;
    std::string LastReplyLine() const;
    std::deque<std::string> CommandQueue() const;
    // Commands queued so far, and how many of them the instrument had taken
    // when the last accepted reply came: that reply shows the effect of
    // command n only when the second count is at least n.
    std::uint64_t CommandsQueued() const;
    std::uint64_t CommandsTakenAtReply() const;

    // Appends a command; the first one in an empty queue goes to the
    // instrument at once, the others as the instrument consumes their
    // predecessors.
    void QueueCommand(const std::string& command, bool freeRequest = false);

    // The main instrument component, null outside a verification.
    TcPrbr* Instrument() const { return m_main.get(); }
    OperatorDialogs& Dialogs() const { return *m_dialogs; }
    // The verification under way: module, record, run, generator, reading.
    TVerificationSession& Session() const { return *m_session; }
    bool InitRunning() const { return m_init != nullptr; }
    // The window has gone through its closing (FormClose ran).
    bool Closed() const { return m_closed; }

    // ---- Event handlers ----
    void NextBtnClick();
    void EndCheckBtnClick();
    void CloseBtnClick();
    void PollTimerTimer();
    bool FormCloseQuery();
    void FormClose();

    // ---- Controls (object names as the handlers know them) ----
    QStackedWidget* NBMain = nullptr;
    QLabel* InitLabel = nullptr;
    PercentGauge* InitPrBar = nullptr;
    QStackedWidget* NBWork = nullptr;
    SpeedButton* EndCheckBtn = nullptr;
    SpeedButton* CloseBtn = nullptr;
    QLabel* LProc = nullptr;
    QPushButton* NextBtn = nullptr;
    QProgressBar* FindPrBar = nullptr;
    QTimer* PollTimer = nullptr;

    // Page "PAllCur"
    QLabel* lCurChl = nullptr;
    QComboBox* cbChlMode = nullptr;
    QGroupBox* GrBoxGenCur = nullptr;
    QLineEdit *e787xIMin = nullptr, *e787xIMax = nullptr;
    QLineEdit *e787xParMin = nullptr, *e787xParMax = nullptr;
    QLineEdit* le787xCur = nullptr;
    QLineEdit* e787xParam = nullptr;
    ColorButton* Start787xBtn = nullptr;
    QLineEdit* le787xOut = nullptr;
    QStackedWidget* NBCurImp = nullptr;
    QGroupBox* GrBox745Cur = nullptr;
    QLineEdit* e745Cur = nullptr;
    QLineEdit *e745CurMin = nullptr, *e745CurMax = nullptr;
    QLineEdit *e745CurParMin = nullptr, *e745CurParMax = nullptr;
    QLineEdit* e745CurPar = nullptr;
    QLineEdit *eErrorCur = nullptr, *eErrorPar = nullptr;
    QComboBox* cbErrorCur = nullptr;
    QGroupBox* GrBox745Imp = nullptr;
    QLineEdit *eImp745 = nullptr, *eTemp745 = nullptr;
    QComboBox* cbMaterialImp = nullptr;

    // Page "PAll735"
    QComboBox* cb735ChlMode = nullptr;
    QStackedWidget* NB735Freq = nullptr;
    QGroupBox* GrBox788Freq = nullptr;
    QLineEdit *e788Freq = nullptr, *e788Per = nullptr;
    ColorButton* Freq788Btn = nullptr;
    QLineEdit* e788FreqOut = nullptr;
    QGroupBox* GrBox735Freq = nullptr;
    QLineEdit *e735Freq = nullptr, *e735Time = nullptr;
    QLineEdit *eError735Freq = nullptr, *eError735Time = nullptr;
    QComboBox* cb735Error = nullptr;
    QGroupBox* GrBox788Time = nullptr;
    QLineEdit* eTime788 = nullptr;
    ColorButton* StartGenTime788Btn = nullptr;
    QLineEdit* eTime788Out = nullptr;
    QGroupBox* GrBox735xDetect = nullptr;
    LedIndicator *D1Led = nullptr, *D2Led = nullptr;
    QPushButton* ResetDetectsBtn = nullptr;
    QLineEdit* e735xTime = nullptr;
    QComboBox* cbError735xDet = nullptr;
    QLineEdit* e735xErrorTime = nullptr;
    QGroupBox* GrBox788Count = nullptr;
    QLineEdit *e788Freq_Count = nullptr, *e735xCount = nullptr;
    ColorButton* Start735xCountBtn = nullptr;
    QLineEdit* e788FreqOut_Count = nullptr;
    QGroupBox* GrBox735xCount = nullptr;
    LedIndicator *D1LedCount = nullptr, *D2LedCount = nullptr;
    QPushButton* Reset735xBtn = nullptr;
    QLineEdit* e735xCountOut = nullptr;
    QComboBox* cbErr735xCount = nullptr;
    QLineEdit* eErr735xCount = nullptr;
    QGroupBox* GrBoxCheckDel = nullptr;
    QLineEdit* eFreqDel = nullptr;
    ColorButton* StartCheckDelBtn = nullptr;
    QPushButton* StopDelBtn = nullptr;
    QLineEdit *eFreqDelOut = nullptr, *eCountDel = nullptr, *ePredDel = nullptr;
    QLineEdit* eCountDelOut = nullptr;
    QGroupBox* GrBox735Del = nullptr;
    QLineEdit* e735Del = nullptr;
    QLabel *lKDel = nullptr, *lRepFreq = nullptr;
    QLineEdit* e735DelOut = nullptr;
    QComboBox* cbError735tDel = nullptr;
    QLineEdit* eError735tDel = nullptr;

    // ---- Page hooks (page_cur.cpp, page_735.cpp) ----
    // Called once the controls exist: connects the page's operator handlers.
    // The channel boxes are filled at step 2 with their signals blocked, so
    // a page reacts to the operator's choice through `activated`.
    void ConnectPageCur();
    void ConnectPage735();
    // Shows the accepted reply in ReplyFields() (kinds 1, 2, 3, 8, 13, 14, 15
    // on "PAllCur"; 5 and 6 on "PAll735").
    void ShowReplyCur();
    void ShowReply735();

  signals:
    // Emitted after the reply display ran (tests and tools watch it).
    void replyShown();
    // Every reply line of the instrument, accepted or not (the automatic
    // run reads the generator's replies too), with why the line failed
    // under it (TVerificationSession::LineFaultOf; empty: the module answered).
    void rawReply(const QString& line, const QString& lineFault);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The four messages of the window, delivered as queued calls.
    void InitDone();      // end of start-up
    void ReplyArrived();  // an accepted reply
    void ShowReplyOnPage();
    void ModuleFound();   // detection accepted a module
    void ReplyError();    // an accepted reply with "Err"
    // The calibrator's line was lost (`lost`) or answers again.
    void CalibratorLineChanged(bool lost, const QString& reason);

    void BuildLayout();
    void StartInitThread();
    bool HandOverProgress(int value, const std::string& text);
    void ShowInitProgress(int value, const QString& text);
    void InitThreadFinished(const InitResult& result);

    void Detect();
    void VerifyModeAndSetup();
    void EndOfVerification();
    void Restart();
    void CloseInstrument();
    // Routes the component's events into the command queue and the replies.
    void AttachInstrument(TcPrbr& instrument);
    void OfferJournalRestore();
    void DeleteGeneratedFiles();

    bool PrepareFlash(TcPrbr& direct);
    FlashJournal CurrentJournal() const;

    // While a run drives the generator: the page's controls, "Закончить
    // поверку" and the page's poll are off.
    void LockPageForRun(bool locked);
    // The FLASH values of the module as read at detection, and as it keeps
    // them after the verification.
    QString FlashBeforeText() const;
    QString FlashAfterText() const;

    void SetFindBar(int steps);
    void Warn(const QString& text, const QString& caption = QStringLiteral("Внимание!"));
    void AppendDesignationToGroups();
    void FillChannelItems();

    OperatorDialogs* m_dialogs;
    TVerificationSession* m_session = nullptr;
    bool m_pollingBeforeRun = false;
    ProcessStarter m_startProcess;
    QString m_programFile;
    bool m_workDirOption = false;
    std::unique_ptr<TcPrbr> m_main;
    std::shared_ptr<ReplyChannel> m_channel;
    std::unique_ptr<TInitThread> m_init;
    // Progress hand-over from the start-up thread.
    std::mutex m_progressLock;
    std::condition_variable m_progressShown;
    bool m_progressPending = false;
    bool m_closingDown = false;
    bool m_closed = false;
    // "Далее": a step is running, and when the last one ended.
    bool m_stepRunning = false;
    // The calibrator's line is lost / its message box is on the screen.
    bool m_lineLost = false;
    bool m_lineBoxShown = false;
    QElapsedTimer m_stepEnded;
    // The page's last display of a reply, and its next one during a run.
    QElapsedTimer m_pageShown;
    QTimer* m_pageShowLater = nullptr;
    void NextBtnPressed();
};

}  // namespace yukt
