#pragma once
// The verification under way in the window, with no widget of its own: the
// module identified, the open record, the automatic run, what the generator
// outputs now and the reading the page computed last. The pages, the run
// window and the record's buttons are views of it and drive it; tests drive
// it without a display.

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "records/record.h"
#include "verify/methodology.h"
#include "verify/plan.h"
#include "verify/point_table.h"
#include "verify/safe_check.h"
#include "verify/verification_run.h"

namespace yukt {

namespace records {
class BackgroundRecorder;
class PointSpool;
class RecordStore;
}  // namespace records

// What the session asks of the window it serves.
struct SessionHooks {
    // The instrument's command queue (the one the pages use).
    std::function<void(const std::string&)> queueCommand;
    // A run drives the generator alone: the page's manual controls,
    // "Закончить поверку" and the page's own poll are off while it runs.
    std::function<void(bool locked)> lockPage;
    // The item of the page's channel selector.
    std::function<int()> channelItem;
    // The FLASH values the module will keep (asked when the record closes).
    std::function<QString()> flashAfter;
    // Commands queued on the instrument so far (TMainForm::CommandsQueued).
    std::function<std::uint64_t()> commandsQueued;
};

// The module the verification is of.
struct SessionModule {
    int kind = 0;       // module kind under test (the page's)
    int firstKind = 0;  // of the device's first module
    QString model;      // "745t" ...
    QString designation;
    QString ident;
    QString identSecond;  // a composite device's second module
    int flashAddress = -1;
    QString flashBefore;
    double quartzKHz = 0;  // of the calibrator's 788t
};

// What the calibrator's generator puts out now, as far as the workstation
// set it. `serial` changes with every setting, so that a reading can tell
// which setting it was made under.
struct GeneratorOutput {
    verify::Quantity quantity = verify::Quantity::Current;
    double value = 0;
    bool on = false;  // false: nothing set yet, or the generator idle
    // Why what the generator puts out is not known: it did not read back
    // the safe value a run left it at (`on` is then false, `value` the
    // value it may have stayed at). Empty otherwise.
    QString unconfirmed;
    int serial = 0;
    // The command count once the setting was queued: replies to polls
    // taken before it still show the earlier setting.
    std::uint64_t ticket = 0;
};

// What a page computed from the last reply it showed (not the rounded
// texts of its fields).
struct PageReading {
    verify::Quantity quantity = verify::Quantity::Current;
    int channelItem = 0;
    double nominal = 0;    // the value the operator asked for
    double reference = 0;  // what the generator produces for it
    double measured = 0;   // what the module measured
    verify::ErrorKind shownKind = verify::ErrorKind::Abs;  // the page's error selector
    double shownRange = 0;                                 // of the page's reduced error
    int generatorSerial = 0;
};

class TMethodologyLibrary;

// The state of a plan item as the plan view shows it.
enum class ItemState { NotStarted, Running, Pass, Fail, NotMeasured };
// "не начата", "идёт", "годен", "не годен", "не измерена"
QString ItemStateText(ItemState s);

class TVerificationSession : public QObject, private verify::ProgressSink {
    Q_OBJECT
  public:
    explicit TVerificationSession(SessionHooks hooks, QObject* parent = nullptr);
    // An open record ends "прервано" with the points it has.
    ~TVerificationSession() override;

    // ---- The module ----
    void SetModule(const SessionModule& module);
    const SessionModule& Module() const { return m_module; }
    int ChannelItem() const;

    // ---- The methodology and the plan ----
    // The laboratory's methodologies, read on first use (the shipped ones
    // copied into the user's folder) and again whenever the folder changes.
    TMethodologyLibrary& Library();
    // The plan of the module by its methodology; null (with PlanProblem())
    // when there is none.
    const verify::Plan* ThePlan();
    // References of the record begun last whose validity ends within 30 days.
    const QStringList& ReferenceWarnings() const { return m_referenceWarnings; }
    const QString& PlanProblem() const { return m_planProblem; }
    // Every attempt at the plan in this verification, the earlier first.
    const std::vector<verify::Attempt>& Attempts() const { return m_attempts; }
    ItemState StateOf(int item) const;
    // The plan's verdict over the latest attempts.
    verify::VerdictResult PlanVerdict();
    // The error items the page's selector item reads ("Автоповерка").
    std::vector<int> ItemsOfSelector(int selectorItem);

