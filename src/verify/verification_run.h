#pragma once
// An automatic verification run: for each point of a procedure, set the
// reference, confirm it with the generator, wait the settling delay, read
// until the readings agree, judge the error against the limit.
//
// The run is a state machine with no thread and no clock of its own: the
// one who drives it hands in every reply line of the instrument and the
// time, and carries out the Actions it returns — queue the commands, in
// order, on the instrument's command queue (the same one the pages use) and
// call Tick() once `wakeAt` is reached. Time is in seconds on any steady
// clock.

#include <string>
#include <vector>

#include "verify/point_result.h"
#include "verify/procedure.h"

namespace yukt::verify {

// What the run needs to know of the bench.
struct RunSetup {
    int kind = 0;          // module kind under test
    double quartzKHz = 0;  // quartz of the calibrator's 788t
};

struct Actions {
    std::vector<std::string> commands;  // to queue, in this order
    double wakeAt = -1;                 // call Tick() at this time; < 0: no wake wanted
    bool finished = false;              // the run is over (commands still to be queued)
};

class VerificationRun {
  public:
    enum class Phase { Idle, Confirm, Delay, Read, Done };

    VerificationRun(Procedure procedure, RunSetup setup, ProgressSink* sink);

    Actions Start(double now);
    // Every reply line of the instrument; lines of other modules are ignored.
    Actions Reply(const std::string& line, double now);
    Actions Tick(double now);
    // Ends the run at once: the point under way is not measured, the
    // generator goes to its safe value and the verdict is "прервано".
    Actions Stop(double now);

    Phase CurrentPhase() const { return m_phase; }
    bool Finished() const { return m_phase == Phase::Done; }
    const RunResult& Result() const { return m_result; }
    const Procedure& Proc() const { return m_proc; }
    // Percentage of the points finished.
    int Percent() const;

  private:
    Actions BeginPoint(double now);
    Actions Judge(double now);
    Actions NotMeasured(const std::string& reason, double now);
    Actions Finish(bool stopped);
    std::vector<std::string> SetCommands(double nominal) const;
    std::vector<std::string> SafeCommands() const;
    // The value of a reply of the channel; nothing when it holds no reading
    // yet (an interval that has not ended).
    std::optional<double> Reading(const std::vector<std::string>& words) const;
    double ReferenceOf(double nominal) const;
    PointResult NewPoint() const;

    Procedure m_proc;
    RunSetup m_setup;
    ProgressSink* m_sink;
    ReplyRoute m_route;      // the channel's reply
    ReplyRoute m_generator;  // the generator's reply confirming a set
    Phase m_phase = Phase::Idle;
    std::size_t m_point = 0;
    double m_deadline = 0;
    std::vector<double> m_window;  // readings since the delay ended
    RunResult m_result;
};

}  // namespace yukt::verify
