#include "records/record_store.h"

#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QAtomicInt>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>
#include <cerrno>

#include "common/text.h"
#include "records/db_credentials.h"
#include "records/lab_references.h"
#include "records/lab_settings.h"
#include "records/open_check.h"
#include "records/point_fields.h"
#include "records/point_spool.h"
#include "records/record_audit.h"
#include "records/record_chain.h"
#include "records/sql_references.h"
#include "records/sql_text.h"
#include "records/stat_figures.h"

namespace yukt::records {
namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ");

QVariant TimeValue(const QDateTime& t) {
    return t.isValid() ? QVariant(t.toUTC().toString(kTimeFormat)) : QVariant(QString());
}
QDateTime TimeOf(const QVariant& v) {
    QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC() : QDateTime();
}
QVariant Optional(const std::optional<double>& v) {
    return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::Double));
}
// A typed value, not text: SQLite hands over a double, and the PostgreSQL
// driver reads the server's "." in the C locale (QString::toDouble).
std::optional<double> OptionalOf(const QVariant& v) {
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
}
QString StateText(RecordState s) {
    switch (s) {
        case RecordState::Open:
            return "open";
        case RecordState::Closed:
            return "closed";
        case RecordState::Interrupted:
            return "interrupted";
    }
    return "open";
}
RecordState StateOf(const QString& s) {
    if (s == "closed") return RecordState::Closed;
    if (s == "interrupted") return RecordState::Interrupted;
    return RecordState::Open;
}
const QString kLines = QStringLiteral("\n");

QVariantList RowOf(const Record& r) {
    const RecordInfo& i = r.info;
    return {r.id,
            r.revision.number,
            r.revision.author,
            TimeValue(r.revision.at),
            r.revision.reason,
            r.workstation,
            static_cast<qint64>(::getpid()),
            StateText(r.state),
            TimeValue(r.startedAt),
            TimeValue(r.finishedAt),
            r.verdict,
            r.reasons.join(kLines),
            r.validUntil.isValid() ? r.validUntil.toString(Qt::ISODate) : QString(),
            r.certificateNumber,
            r.module.model,
            r.module.designation,
            r.module.identText,
            r.module.flashAddress,
            r.module.flashBefore,
            r.module.flashAfter,
            i.serial,
            i.manufactureYear,
            i.modification,
            i.owner,
            i.typeNumber,
            i.instrumentName,
            static_cast<int>(i.kind),
            i.methodology,
            i.operatorName,
            Optional(i.conditions.temperature),
            Optional(i.conditions.pressure),
            i.conditions.pressureUnit,
            Optional(i.conditions.humidity),
            r.lab.organisation,
            r.lab.signCipher,
            r.lab.calibrator,
            r.lab.uveNumbers.join(kLines),
            r.lab.mietaNumbers.join(kLines),
            r.lab.misTypeNumber,
            r.lab.misSerial,
            r.program.name,
            r.program.version,
            r.program.checksum,
            r.methodologyId,
            r.methodologyRevision,
            r.methodologySha256,
            r.softwareFound,
            r.intervalMonths > 0 ? QVariant(r.intervalMonths) : QVariant(),
            r.registry.vriId.isEmpty() ? QVariant(QString()) : QVariant(r.registry.vriId),
            r.registry.vriId.isEmpty() ? QVariant(QString()) : QVariant(r.registry.docnum),
            r.registry.vriId.isEmpty() ? QVariant(QString()) : TimeValue(r.registry.seenAt)};
}

Record RecordOf(const QSqlQuery& q) {
    Record r;
    // A value by name builds the row's record each time: look the names up once.
    const QSqlRecord row = q.record();
    auto v = [&q, &row](const char* column) { return q.value(row.indexOf(QLatin1String(column))); };
    auto s = [&v](const char* column) { return v(column).toString(); };
    auto lines = [&s](const char* column) { return s(column).split(kLines, Qt::SkipEmptyParts); };
    r.id = v("id").toLongLong();
    r.revision = {v("revision").toInt(), s("revised_by"), TimeOf(v("revised_utc")),
                  s("revision_reason")};
    r.workstation = s("workstation");
    r.state = StateOf(s("state"));
    r.startedAt = TimeOf(v("started_utc"));
    r.finishedAt = TimeOf(v("finished_utc"));
    r.verdict = s("verdict");
    r.reasons = lines("reasons");
    r.validUntil = QDate::fromString(s("valid_until"), Qt::ISODate);
    r.certificateNumber = s("certificate");
    r.module = {s("model"),        s("designation"), s("ident_text"), v("flash_address").toInt(),
                s("flash_before"), s("flash_after")};
    RecordInfo& i = r.info;
    i.serial = s("serial");
    i.manufactureYear = s("manufacture_year");
    i.modification = s("modification");
    i.owner = s("owner");
    i.typeNumber = s("type_number");
    i.instrumentName = s("instrument_name");
    i.kind = v("kind").toInt() == 1 ? VerificationKind::Primary : VerificationKind::Periodic;
    i.methodology = s("methodology");
    i.operatorName = s("operator_name");
    i.conditions = {OptionalOf(v("temperature")), OptionalOf(v("pressure")), s("pressure_unit"),
                    OptionalOf(v("humidity"))};
    r.lab = {s("organisation"),      s("sign_cipher"), s("calibrator"), lines("uve_numbers"),
             lines("mieta_numbers"), s("mis_type"),    s("mis_serial")};
    r.program = {s("program_name"), s("program_version"), s("program_checksum")};
    r.methodologyId = s("methodology_id");
    r.methodologyRevision = v("methodology_revision").toInt();
    r.methodologySha256 = s("methodology_sha256");
    r.softwareFound = s("software_found");
    r.intervalMonths = v("interval_months").toInt();
    r.registry = {s("registry_vri_id"), s("registry_docnum"), TimeOf(v("registry_seen_utc"))};
    return r;
}

