#include "records/record_store.h"

#include <signal.h>
#include <unistd.h>

#include <QAtomicInt>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>
#include <cerrno>

#include "records/lab_settings.h"
#include "records/sql_text.h"

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
            r.program.checksum};
}

Record RecordOf(const QSqlQuery& q) {
    Record r;
    auto v = [&q](const char* column) { return q.value(QString::fromLatin1(column)); };
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
    return r;
}

QString ReadingsText(const QList<double>& readings) {
    QStringList out;
    for (double x : readings) out << QString::number(x, 'g', 15);
    return out.join(' ');
}
QList<double> ReadingsOf(const QString& text) {
    QList<double> out;
    for (const QString& w : text.split(' ', Qt::SkipEmptyParts)) out << w.toDouble();
    return out;
}

bool ProcessGone(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

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
        out.password = url.password();
        const QUrlQuery query(url);
        if (query.hasQueryItem("host")) out.host = query.queryItemValue("host");
        if (out.database.isEmpty()) {
            if (error) *error = QStringLiteral("В адресе базы данных нет имени базы: ") + text;
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
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
}

QString RecordStore::Workstation() { return QSysInfo::machineHostName(); }

bool RecordStore::Fail(const QString& what, const QString& detail) {
    m_error = what + (detail.isEmpty() ? QString() : ": " + detail);
    return false;
}

bool RecordStore::Exec(const QString& text, const QVariantList& binds, const QString& what) {
    QSqlQuery q(m_db);
    // Schema statements take no values and cannot be prepared on PostgreSQL.
    if (binds.isEmpty()) return q.exec(text) || Fail(what, q.lastError().text());
    if (!q.prepare(text)) return Fail(what, q.lastError().text());
    for (const QVariant& b : binds) q.addBindValue(b);
    if (!q.exec()) return Fail(what, q.lastError().text());
    return true;
}

bool RecordStore::Open(const QString& url, int version) {
    QString error;
    const std::optional<DbUrl> parsed = ParseDbUrl(url, &error);
    if (!parsed) return Fail(error, {});
    if (!QSqlDatabase::isDriverAvailable(parsed->driver))
        return Fail(QStringLiteral("Нет драйвера базы данных"), parsed->driver);
    m_db = QSqlDatabase::addDatabase(parsed->driver, m_name);
    m_db.setDatabaseName(parsed->database);
    if (parsed->driver == "QSQLITE") {
        m_db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=10000");
    } else {
        if (!parsed->host.isEmpty()) m_db.setHostName(parsed->host);
        if (parsed->port > 0) m_db.setPort(parsed->port);
        m_db.setUserName(parsed->user);
        m_db.setPassword(parsed->password);
    }
    if (!m_db.open())
        return Fail(QStringLiteral("Не удалось открыть базу данных ") + url,
                    m_db.lastError().text());
    if (parsed->driver == "QSQLITE") {
        // WAL keeps readers (the journal) from blocking the point being written.
        QSqlQuery q(m_db);
        if (!q.exec("PRAGMA journal_mode=WAL") || !q.exec("PRAGMA foreign_keys=ON") ||
            !q.exec("PRAGMA synchronous=FULL"))
            return Fail(QStringLiteral("Не удалось настроить базу данных"), q.lastError().text());
    }
    if (!Migrate(version < 0 ? sql::LatestVersion() : version)) return false;
    InterruptLeftOpen();
    return m_error.isEmpty();
}

int RecordStore::SchemaVersion() {
    QSqlQuery q(m_db);
    if (!q.exec(sql::kReadVersion) || !q.next()) return 0;
    return q.value(0).toInt();
}

bool RecordStore::Migrate(int target) {
    if (!Exec(sql::kCreateVersionTable, {}, QStringLiteral("Не удалось создать таблицу версии")))
        return false;
    QSqlQuery q(m_db);
    if (!q.exec(sql::kReadVersion))
        return Fail("Не удалось прочитать версию схемы", q.lastError().text());
    if (!q.next() && !Exec(sql::kInsertVersion, {}, "Не удалось записать версию схемы"))
        return false;
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
        bool ok = true;
        for (const QString& statement : sql::Migrations().at(v - 1))
            if (!(ok = Exec(statement, {}, QStringLiteral("Миграция схемы %1").arg(v)))) break;
        ok = ok && Exec(sql::kWriteVersion, {v}, "Не удалось записать версию схемы");
        if (!ok || !m_db.commit()) {
            const QString reason = m_error;
            m_db.rollback();
            return Fail(reason.isEmpty() ? "Миграция не записана" : reason, {});
        }
    }
    return true;
}