    // ---- The record ----
    // Opens the records database once, and again after it was lost; false
    // (with `error`) when it cannot. `notes`: what became of the records
    // spooled while the database was away (empty when there were none).
    bool OpenStore(const QString& url, QString& error, QStringList* notes = nullptr);
    records::RecordStore* Store() const { return m_store.get(); }
    // The operator's details the last record of this workstation and model
    // was given.
    records::RecordInfo LastInfo() const;
    // Keeps `info` as the last details of this workstation and model and
    // begins the record; false with the error when either fails (or the
    // laboratory settings cannot be read).
    bool BeginRecord(const records::RecordInfo& info, QString& error);
    // Closes the open record (by its plan's verdict, else its points').
    // `warning`: what the operator is to be told, empty when all went well.
    // A database lost at the closing ends the record "прервано" in the local
    // spool.
    void CloseRecord(QString& warning);
    bool RecordOpen() const { return m_recordId != 0; }
    qint64 RecordId() const { return m_recordId; }
    // "В протокол": stores the page's reading into the open record; false
    // with the reason when the reading cannot be stored. A database lost
    // under the point ends the record "прервано" in the local spool with it.
    bool StoreReading(QString& why, records::RecordPoint* stored = nullptr);
    // The database was lost and the record ended in the local spool: it is
    // no longer open, and the next record opens the database anew.
    void AbandonRecord();

    // ---- The generator and the page's reading ----
    // `unconfirmed`: why what it puts out is not known (`on` false).
    void SetGenerator(verify::Quantity q, double value, bool on = true,
                      const QString& unconfirmed = {});
    const GeneratorOutput& Generator() const { return m_generator; }
    // A reply that came when `takenAtReply` commands had been taken shows
    // the generator's present setting.
    bool ReplyIsOfSetting(std::uint64_t takenAtReply) const {
        return m_generator.unconfirmed.isEmpty() && takenAtReply >= m_generator.ticket;
    }
    void SetReading(PageReading reading);
    const std::optional<PageReading>& Reading() const { return m_reading; }

    // ---- The automatic run ----
    // The items of the plan numbered in `items` (empty: the whole plan).
    // False, with StartProblem(), when the module under test, the generator
    // or the meter the plan needs did not answer: the run does not begin.
    bool StartPlanRun(const std::vector<int>& items);
    // "модуль под поверкой не отвечает по адресу 6 (COM1)"; empty when the
    // last run began.
    const QString& StartProblem() const { return m_startProblem; }
    // "безопасное значение не подтверждено: ..." of the runs since the
    // record began; the record is closed with them.
    const QStringList& SafeProblems() const { return m_safeProblems; }
    // Why the last run ended early for a line fault ("связь потеряна: ...",
    // as yukt-verify says it); empty when it did not. The points under way
    // carry it as their reason, and so does the record's reason of their item.
    const QString& LineProblem() const { return m_lineProblem; }
    // The generators' read-back after the last run is still awaited.
    bool SafeWaiting() const { return m_safe.Waiting(); }
    // A methodology of its own (a per-channel procedure comes translated by
    // MethodologyOfProcedure), whose attempts stay out of the module's plan;
    // false (with `error`) when it is not for the module.
    bool StartRun(const verify::Methodology& m, QString* error = nullptr);
    // The operator's answer to the question the run asked.
    void Answer(verify::Answer answer, const QString& remark);
    // The point under way is not measured; the generator goes to its safe
    // value.
    void StopRun();
    bool Running() const { return m_run != nullptr && !m_run->Finished(); }
    const verify::VerificationRun* Run() const { return m_run.get(); }
    // The items the run (or the last one) was asked to do.
    const std::vector<int>& RunItems() const { return m_runItems; }
    // Every reply line of the instrument, with LineFaultOf(line) worked out
    // when it came (empty: the module answered).
    void Reply(const QString& line, const QString& lineFault = QString());
    // "связь потеряна: модуль под поверкой не отвечает по адресу 6 (COM1)"
    // when every attempt of the exchange that gave `line` failed on the
    // line; empty otherwise. The instrument's worker thread only, from its
    // OnGet, while the link still tells the line's failure from the module's.
    static QString LineFaultOf(const std::string& line);
    // The first failure to store the run's points, if any.
    QString RecorderError() const;
    // Where the last run's record went once the database was lost under it
    // (the run was stopped and the record abandoned); null while it held.
    const records::PointSpool* RunSpool() const;
    // The last run's points are still on their way to the database (they
    // are written on a thread of their own); recordSettled() follows.
    bool RecordPending() const;
    // How long one call of the database may take before the run is stopped
    // and its record given up on (35 s).
    void SetRecordTimeout(std::chrono::milliseconds limit) { m_recordLimit = limit; }

