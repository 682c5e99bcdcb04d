// "Автоповерка" in the window while the records database fails under its
// points: another program's write lock (held briefly, or past the busy
// timeout), and a PostgreSQL connection cut (as a stopped server leaves it)
// or gone silent, through a TCP proxy.
// "Стоп" sets the bench's generator safe at once whatever the database does,
// no point is blamed on the generator for a database wait, and the run
// window says what became of the record; the stored record agrees.

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTimer>

#include "app/auto_run.h"
#include "app/auto_run_window.h"
#include "app/verification_record.h"
#include "app/verification_session.h"
#include "build_slowdown.h"
#include "page_rig.h"
#include "records/db_location.h"
#include "records/pg_server.h"
#include "records/record_store.h"
#include "records/tcp_proxy.h"
#include "verify/methodology.h"
#include "verify/procedure_library.h"
#include "widgets/speed_button.h"

using namespace yukt;
using namespace yukt::testing;
using namespace yukt::records;

namespace {

enum class Fault { LockBrief, LockPastBusy, Cut, Silent };

bool fillIn(RecordInfo& info) {
    info.serial = "A-17";
    info.operatorName = "Петров П. П.";
    return true;
}

// Three points; a settling timeout shorter than the brief lock, so that a
// run that waited for the database would find its generator "silent".
verify::Methodology threePoints() {
    verify::ProcedureError e;
    return *verify::ParseMethodology(
        "title = \"745t\"\ndoc = \"МП\"\nkinds = [1]\nchannel = 0\nquantity = \"current\"\n"
        "points = [4, 12, 20]\n[error]\nkind = \"abs\"\nlimit = 0.05\n"
        "[settling]\ndelay = 0\nagree = 2\nband = 0.005\ntimeout = 3\nreadings = 2\n",
        "p.toml", e);
}

double generatorMa(PageRig& rig) {
    auto lk = rig.bench.lock();
    return rig.bench.physics().generatorCurrentMa;
}

// Another program's connection to the SQLite file, which takes its write
// lock as the run's first point ends and holds it `holdMs` (< 0: until
// released).
class OtherProgram {
  public:
    OtherProgram(const QString& file, TVerificationSession& session, int holdMs) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other-program");
        db.setDatabaseName(file);
        m_lock = std::make_unique<QSqlQuery>(db);
        if (!db.open()) return;
        QObject::connect(&session, &TVerificationSession::pointFinished, &m_scope, [this, holdMs] {
            if (m_at.isValid() || !m_lock->exec("BEGIN EXCLUSIVE")) return;
            m_at.start();
            if (holdMs >= 0) QTimer::singleShot(holdMs, &m_scope, [this] { Release(); });
        });
    }
    ~OtherProgram() {
        Release();
        m_lock.reset();
        QSqlDatabase::database("other-program", false).close();
        QSqlDatabase::removeDatabase("other-program");
    }
    void Release() { m_lock->exec("COMMIT"); }
    // Since the lock was taken; invalid until then.
    const QElapsedTimer& Since() const { return m_at; }

  private:
    QObject m_scope;
    std::unique_ptr<QSqlQuery> m_lock;
    QElapsedTimer m_at;
};

QStringList windowRows(const TAutoRunWindow* w) {
    QStringList rows;
    for (int r = 0; r < w->Points->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < w->Points->columnCount(); ++c)
            if (const QTableWidgetItem* item = w->Points->item(r, c))
                cells << item->text() << item->toolTip();
        rows << cells.join(' ');
    }
    return rows;
}

}  // namespace

class RecordDbFaultTest : public QObject {
    Q_OBJECT

  private slots:
    void cleanupTestCase() { test::StopSharedPgServer(); }
    void stopNeverWaitsForTheDatabase_data();
    void stopNeverWaitsForTheDatabase();
    void nextRunWaitsForTheLastRunsPoints();
};