QVariantList PointRow(qint64 recordId, const RecordPoint& p) {
    return PointFieldValues(PointField::Base, p, recordId);
}

RecordPoint PointOf(const QSqlQuery& q) {
    RecordPoint p;
    SetPointFields(PointField::Base, q, p);
    return p;
}

QVariantList PlanRow(qint64 recordId, const PlanEntry& e) {
    return {recordId, e.item,    e.operation, e.title, e.kind, e.channelNo, e.nominal, e.unit,
            e.acceptedVersions.isEmpty() ? QVariant() : QVariant(e.acceptedVersions.join(", "))};
}

QVariantList Values(const QSqlQuery& q, const QStringList& names) {
    QVariantList out;
    for (const QString& n : names) out << q.value(n);
    return out;
}

// SQLite keeps -0.0 as 0, and the chain hashes the sign: a negative zero
// (an error rounded to nothing) is written as zero so that the link hashed
// is the link read back.
QVariantList PlainZeros(QVariantList row) {
    for (QVariant& v : row)
        if (!v.isNull() && v.typeId() == QMetaType::Double && v.toDouble() == 0.0) v = QVariant(0.0);
    return row;
}

// The closing of a killed run: what the operator reads in the protocol.
const QString kKilledReason = QStringLiteral("работа программы прервана");

bool ProcessGone(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// Who writes, as this process knows it: on SQLite nobody else can say.
QVariantList WrittenBy() {
    static const QString user = [] {
        const passwd* pw = ::getpwuid(::getuid());
        return pw != nullptr ? QString::fromLocal8Bit(pw->pw_name) : qEnvironmentVariable("USER");
    }();
    static const QString host = QSysInfo::machineHostName();
    return {user, host, TimeValue(QDateTime::currentDateTimeUtc())};
}

// The columns of the records table as they are now (the revision guard
// compares every one of them that is not descriptive).
QStringList TableColumns(QSqlDatabase db, sql::Engine engine, QString* error) {
    QSqlQuery q(db);
    const bool ok = engine == sql::Engine::Sqlite
                        ? q.exec("PRAGMA table_info(records)")
                        : q.exec("SELECT column_name FROM information_schema.columns"
                                 " WHERE table_name = 'records' AND table_schema = current_schema()"
                                 " ORDER BY ordinal_position");
    QStringList out;
    if (!ok) {
        *error = q.lastError().text();
        return out;
    }
    while (q.next()) out << q.value(engine == sql::Engine::Sqlite ? 1 : 0).toString();
    return out;
}

bool PlainIdentifier(const QString& name) {
    static const QRegularExpression re(QStringLiteral("^[a-z_][a-z0-9_]{0,62}$"));
    return re.match(name).hasMatch();
}

}  // namespace

std::optional<DbUrl> ParseDbUrl(const QString& text, QString* error) {
    DbUrl out;
    const QUrl url(text);
    const QString scheme = url.scheme().toLower();
    if (scheme == "postgresql" || scheme == "postgres") {
        out.driver = "QPSQL";
        out.database = url.path().mid(1);
        out.host = url.host();
        out.port = url.port(-1);
        out.user = url.userName();
        out.password = PasswordInUrl(text);
        const QUrlQuery query(url);
        if (query.hasQueryItem("host")) out.host = query.queryItemValue("host");
        QString optionError;
        out.options = PgConnectOptions(query, &optionError);
        if (!optionError.isEmpty()) {
            if (error) *error = optionError;
            return std::nullopt;
        }
        // A service file may name the database instead.
        if (out.database.isEmpty() && !query.hasQueryItem("service")) {
            if (error)
                *error = QStringLiteral("В адресе базы данных нет имени базы: ") +
                         UrlWithoutPassword(text);
            return std::nullopt;
        }
        return out;
    }
    out.driver = "QSQLITE";
    out.database = scheme == "sqlite" ? url.path() : text;
    if (out.database.isEmpty()) {
        if (error) *error = QStringLiteral("Не задан файл базы данных");
        return std::nullopt;
    }
    return out;
}

RecordStore::RecordStore() {
    static QAtomicInt serial;
    m_name = QStringLiteral("records-%1").arg(serial.fetchAndAddRelaxed(1));
}

RecordStore::~RecordStore() {
    m_prepared.clear();
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
}

QString RecordStore::Workstation() { return QSysInfo::machineHostName(); }

bool RecordStore::Fail(const QString& what, const QString& detail) {
    // Another program holding the file's write lock past the busy timeout:
    // a wait, not a fault of the bench.
    if (detail.contains(QLatin1String("database is locked")) ||
        detail.contains(QLatin1String("database is busy"))) {
        m_error = what + QStringLiteral(": база данных занята");
        return false;
    }
    m_error = what + (detail.isEmpty() ? QString() : ": " + detail);
    return false;
}

bool RecordStore::Exec(const QString& text, const QVariantList& binds, const QString& what) {
    // Schema statements take no values and cannot be prepared on PostgreSQL.
    if (binds.isEmpty()) {
        QSqlQuery q(m_db);
        return q.exec(text) || Fail(what, q.lastError().text());
    }
    QSqlQuery* q = Run(text, binds, what);
    if (q == nullptr) return false;
    q->finish();
    return true;
}

// The statements of every point are prepared once per connection: parsing
// them anew cost more than writing the point.
QSqlQuery* RecordStore::Run(const QString& text, const QVariantList& binds, const QString& what) {
    auto it = m_prepared.find(text);
    if (it == m_prepared.end()) {
        QSqlQuery q(m_db);
        if (!q.prepare(text)) {
            Fail(what, q.lastError().text());
            return nullptr;
        }
        it = m_prepared.insert(text, q);
    }
    QSqlQuery& q = it.value();
    for (int i = 0; i < binds.size(); ++i) q.bindValue(i, binds[i]);
    if (!q.exec()) {
        Fail(what, q.lastError().text());
        // A lost connection leaves its statements behind: prepare afresh.
        m_prepared.clear();
        return nullptr;
    }
    return &q;
}

