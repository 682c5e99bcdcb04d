#include "app/session_rig.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include "instrument/cprbr.h"
#include "records/lab_references.h"
#include "records/record_store.h"

namespace yukt::test {

void WindowQueue::Attach(TcPrbr* prbr) {
    m_prbr = prbr;
    m_busy = false;
    Next();
}

void WindowQueue::Push(const std::string& command, bool freeRequest) {
    m_queue.push_back({command, freeRequest});
    ++m_queued;
    Next();
}

void WindowQueue::Taken() {
    m_busy = false;
    Next();
}

void WindowQueue::Next() {
    if (m_prbr == nullptr || m_busy || m_queue.empty()) return;
    m_busy = true;
    m_prbr->SetsSet(m_queue.front().first, m_queue.front().second);
    m_queue.pop_front();
}

bool AddBenchReference(records::RecordStore& store, QString* error) {
    records::LabReference r;
    r.kind = records::kMietaKind;
    r.number = "3.1.A.1";
    r.name = "Калибратор";
    r.serial = "1";
    r.certificate = "С-1";
    r.validUntil = QDate::currentDate().addYears(1);
    r.quantities = {"current", "generator_current", "frequency", "period", "interval",
                    "count",   "divider",           "translator"};
    QString why;
    const bool added = records::AddReference(store, r, &why);
    if (error) *error = why;
    return added;
}

bool WaitInLoop(const std::function<bool()>& done, double seconds) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > seconds * 1000) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

SessionRig::SessionRig() {
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    QDir().mkpath(m_home.path() + "/poverka/methodologies");
    SessionHooks hooks;
    hooks.queueCommand = [this](const std::string& c) { m_queue.Push(c); };
    hooks.commandsQueued = [this] { return m_queue.Queued(); };
    m_session = std::make_unique<TVerificationSession>(hooks);
}

SessionRig::~SessionRig() { Detach(); }

bool SessionRig::AddMethodology(const QString& fileName, const QByteArray& text) {
    QFile f(m_home.path() + "/poverka/methodologies/" + fileName);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

void SessionRig::Attach(TcPrbr& prbr) {
    m_prbr = &prbr;
    TVerificationSession* session = m_session.get();
    WindowQueue* queue = &m_queue;
    // The instrument's worker thread: the reply, and whether the line
    // failed under it, go to the session in the event loop, as the
    // window's do.
    prbr.SetOnGet([session](TcPrbr& sender) {
        const std::string line = sender.sGet();
        const QString fault = TVerificationSession::LineFaultOf(line);
        const QString text = QString::fromStdString(line).trimmed();
        QMetaObject::invokeMethod(
            session, [session, text, fault] { session->Reply(text, fault); }, Qt::QueuedConnection);
    });
    prbr.SetOnSet([session, queue](TcPrbr&) {
        QMetaObject::invokeMethod(
            session, [queue] { queue->Taken(); }, Qt::QueuedConnection);
    });
    m_queue.Attach(&prbr);
}

void SessionRig::Detach() {
    if (m_prbr == nullptr) return;
    m_prbr->SetOnGet(nullptr);
    m_prbr->SetOnSet(nullptr);
    m_queue.Attach(nullptr);
    m_prbr = nullptr;
}

bool SessionRig::OpenRecord(const QString& serial, QString& error) {
    if (!m_session->OpenStore(JournalPath(), error) ||
        !AddBenchReference(*m_session->Store(), &error))
        return false;
    records::RecordInfo info;
    info.serial = serial;
    return m_session->BeginRecord(info, error);
}

bool SessionRig::WaitRunEnd(double seconds) {
    return WaitInLoop([this] { return !m_session->Running() && m_queue.Idle(); }, seconds);
}

std::optional<records::Record> SessionRig::CloseAndLoad(QString* warning) {
    const qint64 id = m_session->RecordId();
    QString said;
    m_session->CloseRecord(said);
    if (warning) *warning = said;
    records::RecordStore store;
    if (!store.Open(JournalPath())) return std::nullopt;
    return store.Load(id);
}

}  // namespace yukt::test
