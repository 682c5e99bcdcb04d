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
};

struct RunResult {
    RunVerdict verdict = RunVerdict::Interrupted;
    int points = 0;  // points of the procedure (measured or not)
    int failed = 0;  // measured points that failed
    std::vector<PointResult> results;
};

// The words the run's output and records use.
const char* ErrorKindWord(ErrorKind kind);     // "abs", "rel", "reduced"
const char* PointVerdictWord(PointVerdict v);  // "pass", "fail", "not measured"
const char* RunVerdictWord(RunVerdict v);  // "годен", "не годен", "прервано"

// The verdict of a finished or stopped run: "прервано" when stopped or when
// any point was not measured; otherwise "не годен" when a point failed, and
// "годен" only when every point of the procedure was measured and passed.
RunVerdict Judge(const std::vector<PointResult>& results, int plannedPoints, bool stopped);

// Where a run reports its progress. Calls come from the thread that drives
// the run (the GUI thread for the pages, the main thread of yukt-verify).
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    // A point begins: its reference is being set.
    virtual void PointStarted(int index, int count, double nominal) = 0;
    // A point is finished, measured or not.
    virtual void PointFinished(const PointResult& point) = 0;
    // The run is over; nothing follows.
    virtual void RunFinished(const RunResult& run) = 0;
};

}  // namespace yukt::verify