bool RecordStore::Open(const QString& url, int version) {
    QString error;
    const std::optional<DbUrl> parsed = ParseDbUrl(url, &error);
    if (!parsed) return Fail(error, {});
    m_url = url;
    m_prepared.clear();
    m_lastLink = {};
    if (!QSqlDatabase::isDriverAvailable(parsed->driver))
        return Fail(QStringLiteral("Нет драйвера базы данных"), parsed->driver);
    m_engine = parsed->driver == "QSQLITE" ? sql::Engine::Sqlite : sql::Engine::Postgres;
    m_db = QSqlDatabase::addDatabase(parsed->driver, m_name);
    m_db.setDatabaseName(parsed->database);
    if (m_engine == sql::Engine::Sqlite) {
        m_db.setConnectOptions(m_readOnly ? "QSQLITE_BUSY_TIMEOUT=10000;QSQLITE_OPEN_READONLY"
                                          : "QSQLITE_BUSY_TIMEOUT=10000");
    } else {
        if (!parsed->host.isEmpty()) m_db.setHostName(parsed->host);
        if (parsed->port > 0) m_db.setPort(parsed->port);
        m_db.setUserName(parsed->user);
        m_db.setPassword(parsed->password);
        // A core dump would hold it: none while this process knows a password.
        if (!parsed->password.isEmpty()) KeepOutOfCoreDumps();
        m_db.setConnectOptions(parsed->options);
    }
    if (!m_db.open())
        return Fail(QStringLiteral("Не удалось открыть базу данных ") + UrlWithoutPassword(url),
                    HidePassword(m_db.lastError().text(), parsed->password));
    if (m_engine == sql::Engine::Sqlite) {
        // A damaged file is refused before anything is read from it.
        QStringList damage;
        m_damaged = !OpenCheck(m_db, parsed->database, &damage);
        if (m_damaged)
            return Fail(QStringLiteral("База данных записей повреждена (%1)").arg(parsed->database),
                        damage.join("; "));
        // WAL keeps readers (the journal) from blocking the point being written.
        QSqlQuery q(m_db);
        if (!m_readOnly &&
            ((!m_quietOpen && !q.exec("PRAGMA journal_mode=WAL")) ||
             !q.exec("PRAGMA foreign_keys=ON") || !q.exec("PRAGMA synchronous=FULL")))
            return Fail(QStringLiteral("Не удалось настроить базу данных"), q.lastError().text());
    }
    auto readIdentity = [this] {
        QSqlQuery q(m_db);
        m_databaseId = q.exec("SELECT uuid FROM database_identity") && q.next()
                           ? q.value(0).toString()
                           : QString();
    };
    if (m_engine == sql::Engine::Postgres) {
        // No statement of a recording program waits on the server for ever.
        QSqlQuery q(m_db);
        if (!m_readOnly && !q.exec("SET statement_timeout = '30s'"))
            return Fail(QStringLiteral("Не удалось настроить базу данных"), q.lastError().text());
    }
    // The workstation's journal brings the schema up to date (a new file
    // gets its tables), but neither replays a spool nor closes a dead run.
    if (m_quietOpen && !m_readOnly && SchemaVersion() < sql::LatestVersion() &&
        !Migrate(version < 0 ? sql::LatestVersion() : version))
        return false;
    if (m_readOnly || m_quietOpen) {
        readIdentity();
        QSqlQuery q(m_db);
        if (m_readOnly && m_engine == sql::Engine::Postgres &&
            !q.exec("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"))
            return Fail(QStringLiteral("Не удалось настроить базу данных"), q.lastError().text());
        if (SchemaVersion() > sql::LatestVersion())
            return Fail(QStringLiteral("База данных записей создана более новой версией программы "
                                       "(версия схемы %1, программа знает до %2); открыть её нельзя")
                            .arg(SchemaVersion())
                            .arg(sql::LatestVersion()),
                        {});
        m_error.clear();
        return true;
    }
    if (!Migrate(version < 0 ? sql::LatestVersion() : version)) return false;
    readIdentity();
    // Before the left-open records are judged: a spooled one is completed.
    m_spoolNotes = ReplaySpool(*this);
    m_error.clear();
    return InterruptLeftOpen();
}

bool RecordStore::CheckIntegrity(bool full, QStringList* problems) {
    problems->clear();
    if (m_engine != sql::Engine::Sqlite) return true;
    QSqlQuery q(m_db);
    if (!q.exec(full ? "PRAGMA integrity_check" : "PRAGMA quick_check")) {
        *problems << q.lastError().text();
        return false;
    }
    while (q.next())
        if (q.value(0).toString() != QLatin1String("ok")) *problems << q.value(0).toString();
    return problems->isEmpty();
}

int RecordStore::SchemaVersion() {
    QSqlQuery q(m_db);
    if (!q.exec(sql::kReadVersion) || !q.next()) return 0;
    return q.value(0).toInt();
}