void RecordDbFaultTest::stopNeverWaitsForTheDatabase_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<bool>("waits");  // the window says it waits for the record
    QTest::addColumn<QString>("banner");
    QTest::addColumn<QString>("told");         // the window's last row
    QTest::addColumn<QStringList>("results");  // of the stored points; empty: fate unknown
    QTest::addColumn<QString>("reason");       // among the stored record's reasons
    QTest::newRow("lock waited out") << int(Fault::LockBrief) << false << true << "ГОДЕН"
                                     << "Точки записаны в базу данных записей."
                                     << QStringList{"pass", "pass", "pass"} << QString();
    QTest::newRow("lock past the busy timeout, Стоп")
        << int(Fault::LockPastBusy) << true << true << "ПРЕРВАНО"
        << "база данных занята" << QStringList{"pass", "not measured", "not measured"}
        << "база данных занята";
    // The run stops itself, its points go to the local spool and are
    // written back at the next record's opening.
    QTest::newRow("connection cut")
        << int(Fault::Cut) << false << false << "ПРЕРВАНО"
        << "База данных записей недоступна, автоповерка остановлена:"
        << QStringList{"pass", "not measured", "not measured"} << "база данных записей недоступна";
    QTest::newRow("silent connection, Стоп")
        << int(Fault::Silent) << true << true << "ПРЕРВАНО"
        << "исход записи № 1 неизвестен" << QStringList{} << QString();
}

void RecordDbFaultTest::stopNeverWaitsForTheDatabase() {
    QFETCH(int, fault);
    QFETCH(bool, stop);
    QFETCH(bool, waits);
    QFETCH(QString, banner);
    QFETCH(QString, told);
    QFETCH(QStringList, results);
    QFETCH(QString, reason);
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    PageRig rig;
    rig.dialogs.recordInfo = fillIn;
    const QString programDir = QString::fromStdString(rig.dir());
    // PostgreSQL through the proxy, else the program folder's SQLite file.
    QString url = programDir + "poverka.sqlite", why;
    std::unique_ptr<test::TcpProxy> proxy;
    const bool postgres = Fault(fault) == Fault::Cut || Fault(fault) == Fault::Silent;
    if (postgres) {
        test::PgServer* server = test::SharedPgServer(&why);
        if (server == nullptr) QSKIP(qPrintable(why));
        url = test::PgServer::Provision(server->NewDatabase(&why), &why);
        QVERIFY2(!url.isEmpty(), qPrintable(why));
        proxy = std::make_unique<test::TcpProxy>(
            test::PgSocket(server->SocketDir()), "INSERT INTO points",
            Fault(fault) == Fault::Cut ? test::TcpProxy::AtCommit::CutBefore
                                       : test::TcpProxy::AtCommit::Silent);
        QVERIFY(SaveRecordsDbUrl(programDir,
                                 QStringLiteral("postgresql://poverka_station@127.0.0.1:%1/%2")
                                     .arg(proxy->Port())
                                     .arg(url.section('/', 3).section('?', 0, 0))));
    }
    TMainForm& f = rig.openPage("745t");
    auto* record = f.findChild<TVerificationRecord*>("VerificationRecord");
    QVERIFY(record->IsOpen());
    const qint64 id = record->Id();
    // A call the database holds longer than this gives the record up (a
    // lock is given up on sooner, at the busy timeout).
    if (Fault(fault) == Fault::Silent)
        f.Session().SetRecordTimeout(
            std::chrono::milliseconds(static_cast<int>(4000 * kBuildSlowdown)));

    // Held briefly: past the points' settling timeout and the run's end
    // (released below), within the busy timeout.
    std::unique_ptr<OtherProgram> other;
    if (!postgres)
        other = std::make_unique<OtherProgram>(url, f.Session(),
                                               Fault(fault) == Fault::LockBrief ? 9000 : -1);
    QElapsedTimer faultAt;
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    run->Start(threePoints());
    QVERIFY(run->Running());
    if (postgres) {
        QVERIFY(QTest::qWaitFor([&] { return proxy->Struck(); }, 30000));
        faultAt.start();
    } else {
        QVERIFY(QTest::qWaitFor([&] { return other->Since().isValid(); }, 30000));
        faultAt = other->Since();
    }
    if (stop) {
        QVERIFY(run->Running());
        QVERIFY(generatorMa(rig) > 0);
        QTest::mouseClick(run->Window()->StopBtn, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return generatorMa(rig) == 0; },
                                static_cast<int>(2000 * kBuildSlowdown)));
        QVERIFY2(faultAt.elapsed() < 2000 * kBuildSlowdown,
                 qPrintable(QString::number(faultAt.elapsed())));
        QVERIFY(!run->Running());
    }
    QVERIFY(QTest::qWaitFor([&] { return !run->Running(); }, 60000));
    // The window waits for the record, says so, then says what became of it.
    const TAutoRunWindow* w = run->Window();
    if (Fault(fault) == Fault::LockBrief) {
        QVERIFY(QTest::qWaitFor(
            [&] { return windowRows(w).join('\n').contains("ожидание ответа"); }, 5000));
        other->Release();
    }
    QVERIFY(QTest::qWaitFor([&] { return !f.Session().RecordPending(); }, 60000));
    QCoreApplication::processEvents();
    const QStringList rows = windowRows(w);
    if (waits)
        QVERIFY2(rows.join('\n').contains(
                     QStringLiteral("Запись № %1: ожидание ответа базы данных записей…").arg(id)),
                 qPrintable(rows.join('\n')));
    QVERIFY2(rows.last().contains(told), qPrintable(rows.join('\n')));
    QCOMPARE(w->Banner->text(), banner);
    // A record not written shows no verdict of the module either.
    QCOMPARE(w->ModuleVerdict->text().isEmpty(), banner == "ПРЕРВАНО");
    QVERIFY2(!rows.join('\n').contains(QStringLiteral("генератор")), qPrintable(rows.join('\n')));
    QCOMPARE(record->IsOpen(), Fault(fault) == Fault::LockBrief);
    if (!record->IsOpen())
        QVERIFY2(rig.lastMessage().contains(told), qPrintable(rig.lastMessage()));
    // Where the points went.
    if (!record->IsOpen() && !results.isEmpty()) QVERIFY(rig.lastMessage().contains("spool"));
    other.reset();

    // The record as the database holds it once it is back (a spool written
    // back at the next record's opening).
    if (record->IsOpen())
        QTest::mouseClick(f.EndCheckBtn, Qt::LeftButton);
    else if (!results.isEmpty())
        record->Begin(programDir);
    RecordStore store;
    store.SetReadOnly(true);
    QVERIFY(store.Open(url));
    const std::optional<Record> r = store.Load(id);
    QVERIFY(r);
    QVERIFY(r->verdict != kSuitable);
    QStringList stored;
    for (const RecordPoint& p : r->points) {
        stored << p.result;
        QVERIFY2(!p.reason.contains(QStringLiteral("генератор")), qPrintable(p.reason));
    }
    if (!results.isEmpty()) QCOMPARE(stored, results);
    QCOMPARE(r->reasons.join('\n').contains(reason), true);
    if (!reason.isEmpty()) QCOMPARE(r->verdict, kInterrupted);
    proxy.reset();  // the server's side of the silent connection ends
}

