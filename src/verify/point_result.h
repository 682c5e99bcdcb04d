#pragma once
// What an automatic verification run produces: one PointResult per test
// point and a verdict for the run. Plain data, so that a recorder can store it
// and a report can be rebuilt from it alone.

#include <string>
#include <vector>

namespace yukt::verify {

// How the error of a point is expressed and compared with its limit.
enum class ErrorKind {
    Abs,      // in the quantity's unit
    Rel,      // in % of the reference
    Reduced,  // in % of the procedure's stated range
    AbsRel,   // in the quantity's unit, limit a + b·|x|
};

enum class PointVerdict { Pass, Fail, NotMeasured };

enum class RunVerdict {
    Fit,          // "годен": every point measured and passed
    Unfit,        // "не годен": a measured point failed
    Interrupted,  // "прервано": stopped, or a point could not be measured
};

struct PointResult {
    int index = 0;                 // 1-based, in the order the points ran
    double nominal = 0;            // the value the procedure asked for
    double reference = 0;          // what the reference really produced
    std::vector<double> readings;  // every reading kept for the point
    double measured = 0;           // mean of the readings
    ErrorKind errorKind = ErrorKind::Abs;
    double error = 0;  // in the unit of errorKind
    double limit = 0;  // |error| <= limit passes
    PointVerdict result = PointVerdict::NotMeasured;
    std::string reason;     // why a point was not measured; empty otherwise
    std::string procedure;  // title of the procedure
    std::string channel;    // the channel item the procedure names
    std::string doc;        // the methodology document
    // The plan item the point was measured for (0 outside a plan).
    std::string operation;  // the methodology's operation id
    int channelNo = 0;      // physical channel, from 1
    int item = 0;
    double resolution = 0;  // of the error
    // What the point owes to the reference (plan points with a reference):
    double referenceError = 0;  // the reference's permitted error, quantity's unit
    double ratio = 0;           // module's permitted error / the reference's
    double u = 0;               // expanded uncertainty (k = 2), in the error's unit
    bool marginal = false;      // passed with |error| above the methodology's marginal share
};

// The verdict over a plan's items, from the attempt that counts per item.
struct VerdictResult {
    RunVerdict verdict = RunVerdict::Interrupted;
    int points = 0;        // plan items
    int failed = 0;        // items whose counting attempt failed
    int notMeasured = 0;   // items with no measured attempt
    std::vector<int> failedItems, notMeasuredItems;
};

// A run's verdict, and every point it measured or could not.
struct RunResult : VerdictResult {
    std::vector<PointResult> results;
};

// The words the run's output and records use.
const char* ErrorKindWord(ErrorKind kind);     // "abs", "rel", "reduced", "abs+rel"
const char* PointVerdictWord(PointVerdict v);  // "pass", "fail", "not measured"
const char* RunVerdictWord(RunVerdict v);  // "годен", "не годен", "прервано"

struct PlanItem;
struct Attempt;

// Something the run needs the operator for: a manual operation's answer
// ("соответствует" / "не соответствует" with a remark) or, before a channel
// of a per-channel operation, moving the generator's lead.
struct Question {
    int item = 0;           // the manual operation's plan item; 0: a connection
    std::string operation;  // the operation's id
    int channel = 0;        // connection: the physical channel to connect
    std::string text;       // the operation's title, or "Подключите генератор к каналу N"
};
enum class Answer { Yes, No, NotDone };

// Where a run reports its progress. Calls come from the thread that drives
// the run (the GUI thread for the pages, the main thread of yukt-verify).
//
// For a plan, the order is: for each item run, AttemptFinished once (error
// points also PointStarted before and PointFinished just after it); a
// manual operation or a connection first calls Asked and the run waits
// until its driver calls VerificationRun::Answer; RunFinished last.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    // A point begins: its reference is being set.
    virtual void PointStarted(int index, int count, double nominal) = 0;
    // A point is finished, measured or not.
    virtual void PointFinished(const PointResult& point) = 0;
    // The run is over; nothing follows.
    virtual void RunFinished(const RunResult& run) = 0;
    // The operator is asked; the run waits for VerificationRun::Answer.
    virtual void Asked(const Question&) {}
    // An attempt at a plan item is over (every kind of item).
    virtual void AttemptFinished(const PlanItem&, const Attempt&) {}
    // The run has reported all that one event (a reply, a tick, an answer,
    // the start or a stop) brought, and waits: the attempts of that event
    // (a series step's channels) may be stored as one.
    virtual void EventHandled() {}
};

}  // namespace yukt::verify