bool RecordStore::Migrate(int target) {
    QSqlQuery q(m_db);
    // Read first: the workstation's role may read the version but not create tables.
    if (!q.exec(sql::kReadVersion)) {
        if (!Exec(sql::kCreateVersionTable, {},
                  QStringLiteral("Не удалось создать таблицу версии")))
            return false;
        if (!q.exec(sql::kReadVersion))
            return Fail("Не удалось прочитать версию схемы", q.lastError().text());
    }
    if (!q.next() && !Exec(sql::kInsertVersion, {}, "Не удалось записать версию схемы"))
        return false;
    q.finish();
    const int current = SchemaVersion();
    if (current > sql::LatestVersion())
        return Fail(QStringLiteral("База данных записей создана более новой версией программы "
                                   "(версия схемы %1, программа знает до %2); открыть её нельзя")
                        .arg(current)
                        .arg(sql::LatestVersion()),
                    {});
    for (int v = current + 1; v <= target; ++v) {
        if (!m_db.transaction())
            return Fail("Не удалось начать транзакцию", m_db.lastError().text());
        // A migration fills new tables from every record (schema 9: a
        // million records' figures take over a minute on PostgreSQL); the
        // limit that keeps a run from waiting for ever would cancel it at
        // every opening, so it is lifted for this transaction alone.
        bool ok = m_engine != sql::Engine::Postgres ||
                  Exec("SET LOCAL statement_timeout = 0", {},
                       QStringLiteral("Миграция схемы %1").arg(v));
        for (const QString& statement : sql::Migrations().at(v - 1)) {
            if (!ok) break;
            QStringList expanded{statement};
            if (statement == QLatin1String(sql::kForgeryGuards)) {
                expanded = sql::ForgeryGuards(m_engine);
            } else if (statement == QLatin1String(sql::kStatFigures)) {
                expanded = sql::StatFiguresMigration(m_engine);
            } else if (statement == QLatin1String(sql::kRevisionGuard)) {
                QString error;
                const QStringList columns = TableColumns(m_db, m_engine, &error);
                if (columns.isEmpty()) {
                    ok = Fail(QStringLiteral("Миграция схемы %1").arg(v), error);
                    break;
                }
                expanded = sql::RevisionGuard(m_engine, columns);
            }
            for (const QString& each : expanded)
                if (!(ok = Exec(each, {}, QStringLiteral("Миграция схемы %1").arg(v)))) break;
            if (!ok) break;
        }
        if (ok && v == sql::kChainVersion) {
            ok = SealExisting();
            for (const QString& guard : sql::AppendOnlyGuards(m_engine, v))
                if (!(ok = ok && Exec(guard, {}, QStringLiteral("Миграция схемы %1").arg(v))))
                    break;
        }
        // Columns added to records after the guards: the guard covers them too.
        bool recordsGrew = false;
        for (const QString& c : sql::RecordColumns())
            recordsGrew = recordsGrew || sql::VersionAdding("records", c.toLatin1().constData()) == v;
        if (ok && v > sql::kChainVersion && recordsGrew)
            for (const QString& guard : sql::RecordsGuardAgain(m_engine, v))
                if (!(ok = Exec(guard, {}, QStringLiteral("Миграция схемы %1").arg(v)))) break;
        if (ok && v == sql::ReferencesVersion()) {
            ok = MoveLegacyMeans();
            for (const QString& guard : sql::ReferenceGuards(m_engine))
                if (!(ok = ok && Exec(guard, {}, QStringLiteral("Миграция схемы %1").arg(v))))
                    break;
        }
        ok = ok && Exec(sql::kWriteVersion, {v}, "Не удалось записать версию схемы");
        if (!ok || !m_db.commit()) {
            const QString reason = m_error.isEmpty() ? m_db.lastError().text() : m_error;
            m_db.rollback();
            return Fail(QStringLiteral("Схема базы данных не обновлена до версии %1 (обновляет "
                                       "владелец базы: yukt-records migrate --db …)")
                            .arg(v),
                        reason);
        }
    }
    return true;
}

std::optional<RecordStore::Link> RecordStore::NextLink(const QString& kind,
                                                       const QList<sql::Column>& columns,
                                                       const QVariantList& values) {
    const std::optional<qint64> seq = NextNumber(sql::kChainCounter);
    if (!seq) return std::nullopt;
    return LinkAt(*seq, kind, columns, values);
}

std::optional<RecordStore::Link> RecordStore::LinkAt(qint64 seq, const QString& kind,
                                                     const QList<sql::Column>& columns,
                                                     const QVariantList& values) {
    QString prev = kChainStart;
    if (seq > 1 && m_lastLink.seq == seq - 1) {
        // This connection wrote the link before: no other writer came between.
        prev = m_lastLink.hash;
    } else if (seq > 1) {
        QSqlQuery* q = Run(sql::kHashAt, QVariantList(sql::kChainTables, seq - 1),
                           "Не удалось прочитать цепочку записей");
        if (q == nullptr) return std::nullopt;
        // A removed predecessor is reported by the check; recording goes on.
        if (q->next()) prev = q->value(0).toString();
        q->finish();
    }
    m_lastLink = Link{seq, prev, ChainHash(prev, kind, columns, values)};
    return m_lastLink;
}

QVariantList RecordStore::Linked(const QVariantList& row, const Link& link) {
    return row + QVariantList{link.seq, link.prev, link.hash};
}