void RecordStore::InterruptLeftOpen() {
    m_interrupted.clear();
    QSqlQuery q(m_db);
    q.prepare(sql::kOpenRecordsOf);
    q.addBindValue(Workstation());
    if (!q.exec()) return;
    QList<qint64> orphans;
    while (q.next())
        if (ProcessGone(q.value(1).toLongLong())) orphans << q.value(0).toLongLong();
    const QVariant now = TimeValue(QDateTime::currentDateTimeUtc());
    for (qint64 id : orphans)
        if (Exec(sql::kMarkInterrupted, {kInterrupted, now, id}, "Не удалось отметить запись"))
            m_interrupted << id;
}

std::optional<qint64> RecordStore::NextNumber(const QString& counter) {
    if (!Exec(sql::kEnsureCounter, {counter}, "Не удалось создать счётчик") ||
        !Exec(sql::kBumpCounter, {counter}, "Не удалось увеличить счётчик"))
        return std::nullopt;
    QSqlQuery q(m_db);
    q.prepare(sql::kReadCounter);
    q.addBindValue(counter);
    if (!q.exec() || !q.next()) {
        Fail("Не удалось прочитать счётчик", q.lastError().text());
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

bool RecordStore::InsertRow(const Record& record) {
    return Exec(sql::InsertRecord(), RowOf(record), "Не удалось записать запись о поверке");
}

bool RecordStore::Begin(Record& record) {
    m_error.clear();
    if (!m_db.transaction()) return Fail("Не удалось начать транзакцию", m_db.lastError().text());
    const std::optional<qint64> id = NextNumber("record");
    record.id = id.value_or(0);
    record.workstation = Workstation();
    record.startedAt = QDateTime::currentDateTimeUtc();
    record.state = RecordState::Open;
    record.revision = {};
    const bool ok = id &&
                    Exec(sql::kInsertRecordId, {*id, TimeValue(record.startedAt)},
                         "Не удалось записать номер записи") &&
                    InsertRow(record);
    if (!ok || !m_db.commit()) {
        const QString reason = m_error;
        m_db.rollback();
        record.id = 0;
        return Fail(reason.isEmpty() ? m_db.lastError().text() : reason, {});
    }
    m_lastSeq[record.id] = 0;
    return true;
}

bool RecordStore::AddPoint(qint64 recordId, RecordPoint& p) {
    m_error.clear();
    if (!m_lastSeq.contains(recordId)) {
        QSqlQuery q(m_db);
        q.prepare(sql::kSelectPoints);
        q.addBindValue(recordId);
        int last = 0;
        if (q.exec())
            while (q.next()) last = q.value(0).toInt();
        m_lastSeq[recordId] = last;
    }
    p.seq = m_lastSeq[recordId] + 1;
    if (!p.measuredAt.isValid()) p.measuredAt = QDateTime::currentDateTimeUtc();
    const QVariantList binds = {recordId,
                                p.seq,
                                p.procedure,
                                p.channel,
                                p.nominal,
                                p.reference,
                                ReadingsText(p.readings),
                                p.measured,
                                p.errorKind,
                                p.error,
                                p.limit,
                                p.result,
                                p.reason,
                                p.manual ? 1 : 0,
                                TimeValue(p.measuredAt),
                                p.unit};
    if (!Exec(sql::kInsertPoint, binds, "Не удалось записать точку")) return false;
    m_lastSeq[recordId] = p.seq;
    return true;
}

bool RecordStore::Close(qint64 recordId, const QString& verdictGiven,
                        const QStringList& reasonsGiven) {
    m_error.clear();
    std::optional<Record> r = Load(recordId, 0);
    if (!r) return false;
    if (r->state != RecordState::Open)
        return Fail(QStringLiteral("Запись № %1 уже закрыта").arg(recordId), {});
    const QString verdict = verdictGiven.isEmpty() ? VerdictOf(r->points) : verdictGiven;
    QStringList reasons = reasonsGiven;
    if (verdict == kUnsuitable && reasons.isEmpty())
        for (const RecordPoint& p : r->points)
            if (p.result == "fail")
                reasons << QStringLiteral("Точка %1: погрешность превышает допуск").arg(p.seq);
    const LabSettings lab = LabSettings::Load(*this);
    const QDateTime finished = QDateTime::currentDateTimeUtc();
    const QDate day = finished.toLocalTime().date();
    QDate valid;
    QString certificate;
    if (!m_db.transaction()) return Fail("Не удалось начать транзакцию", m_db.lastError().text());
    bool ok = true;
    if (verdict == kSuitable || verdict == kUnsuitable) {
        const bool suitable = verdict == kSuitable;
        if (suitable) valid = ValidUntil(day, lab.IntervalFor(r->module.model));
        const QString counter =
            QStringLiteral("%1:%2").arg(suitable ? "certificate" : "notice").arg(day.year());
        const std::optional<qint64> n = NextNumber(counter);
        ok = n.has_value();
        if (ok)
            certificate = FormatCertificate(suitable ? lab.certificateScheme : lab.noticeScheme,
                                            day.year(), *n);
    }
    const QString state =
        StateText(verdict == kInterrupted ? RecordState::Interrupted : RecordState::Closed);
    ok = ok &&
         Exec(sql::kCloseRecord,
              {state, TimeValue(finished), verdict, reasons.join(kLines),
               valid.isValid() ? valid.toString(Qt::ISODate) : QString(), certificate, recordId},
              "Не удалось закрыть запись");
    if (!ok || !m_db.commit()) {
        const QString reason = m_error;
        m_db.rollback();
        return Fail(reason.isEmpty() ? m_db.lastError().text() : reason, {});
    }
    m_lastSeq.remove(recordId);
    return true;
}

bool RecordStore::SetFlashAfter(qint64 recordId, const QString& values) {
    m_error.clear();
    return Exec(sql::kSetFlashAfter, {values, recordId}, "Не удалось записать FLASH после поверки");
}

bool RecordStore::Correct(qint64 recordId, const RecordInfo& info, const QString& author,
                          const QString& reason) {
    m_error.clear();
    if (author.trimmed().isEmpty() || reason.trimmed().isEmpty())
        return Fail(QStringLiteral("Для исправления нужны автор и причина"), {});
    std::optional<Record> r = Load(recordId);
    if (!r) return false;
    if (r->state == RecordState::Open)
        return Fail(QStringLiteral("Запись № %1 ещё не закрыта").arg(recordId), {});
    r->info = info;
    r->revision = {r->revision.number + 1, author, QDateTime::currentDateTimeUtc(), reason};
    // Two stations correcting at once collide on the primary key; one wins.
    return InsertRow(*r);
}

std::optional<Record> RecordStore::Load(qint64 recordId, int revision) {
    QSqlQuery q(m_db);
    q.prepare(revision < 0 ? sql::SelectRecord() : sql::SelectRevision());
    q.addBindValue(recordId);
    if (revision >= 0) q.addBindValue(revision);
    if (!q.exec()) {
        Fail("Не удалось прочитать запись", q.lastError().text());
        return std::nullopt;
    }
    if (!q.next()) {
        Fail(QStringLiteral("Нет записи № %1").arg(recordId), {});
        return std::nullopt;
    }
    Record r = RecordOf(q);
    QSqlQuery p(m_db);
    p.prepare(sql::kSelectPoints);
    p.addBindValue(recordId);
    if (!p.exec()) {
        Fail("Не удалось прочитать точки", p.lastError().text());
        return std::nullopt;
    }
    while (p.next()) {
        RecordPoint pt;
        pt.seq = p.value(0).toInt();
        pt.procedure = p.value(1).toString();
        pt.channel = p.value(2).toString();
        pt.nominal = p.value(3).toDouble();
        pt.reference = p.value(4).toDouble();
        pt.readings = ReadingsOf(p.value(5).toString());
        pt.measured = p.value(6).toDouble();
        pt.errorKind = p.value(7).toString();
        pt.error = p.value(8).toDouble();
        pt.limit = p.value(9).toDouble();
        pt.result = p.value(10).toString();
        pt.reason = p.value(11).toString();
        pt.manual = p.value(12).toInt() != 0;
        pt.measuredAt = TimeOf(p.value(13));
        pt.unit = p.value(14).toString();
        r.points << pt;
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

bool RecordStore::SetSetting(const QString& key, const QString& value) {
    return Exec(sql::kWriteSetting, {key, value.isNull() ? QStringLiteral("") : value},
                "Не удалось записать настройку");
}

}  // namespace yukt::records
