#pragma once
// An automatic verification run over a plan: manual operations are asked of
// the operator, the functional check polls the module, the software check
// compares the identification with the accepted versions, and each error
// point sets the reference, confirms it with the generator, waits the
// settling delay, reads until the readings agree and judges the error.
// A series connection sets each point once and reads every listed channel
// from the same replies; a per-channel one asks for the generator's lead to
// be moved before each channel.
//
// The run is a state machine with no thread and no clock of its own: the
// one who drives it hands in every reply line of the instrument and the
// time, and carries out the Actions it returns — queue the commands, in
// order, on the instrument's command queue (the same one the pages use) and
// call Tick() once `wakeAt` is reached; when the sink is Asked, call
// Answer(). Time is in seconds on any steady clock.

#include <optional>
#include <string>
#include <vector>

#include "verify/plan.h"
#include "verify/point_result.h"
#include "verify/procedure.h"

namespace yukt::verify {

// What the run needs to know of the bench.
struct RunSetup {
    int kind = 0;          // module kind under test
    double quartzKHz = 0;  // quartz of the calibrator's 788t
    // Identification texts as read (empty: not read; the software check is
    // then not done).
    std::string identFirst{}, identSecond{};
    double moduleQuartzKHz = 0;  // of a frequency input; 0: the generator's
};

struct Actions {
    std::vector<std::string> commands;  // to queue, in this order
    double wakeAt = -1;                 // call Tick() at this time; < 0: no wake wanted
    bool finished = false;              // the run is over (commands still to be queued)
};

class VerificationRun {
  public:
    enum class Phase { Idle, Ask, Confirm, Delay, Read, Poll, Done };

    // Runs the items numbered in `items` (empty: the whole plan); `earlier`
    // attempts at the plan (a re-measurement) count for the verdict until
    // superseded.
    VerificationRun(Plan plan, RunSetup setup, ProgressSink* sink, std::vector<int> items = {},
                    std::vector<Attempt> earlier = {});

    Actions Start(double now);
    // Every reply line of the instrument; lines of other modules are ignored.
    Actions Reply(const std::string& line, double now);
    Actions Tick(double now);
    // The answer to the question the sink was Asked.
    Actions Answer(yukt::verify::Answer answer, const std::string& remark, double now);
    // Ends the run at once: the items under way are not measured, the
    // generator goes to its safe value.
    Actions Stop(double now);
    // Ends the run at once because the line to a module failed: the items
    // under way are not measured, with `reason`; nothing is judged on it.
    Actions LineLost(const std::string& reason, double now);
    // The safe commands of every generator the run's points may use: sent
    // as the instrument opens, before anything else.
    std::vector<std::string> PlanSafeCommands() const;
    // Whether the step under way waits for this reply line (the generator's
    // confirmation, a reading, the functional check's answer).
    bool WaitsFor(const std::string& line) const;

    Phase CurrentPhase() const { return m_phase; }
    bool Finished() const { return m_phase == Phase::Done; }
    const RunResult& Result() const { return m_result; }
    const Plan& ThePlan() const { return m_plan; }
    // Every attempt, the earlier ones first; the latest per item counts.
    const std::vector<Attempt>& Attempts() const { return m_attempts; }
    std::optional<Question> PendingQuestion() const;
    // Percentage of the items run finished.
    int Percent() const;

  private:
    struct Step {
        enum Type { Manual, Connect, Functional, Software, Point } type = Point;
        std::vector<std::size_t> items;  // indexes into the plan
        int channel = 0;                 // Connect
    };
    // One channel read in the point under way.
    struct Channel {
        std::size_t index = 0;  // into the plan
        ReplyRoute route;
        std::vector<double> window;  // the latest readings only
        bool settled = false;
        // The first reply after the delay, for a quantity measured since the
        // last read, spans the change of the reference: it only opens the
        // module's measuring window and is no reading.
        bool opened = true;
        // Interval and count: the detectors the last reply showed not fired.
        std::string detectors = {};
    };

    // Tells the sink, as an entry point returns, that the event is handled.
    struct EventScope {
        ProgressSink* sink;
        ~EventScope() {
            if (sink) sink->EventHandled();
        }
    };
    void BuildSteps(const std::vector<int>& items);
    Actions NextStep(double now);
    Actions BeginPoint(double now);
    Actions JudgeStep(double now);
    Actions PointsNotMeasured(const std::string& reason, double now);
    Actions Finish();
    Actions Poll(double now);
    void Record(std::size_t index, PointVerdict result, const std::string& remark,
                const PointResult* point, const std::string& found = "");
    void Read(Channel& c, const std::vector<std::string>& words);
    double Band(const Channel& c) const;
    std::string TimeoutReason() const;
    std::vector<std::string> SetCommands(const PlanItem& item) const;
    std::vector<std::string> SafeCommands() const;
    std::optional<double> Reading(Quantity q, const ReplyRoute& route,
                                  const std::vector<std::string>& words) const;
    double ReferenceOf(Quantity q, double nominal) const;
    PointResult NewPoint(const PlanItem& item) const;
    struct Decided DecidePoint(const PlanItem& it, const Judgement& j, PointResult& p) const;
    const PlanItem& Item(std::size_t index) const { return m_plan.items[index]; }

    Plan m_plan;
    RunSetup m_setup;
    ProgressSink* m_sink;
    std::vector<Step> m_steps;
    std::size_t m_step = 0;
    std::vector<Attempt> m_attempts;
    int m_itemsToRun = 0, m_itemsDone = 0;
    int m_pointIndex = 0, m_pointCount = 0;
    std::vector<bool> m_ran;  // per plan item: run in this run (its quantity needs a safe value)

    Phase m_phase = Phase::Idle;
    double m_deadline = 0;
    double m_nextPoll = 0;
    double m_lastPoll = -1e9;  // when the last round of polls went out
    ReplyRoute m_generator;        // the generator's reply confirming a set
    std::vector<Channel> m_read;   // the channels of the point under way
    std::vector<std::string> m_polls;  // their poll commands, once each
    int m_awaiting = 0;            // polls sent and not yet answered
    RunResult m_result;
};

}  // namespace yukt::verify