// The rows of a database from before the chain get their links once, in the
// order they were written: per record its opening, points, closure and later
// revisions.
bool RecordStore::SealExisting() {
    QString prev = kChainStart;
    qint64 seq = 0, lastId = 0;
    auto seal = [&](const char* update, const QString& kind, const QList<sql::Column>& columns,
                    const QVariantList& values, const QVariantList& key) {
        const QString hash = ChainHash(prev, kind, columns, values);
        const bool ok = Exec(update, QVariantList{++seq, prev, hash} + key,
                             "Не удалось связать записи в цепочку");
        prev = hash;
        return ok;
    };
    // Columns added later are not there yet: Pick gives them null, which
    // hashes as nothing.
    const QStringList recordNames = sql::RecordColumnsAtChain();
    const QStringList pointNames = sql::Names(sql::PointColumns());
    for (;;) {
        QSqlQuery ids(m_db);
        ids.prepare(sql::kSealRecordIds);
        ids.addBindValue(lastId);
        ids.addBindValue(500);
        if (!ids.exec()) return Fail("Не удалось прочитать записи", ids.lastError().text());
        QList<qint64> page;
        while (ids.next()) page << ids.value(0).toLongLong();
        if (page.isEmpty()) break;
        for (qint64 id : page) {
            QSqlQuery r(m_db), p(m_db);
            r.prepare(sql::SealRevisions());
            r.addBindValue(id);
            p.prepare(sql::SelectPoints());
            p.addBindValue(id);
            if (!r.exec()) return Fail("Не удалось прочитать запись", r.lastError().text());
            if (!p.exec()) return Fail("Не удалось прочитать точки", p.lastError().text());
            QList<QVariantList> revisions;
            while (r.next()) revisions << Values(r, recordNames);
            QList<QVariantList> points;
            while (p.next()) points << Values(p, pointNames);
            for (int k = 0; k < revisions.size(); ++k) {
                const QVariantList& row = revisions[k];
                const int revision = row.value(1).toInt();
                bool ok = revision == 0
                              ? seal(sql::kSealRevision, kOpeningEntry, sql::OpeningColumns(),
                                     Pick(sql::OpeningColumns(), recordNames, row), {id, 0})
                              : seal(sql::kSealRevision, kRevisionEntry, sql::RevisionColumns(),
                                     Pick(sql::RevisionColumns(), recordNames, row), {id, revision});
                if (revision == 0) {
                    for (const QVariantList& point : points)
                        ok = ok && seal(sql::kSealPoint, kPointEntry, sql::PointColumns(), point,
                                        {id, point.value(1)});
                    if (row.value(recordNames.indexOf("state")).toString() != "open")
                        ok = ok && seal(sql::kSealClosure, kClosureEntry, sql::ClosureColumns(),
                                        Pick(sql::ClosureColumns(), recordNames, row), {id});
                }
                if (!ok) return false;
            }
        }
        lastId = page.last();
    }
    return seq == 0 || (Exec(sql::kEnsureCounter, {QString(sql::kChainCounter)},
                             "Не удалось создать счётчик") &&
                        Exec(sql::kSetChainCounter, {seq, QString(sql::kChainCounter)},
                             "Не удалось записать счётчик"));
}

bool RecordStore::InterruptLeftOpen() {
    m_interrupted.clear();
    QSqlQuery q(m_db);
    q.prepare(sql::kOpenRecordsOf);
    q.addBindValue(Workstation());
    if (!q.exec()) return Fail("Не удалось прочитать открытые записи", q.lastError().text());
    struct Orphan {
        qint64 id;
        QVariant started, flashAfter;
    };
    QList<Orphan> orphans;
    while (q.next())
        if (ProcessGone(q.value(1).toLongLong()))
            orphans << Orphan{q.value(0).toLongLong(), q.value(2), q.value(3)};
    for (const Orphan& o : orphans) {
        // The verification's date stays the run's own, not the day it was found.
        const QVariantList closure = {o.id,          QStringLiteral("interrupted"),
                                      o.started,     kInterrupted,
                                      kKilledReason, QString(),
                                      QString(),     o.flashAfter};
        if (!InTransaction([&] { return WriteClosure(closure); })) return false;
        m_interrupted << o.id;
    }
    return true;
}

bool RecordStore::WriteClosure(const QVariantList& closure) {
    const qint64 id = closure[0].toLongLong();
    // Without the run's token (a dead run's record) only "прервано" passes the guards.
    const QVariant token = m_tokens.contains(id) ? QVariant(m_tokens.value(id))
                                                 : QVariant(QMetaType(QMetaType::QString));
    if (m_engine == sql::Engine::Postgres &&
        !Exec(sql::kSetRunToken, {token.isNull() ? QString("") : token.toString()},
              "Не удалось закрыть запись"))
        return false;
    const std::optional<Link> link = NextLink(kClosureEntry, sql::ClosureColumns(), closure);
    if (!link) return false;
    QVariantList binds = closure.mid(1) + QVariantList{link->seq, link->prev, link->hash};
    if (m_engine == sql::Engine::Sqlite) binds += QVariantList{token} + WrittenBy();
    binds << closure[0];
    // Prepared once: its triggers made parsing it cost more than running it.
    QSqlQuery* q = Run(sql::CloseRecord(m_engine), binds, QStringLiteral("Не удалось закрыть запись"));
    if (q == nullptr) return false;
    const int changed = q->numRowsAffected();
    q->finish();
    if (changed != 1)
        return Fail(QStringLiteral("Запись № %1 уже закрыта").arg(closure[0].toLongLong()), {});
    return true;
}

bool RecordStore::InTransaction(const std::function<bool()>& work) {
    // Within a batch the batch's transaction holds it, and its commit.
    if (m_inBatch) return work();
    if (!m_db.transaction()) return Fail("Не удалось начать транзакцию", m_db.lastError().text());
    if (!work() || !m_db.commit()) {
        const QString reason = m_error.isEmpty() ? m_db.lastError().text() : m_error;
        m_db.rollback();
        // The links of this transaction were never written.
        m_lastLink = {};
        return Fail(reason, {});
    }
    return true;
}

bool RecordStore::Batch(const std::function<bool()>& work) {
    m_error.clear();
    if (m_inBatch) return work();
    if (!m_db.transaction()) return Fail("Не удалось начать транзакцию", m_db.lastError().text());
    m_inBatch = true;
    m_anchorDue = false;
    const bool ok = work();
    m_inBatch = false;
    if (!ok || !m_db.commit()) {
        const QString reason = m_error.isEmpty() ? m_db.lastError().text() : m_error;
        m_db.rollback();
        // Its links and points were never kept: read the points' numbers afresh.
        m_lastLink = {};
        m_anchorDue = false;
        m_lastSeq.clear();
        return Fail(reason, {});
    }
    if (m_anchorDue) WriteAnchor();
    m_anchorDue = false;
    return true;
}