// A run started while the last one's points still wait for another
// program's lock begins once they are written, and its points follow them.
void RecordDbFaultTest::nextRunWaitsForTheLastRunsPoints() {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    PageRig rig;
    rig.dialogs.recordInfo = fillIn;
    TMainForm& f = rig.openPage("745t");
    auto other = std::make_unique<OtherProgram>(
        QString::fromStdString(rig.dir() + "poverka.sqlite"), f.Session(), 9000);
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    run->Start(threePoints());
    QVERIFY(QTest::qWaitFor([&] { return !run->Running(); }, 30000));
    QVERIFY(other->Since().isValid() && f.Session().RecordPending());
    // Released while the next start waits.
    QTimer::singleShot(1000, &f, [&] { other->Release(); });
    QElapsedTimer waited;
    waited.start();
    run->Start(threePoints());
    QVERIFY(run->Running());
    QVERIFY(waited.elapsed() >= 900);
    QVERIFY(QTest::qWaitFor([&] { return !run->Running(); }, 30000));
    const qint64 id = f.Session().RecordId();
    QTest::mouseClick(f.EndCheckBtn, Qt::LeftButton);
    other.reset();
    RecordStore store;
    store.SetReadOnly(true);
    QVERIFY(store.Open(QString::fromStdString(rig.dir() + "poverka.sqlite")));
    const std::optional<Record> r = store.Load(id);
    QVERIFY(r);
    QCOMPARE(r->points.size(), 6);
    for (int k = 0; k < 6; ++k) {
        QCOMPARE(r->points[k].seq, k + 1);
        QCOMPARE(r->points[k].result, QStringLiteral("pass"));
        QCOMPARE(r->points[k].nominal, (std::vector<double>{4, 12, 20})[k % 3]);
    }
}

QTEST_MAIN(RecordDbFaultTest)
#include "record_db_fault_test.moc"