  signals:
    void runStarted(const QString& title);
    void asked(const verify::Question& q);
    // An attempt ended, or an item began: its state changed.
    void itemChanged(int item);
    void planChanged();
    void pointStarted(int index, int count, double nominal);
    void pointFinished(const verify::PointResult& point, verify::Quantity q);
    // An attempt at an operation on the module (not an error point) ended.
    void operationFinished(const verify::PlanItem& item, const verify::Attempt& attempt);
    void runFinished(const verify::RunResult& run);
    // A run could not begin (StartProblem()).
    void runRefused(const QString& why);
    // The line to a module the run waited for was lost: the run ends
    // "прервано" with this reason, nothing judged on it.
    void lineLost(const QString& why);
    // After a run the generator did not confirm its safe value.
    void safeNotConfirmed(const QString& problem);
    // The generator was set (by a page or at the end of a run).
    void generatorChanged();
    void recordChanged();
    // The last run's points are written, spooled (RunSpool()) or given up on
    // (RecorderError()).
    void recordSettled();

  private:
    void PointStarted(int index, int count, double nominal) override;
    void PointFinished(const verify::PointResult& point) override;
    void RunFinished(const verify::RunResult& run) override;
    void AttemptFinished(const verify::PlanItem& item, const verify::Attempt& attempt) override;
    void EventHandled() override;
    void Asked(const verify::Question& q) override;
    bool BenchAnswers(const verify::Plan& plan);
    bool Begin(std::unique_ptr<verify::VerificationRun> run, const QString& title, bool ofPlan,
               std::vector<int> items);
    void Replan();
    void Apply(const verify::Actions& a);
    double Now() const;
    // The plan item a page's reading is a point of, else an item of the same
    // operation and channel (its tolerance); null when the plan has none.
    const verify::PlanItem* ItemOfReading(const PageReading& r, bool& samePoint);
    // Ends the open record "прервано" in the local spool (with `point`, which
    // the database did not take) and abandons it; what the operator is told.
    QString ToSpool(const records::RecordPoint* point);
    // The generators' read-back after a run ended, or its time up.
    void SafeReply(const QString& line);
    void SafeDone();
    // Waits until the last run's points are written or given up on, before
    // the window's own connection touches the record again.
    void SettleRecorder(bool tell = true);
    void RecorderSettled(int run, bool tell);

    SessionHooks m_hooks;
    SessionModule m_module;
    GeneratorOutput m_generator;
    std::optional<PageReading> m_reading;
    std::unique_ptr<records::RecordStore> m_store;
    qint64 m_recordId = 0;
    bool m_storeLost = false;
    TMethodologyLibrary* m_library = nullptr;
    bool m_libraryRead = false;
    std::optional<verify::Plan> m_plan;
    QStringList m_referenceWarnings;
    QString m_planProblem;
    std::vector<verify::Attempt> m_attempts;
    std::unique_ptr<verify::VerificationRun> m_run;
    // The run's points go to the database on a thread of their own.
    std::unique_ptr<records::BackgroundRecorder> m_recorder;
    int m_recorderRun = 0;  // counts the recorded runs
    bool m_recorderSettled = true;
    std::chrono::milliseconds m_recordLimit{35000};
    bool m_runOfPlan = false;
    std::vector<int> m_runItems;     // empty: every item of the run's plan
    std::vector<int> m_runAttempted;  // items with an attempt in this run
    std::vector<int> m_running;       // items under way
    bool m_stopped = false;
    QTimer m_wake;
    QElapsedTimer m_clock;
    QString m_startProblem;
    verify::SafeCheck m_safe;
    QTimer m_safeTimer;
    QStringList m_safeProblems;
    QString m_lineProblem;
};

}  // namespace yukt