std::optional<qint64> RecordStore::NextNumber(const QString& counter, qint64 count) {
    // A counter's first use creates it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSqlQuery* q = Run(sql::kBumpCounter, {count, counter}, "Не удалось увеличить счётчик");
        if (q == nullptr) return std::nullopt;
        if (q->next()) {
            const qint64 value = q->value(0).toLongLong();
            q->finish();
            return value;
        }
        q->finish();
        if (attempt == 0 && !Exec(sql::kEnsureCounter, {counter}, "Не удалось создать счётчик"))
            return std::nullopt;
    }
    Fail("Не удалось прочитать счётчик", counter);
    return std::nullopt;
}

bool RecordStore::InsertRow(const Record& record) {
    const QVariantList row = PlainZeros(RowOf(record));
    const bool opening = record.revision.number == 0;
    const bool registry = !record.registry.vriId.isEmpty();
    const QList<sql::Column>& columns = registry  ? sql::RegistryRevisionColumns()
                                        : opening ? sql::OpeningColumns()
                                                  : sql::RevisionColumns();
    const QString kind = registry ? kRegistryEntry : opening ? kOpeningEntry : kRevisionEntry;
    const std::optional<Link> link =
        NextLink(kind, columns, Pick(columns, sql::RecordColumns(), row));
    const QVariant key = opening ? QVariant(m_tokens.value(record.id))
                                 : QVariant(QMetaType(QMetaType::QString));
    return link && Exec(sql::InsertRecord(), Linked(row, *link) + QVariantList{key} + WrittenBy(),
                        "Не удалось записать запись о поверке");
}

bool RecordStore::InsertChained(const ChainedRow& row) {
    const std::optional<Link> link = NextLink(row.kind, row.columns, row.values);
    return link && Exec(row.insert, Linked(row.values, *link),
                        QStringLiteral("Не удалось записать в базу данных"));
}

bool RecordStore::AppendChained(const QList<ChainedRow>& rows) {
    m_error.clear();
    return InTransaction([&] {
        for (const ChainedRow& row : rows)
            if (!InsertChained(row)) return false;
        return true;
    });
}

bool RecordStore::MoveLegacyMeans() {
    const std::optional<QHash<QString, QString>> settings = Settings();
    if (!settings) return false;
    for (const LabReference& r : LegacyReferences(*settings))
        if (!InsertChained(ReferenceRow(r))) return false;
    return true;
}

bool RecordStore::Begin(Record& record) {
    m_error.clear();
    record.workstation = m_station.isEmpty() ? Workstation() : m_station;
    record.startedAt = Now();
    record.state = RecordState::Open;
    record.revision = {};
    const bool ok = InTransaction([&] {
        const std::optional<qint64> id = NextNumber("record");
        if (!id) return false;
        record.id = *id;
        // The run's secret: only who holds it adds points to the record or closes it.
        m_tokens.insert(*id, QUuid::createUuid().toString(QUuid::Id128) +
                                 QUuid::createUuid().toString(QUuid::Id128));
        if (!Exec(sql::kInsertRecordId, {*id, TimeValue(record.startedAt)},
                  "Не удалось записать номер записи") ||
            !InsertRow(record))
            return false;
        for (const PlanEntry& e : record.plan) {
            const QVariantList row = PlainZeros(PlanRow(record.id, e));
            const std::optional<Link> link = NextLink(kPlanEntry, sql::PlanColumns(), row);
            if (!link || !Exec(sql::InsertPlanItem(),
                               Linked(row, *link) + QVariantList{m_tokens.value(record.id)} +
                                   WrittenBy(),
                               "Не удалось записать план поверки"))
                return false;
        }
        for (const ReferenceUse& use : record.means)
            if (!InsertChained(MeansRow(record.id, use))) return false;
        return true;
    });
    if (!ok) {
        m_tokens.remove(record.id);
        record.id = 0;
        return false;
    }
    m_lastSeq[record.id] = 0;
    return true;
}

bool RecordStore::AddPoint(qint64 recordId, RecordPoint& p) {
    QList<RecordPoint> one{p};
    if (!AddPoints(recordId, one)) return false;
    p = one.front();
    return true;
}

bool RecordStore::AddPoints(qint64 recordId, QList<RecordPoint>& points) {
    m_error.clear();
    if (points.isEmpty()) return true;
    if (!m_lastSeq.contains(recordId)) {
        QSqlQuery q(m_db);
        q.prepare(sql::SelectPoints());
        q.addBindValue(recordId);
        if (!q.exec()) return Fail("Не удалось прочитать точки", q.lastError().text());
        int last = 0;
        while (q.next()) last = q.value(1).toInt();
        m_lastSeq[recordId] = last;
    }
    int seq = m_lastSeq[recordId];
    const bool ok = InTransaction([&] {
        const QVariant token = m_tokens.contains(recordId)
                                   ? QVariant(m_tokens.value(recordId))
                                   : QVariant(QMetaType(QMetaType::QString));
        for (RecordPoint& p : points) {
            p.seq = ++seq;
            if (!p.measuredAt.isValid()) p.measuredAt = Now();
            QVariantList row = PlainZeros(PointRow(recordId, p));
            QList<sql::Column> columns = sql::PointColumns();
            if (p.hasU) {
                row << PointFieldValues(PointField::Margin, p);
                columns += sql::PointMarginColumns();
            }
            // Each point takes the counter's next position: the guards accept no other.
            const std::optional<Link> link = NextLink(kPointEntry, columns, row);
            if (!link || !Exec(p.hasU ? sql::InsertPointWithMargins() : sql::InsertPoint(),
                               Linked(row, *link) + QVariantList{token} + WrittenBy(),
                               "Не удалось записать точку"))
                return false;
        }
        return true;
    });
    if (ok) m_lastSeq[recordId] = seq;
    return ok;
}

