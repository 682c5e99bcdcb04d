#pragma once
// The workstation's verification session driven as the window drives it,
// without the window: the laboratory's methodology folder in a home of its
// own, the window's command queue handing one command at a time to the
// instrument, the instrument's replies coming back in the event loop with
// the line's failures told apart on its worker, and a record in a journal
// of its own. The session's tests and the session program of the recorded
// traces (poverka-session) both drive it.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/verification_session.h"
#include "records/record.h"

namespace yukt {
class TcPrbr;
namespace records {
class RecordStore;
}
}  // namespace yukt

namespace yukt::test {

// The window's command queue: the head is the instrument's sSet; the next
// goes when the instrument has taken it. A page's poll is a free request.
class WindowQueue {
  public:
    void Attach(TcPrbr* prbr);
    void Push(const std::string& command, bool freeRequest = false);
    // The instrument took the head (in the event loop).
    void Taken();
    bool Idle() const { return !m_busy && m_queue.empty(); }
    std::uint64_t Queued() const { return m_queued; }

  private:
    void Next();
    TcPrbr* m_prbr = nullptr;
    std::deque<std::pair<std::string, bool>> m_queue;
    std::uint64_t m_queued = 0;
    bool m_busy = false;
};

// The register has one reference valid today for whatever a plan measures.
bool AddBenchReference(records::RecordStore& store, QString* error = nullptr);

class SessionRig {
  public:
    // Points XDG_DATA_HOME at a home of its own, whose methodology folder is
    // empty until AddMethodology.
    SessionRig();
    // Detaches from the instrument first: no reply reaches a session gone.
    ~SessionRig();
    SessionRig(const SessionRig&) = delete;
    SessionRig& operator=(const SessionRig&) = delete;

    bool AddMethodology(const QString& fileName, const QByteArray& text);
    // The session's commands go to `prbr`, its replies come back; open the
    // instrument after this.
    void Attach(TcPrbr& prbr);
    void Detach();
    TVerificationSession& Session() { return *m_session; }
    WindowQueue& Queue() { return m_queue; }
    const QTemporaryDir& Home() const { return m_home; }
    QString JournalPath() const { return m_home.filePath("records.sqlite"); }

    // Opens the journal, gives the register a reference (AddBenchReference)
    // and begins the record of the module `serial`.
    bool OpenRecord(const QString& serial, QString& error);
    // Waits until the run has ended and the instrument has taken its last
    // commands (the safe values and their read-back); false after `seconds`.
    bool WaitRunEnd(double seconds);
    // Closes the record and reads it back as the journal keeps it;
    // `warning`: what the operator was told, if anything.
    std::optional<records::Record> CloseAndLoad(QString* warning = nullptr);

  private:
    QTemporaryDir m_home;
    WindowQueue m_queue;
    TcPrbr* m_prbr = nullptr;
    std::unique_ptr<TVerificationSession> m_session;
};

// Waits in the event loop until `done` or `seconds` pass.
bool WaitInLoop(const std::function<bool()>& done, double seconds);

}  // namespace yukt::test
