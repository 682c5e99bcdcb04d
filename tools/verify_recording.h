// yukt-verify's records: with --db a run becomes a verification record like
// a run in the workstation, and --protocol writes its PDF protocol.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "verify/methodology.h"
#include "verify/plan.h"
#include "verify/verification_run.h"

namespace yukt::records {

struct RecordOptions {
    std::string db, operatorName, kind, conditions, protocol;
    // The record's fields for the registry: --record-info FILE, then the
    // options --owner, --type-number ... (key without "--", value) over it.
    std::string recordInfo;
    std::vector<std::pair<std::string, std::string>> fields;
    bool allowPasswordInUrl = false;  // --allow-password-in-url
    // --db-timeout: how long one step of the record (its beginning, the
    // points of one event, its closing) may take before the run is stopped
    // and the record's fate told as unknown.
    double dbTimeoutS = 35;
    bool Wanted() const { return !db.empty(); }
};

#ifndef YUKT_NO_RECORDS
// Takes --db, --operator, --kind, --conditions T,P,H, --protocol FILE,
// --record-info FILE and the record's fields (--owner ...) with their values; false when argv[i] is none of them. A password in the --db
// URL is wiped from argv once read, so that ps does not show it.
bool ParseRecordOption(int& i, int argc, char** argv, RecordOptions& o);
extern const char* const kRecordUsage;

class VerifyRecording {
  public:
    // Opens the database and begins the record; nothing, with `error` set,
    // when the options are wrong or the database does not open.
    static std::unique_ptr<VerifyRecording> Start(const RecordOptions& options,
                                                  const std::string& serial,
                                                  const verify::Methodology& methodology,
                                                  const verify::Plan& plan,
                                                  const verify::RunSetup& setup,
                                                  verify::ProgressSink* next, std::string& error);
    ~VerifyRecording();
    verify::ProgressSink* Sink();
    // After the run's safe phase: the record is closed, with `problem`
    // ("безопасное значение не подтверждено: ...") among its reasons when
    // not empty. Finish closes it without, should this not have been called.
    void SafeChecked(const std::string& problem);
    // What stops the run should the database be lost during it.
    void SetStop(std::function<void()> stop);
    // After the run: makes sure the record is closed, writes the protocol if
    // asked. Empty on success, else what went wrong (the record is kept
    // nowhere).
    std::string Finish();
    // The database was lost during the run: the record went to the local
    // spool and ends "прервано"; the text says why and where it is kept.
    bool Lost() const;
    std::string LostNotice() const;
    // The database did not answer in time: a thread is still waiting on it,
    // so the program leaves through Fatal.
    bool Abandoned() const;

  private:
    VerifyRecording();
    bool Drain();
    struct Impl;
    std::unique_ptr<Impl> m;
};
#else
// Built without Qt: the record options are unknown arguments, so no
// recording is ever started.
inline bool ParseRecordOption(int&, int, char**, RecordOptions&) { return false; }
inline const char* const kRecordUsage = "";
class VerifyRecording {
  public:
    static std::unique_ptr<VerifyRecording> Start(const RecordOptions&, const std::string&,
                                                  const verify::Methodology&, const verify::Plan&,
                                                  const verify::RunSetup&,
                                                  verify::ProgressSink*, std::string& error) {
        error = "built without verification records";
        return nullptr;
    }
    verify::ProgressSink* Sink() { return nullptr; }
    void SafeChecked(const std::string&) {}
    void SetStop(std::function<void()>) {}
    std::string Finish() { return {}; }
    bool Lost() const { return false; }
    std::string LostNotice() const { return {}; }
    bool Abandoned() const { return false; }
};
#endif

}  // namespace yukt::records