bool RecordStore::Close(qint64 recordId, const QString& verdictGiven,
                        const QStringList& reasonsGiven, const QDateTime& finishedAt) {
    m_error.clear();
    std::optional<Record> r = Load(recordId, 0);
    if (!r) return false;
    if (r->state != RecordState::Open)
        return Fail(QStringLiteral("Запись № %1 уже закрыта").arg(recordId), {});
    // A record made by a plan is judged by the plan alone: a stop after a
    // failure stays "не годен", and only the whole plan passed gives a certificate.
    const QString verdict = !r->plan.isEmpty()       ? VerdictOf(r->plan, r->points)
                            : verdictGiven.isEmpty() ? VerdictOf(r->points)
                                                     : verdictGiven;
    // A plan's reasons are its own words, the same in the record, the
    // protocol and the registry; what the caller adds (a lost database)
    // follows them.
    QStringList reasons = reasonsGiven;
    if (!r->plan.isEmpty() && verdict != kSuitable) {
        reasons = PlanReasons(r->plan, r->points);
        for (const QString& given : reasonsGiven)
            if (!reasons.contains(given)) reasons << given;
    }
    if (verdict == kUnsuitable && reasons.isEmpty())
        for (const RecordPoint& p : r->points)
            if (p.result == "fail")
                reasons << QStringLiteral("Точка %1: погрешность превышает допуск").arg(p.seq);
    const std::optional<LabSettings> lab = LabSettings::Load(*this);
    if (!lab) return false;
    const QDateTime finished = finishedAt.isValid() ? finishedAt.toUTC() : Now();
    const QDate day = finished.toLocalTime().date();
    const QString flashAfter = m_flashAfter.value(recordId, r->module.flashAfter);
    const bool ok = InTransaction([&] {
        QDate valid;
        QString certificate;
        if (verdict == kSuitable || verdict == kUnsuitable) {
            const bool suitable = verdict == kSuitable;
            if (suitable) valid = ValidUntil(day, lab->IntervalOf(*r));
            const QString counter =
                QStringLiteral("%1:%2").arg(suitable ? "certificate" : "notice").arg(day.year());
            const std::optional<qint64> n = NextNumber(counter);
            if (!n) return false;
            certificate = FormatCertificate(suitable ? lab->certificateScheme : lab->noticeScheme,
                                            day.year(), *n);
        }
        const QString state =
            StateText(verdict == kInterrupted ? RecordState::Interrupted : RecordState::Closed);
        return WriteClosure({recordId, state, TimeValue(finished), verdict, reasons.join(kLines),
                             valid.isValid() ? valid.toString(Qt::ISODate) : QString(), certificate,
                             flashAfter});
    });
    // A commit whose answer was lost may have gone through: read back on a
    // connection of its own before the run says anything. A batch's failure
    // is the whole batch's: nothing of it was kept.
    if (!ok) {
        if (m_inBatch || !ClosedAs(recordId, verdict)) return false;
        // The commit went through unseen on a connection that is gone: what
        // follows (the record read back for its protocol) needs one.
        Reconnect();
    }
    m_lastSeq.remove(recordId);
    m_flashAfter.remove(recordId);
    m_tokens.remove(recordId);
    if (m_inBatch)
        m_anchorDue = true;
    else
        WriteAnchor();
    return true;
}

// The head as it was at this closing, kept outside the database: a later
// rewrite of anything before it shows against this line.
void RecordStore::WriteAnchor() {
    m_anchorError.clear();
    const QString anchors = m_anchorFile.isEmpty() && !DatabaseId().isEmpty()
                                ? LocalAnchorFile(DatabaseId())
                                : m_anchorFile;
    if (!anchors.isEmpty() && m_lastLink.seq > 0)
        AppendAnchor(anchors, {m_lastLink.seq, m_lastLink.hash, QDateTime::currentDateTimeUtc()},
                     &m_anchorError);
}

void RecordStore::Reconnect() {
    m_prepared.clear();
    m_db.close();
    if (m_db.open() && m_engine == sql::Engine::Postgres && !m_readOnly)
        QSqlQuery(m_db).exec("SET statement_timeout = '30s'");
}

bool RecordStore::ClosedAs(qint64 recordId, const QString& verdict) {
    const QString name = m_name + QStringLiteral("-readback");
    bool closed = false;
    {
        QSqlDatabase db = QSqlDatabase::cloneDatabase(m_db, name);
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare("SELECT state, verdict FROM records WHERE id = ? AND revision = 0");
            q.addBindValue(recordId);
            closed = q.exec() && q.next() && q.value(0).toString() != QLatin1String("open") &&
                     q.value(1).toString() == verdict;
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (closed) m_error.clear();
    return closed;
}

bool RecordStore::CloseInterrupted(qint64 recordId, const QStringList& reasons,
                                   const QDateTime& finishedAt) {
    m_error.clear();
    std::optional<Record> r = Load(recordId, 0);
    if (!r) return false;
    if (r->state != RecordState::Open)
        return Fail(QStringLiteral("Запись № %1 уже закрыта").arg(recordId), {});
    const QDateTime finished =
        finishedAt.isValid() ? finishedAt.toUTC() : QDateTime::currentDateTimeUtc();
    const bool ok = InTransaction([&] {
        return WriteClosure({recordId, StateText(RecordState::Interrupted), TimeValue(finished),
                             kInterrupted, reasons.join(kLines), QString(), QString(),
                             m_flashAfter.value(recordId, r->module.flashAfter)});
    });
    if (!ok) return false;
    m_lastSeq.remove(recordId);
    m_flashAfter.remove(recordId);
    m_tokens.remove(recordId);
    return true;
}

bool RecordStore::SetFlashAfter(qint64 recordId, const QString& values) {
    m_error.clear();
    // Written with the closing, the one change an open record may take.
    m_flashAfter[recordId] = values;
    return true;
}

bool RecordStore::Correct(qint64 recordId, const RecordInfo& info, const QString& author,
                          const QString& reason) {
    return Correct(recordId, info, std::nullopt, author, reason);
}

bool RecordStore::Correct(qint64 recordId, const RecordInfo& info,
                          const std::optional<LabSnapshot>& lab, const QString& author,
                          const QString& reason) {
    m_error.clear();
    if (author.trimmed().isEmpty() || reason.trimmed().isEmpty())
        return Fail(QStringLiteral("Для исправления нужны автор и причина"), {});
    std::optional<Record> r = Load(recordId);
    if (!r) return false;
    if (r->state == RecordState::Open)
        return Fail(QStringLiteral("Запись № %1 ещё не закрыта").arg(recordId), {});
    r->info = info;
    if (lab) r->lab = *lab;
    // The registry's means of a record stay those it was made with.
    if (lab && !r->means.isEmpty()) MeansIntoLab(r->means, r->lab);
    r->revision = {r->revision.number + 1, author, Now(), reason};
    // Two stations correcting at once collide on the primary key; one wins.
    return InTransaction([&] { return InsertRow(*r); });
}

bool RecordStore::MarkInRegistry(qint64 recordId, const RegistryEntry& entry,
                                 const QString& author) {
    m_error.clear();
    if (entry.vriId.isEmpty()) return Fail(QStringLiteral("Нет номера записи в реестре"), {});
    std::optional<Record> r = Load(recordId);
    if (!r) return false;
    if (r->state == RecordState::Open)
        return Fail(QStringLiteral("Запись № %1 ещё не закрыта").arg(recordId), {});
    r->registry = entry;
    r->revision = {r->revision.number + 1, author, QDateTime::currentDateTimeUtc(),
                   QStringLiteral("найдена в реестре ФГИС «Аршин»: ") + entry.vriId};
    return InTransaction([&] { return InsertRow(*r); });
}

std::optional<Record> RecordStore::Load(qint64 recordId, int revision) {
    // Its statements are prepared once per connection: a closing loads its
    // record, and parsing them anew cost more than reading it.
    const QString what = QStringLiteral("Не удалось прочитать запись");
    QSqlQuery* q = revision < 0 ? Run(sql::SelectRecord(), {recordId}, what)
                                : Run(sql::SelectRevision(), {recordId, revision}, what);
    if (q == nullptr) return std::nullopt;
    if (!q->next()) {
        q->finish();
        Fail(QStringLiteral("Нет записи № %1").arg(recordId), {});
        return std::nullopt;
    }
    Record r = RecordOf(*q);
    q->finish();
    QSqlQuery* p = Run(sql::SelectPoints(), {recordId}, what);
    if (p == nullptr) return std::nullopt;
    while (p->next()) r.points << PointOf(*p);
    p->finish();
    QSqlQuery* plan = Run(sql::kSelectPlan, {recordId}, what);
    if (plan == nullptr) return std::nullopt;
    while (plan->next())
        r.plan << PlanEntry{plan->value(0).toInt(),    plan->value(1).toString(),
                            plan->value(2).toString(), plan->value(3).toString(),
                            plan->value(4).toInt(),    plan->value(5).toDouble(),
                            plan->value(6).toString(),
                            plan->value(7).toString().split(", ", Qt::SkipEmptyParts)};
    plan->finish();
    // The record's latest link (kRecordChainHash binds the id four times).
    QSqlQuery* chain = Run(sql::kRecordChainHash, QVariantList(4, recordId), what);
    if (chain == nullptr) return std::nullopt;
    if (chain->next()) r.chainHash = chain->value(1).toString();
    chain->finish();
    // A database from before the register has no such table: nothing to read.
    if (SchemaVersion() >= sql::ReferencesVersion()) {
        QSqlQuery* means = Run(sql::SelectMeansOf(), {recordId}, what);
        if (means == nullptr) return std::nullopt;
        while (means->next()) r.means << MeansOf(*means);
        means->finish();
        QSqlQuery* margins = Run(sql::SelectPointMargins(), {recordId}, what);
        if (margins == nullptr) return std::nullopt;
        while (margins->next())
            for (RecordPoint& point : r.points)
                if (point.seq == margins->value(0).toInt()) {
                    point.hasU = true;
                    SetPointFields(PointField::Margin, *margins, point);
                }
        margins->finish();
    }
    return r;
}

QString RecordStore::Setting(const QString& key, const QString& fallback) {
    QSqlQuery q(m_db);
    q.prepare(sql::kReadSetting);
    q.addBindValue(key);
    if (q.exec() && q.next()) return q.value(0).toString();
    return fallback;
}

std::optional<QHash<QString, QString>> RecordStore::Settings() {
    QSqlQuery q(m_db);
    if (!q.exec(sql::kReadAllSettings)) {
        Fail("Не удалось прочитать настройки лаборатории", q.lastError().text());
        return std::nullopt;
    }
    QHash<QString, QString> out;
    while (q.next()) out.insert(q.value(0).toString(), q.value(1).toString());
    // A damaged page can end the rows early with an error rather than fail the query.
    if (q.lastError().isValid()) {
        Fail("Не удалось прочитать настройки лаборатории", q.lastError().text());
        return std::nullopt;
    }
    return out;
}

bool RecordStore::SetSetting(const QString& key, const QString& value) {
    return Exec(sql::kWriteSetting, {key, value.isNull() ? QStringLiteral("") : value},
                "Не удалось записать настройку");
}

bool RecordStore::GrantWorkstation(const QString& role) {
    m_error.clear();
    if (m_engine != sql::Engine::Postgres) return true;
    if (!PlainIdentifier(role))
        return Fail(
            QStringLiteral("Имя роли рабочего места: строчные латинские буквы, цифры и «_»"), role);
    return InTransaction([&] {
        for (const QString& grant : sql::WorkstationGrants(role))
            if (!Exec(grant, {}, QStringLiteral("Не удалось выдать права роли ") + role))
                return false;
        return true;
    });
}

bool RecordStore::VerifyChain(ChainReport& report) {
    m_error.clear();
    QString error;
    if (!records::VerifyChain(m_db, report, &error))
        return Fail(QStringLiteral("Не удалось прочитать цепочку записей"), error);
    return true;
}

}  // namespace yukt::records
