#include "records/records_gen.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <cmath>
#include <random>

#include "records/lab_references.h"
#include "records/lab_settings.h"
#include "records/program_ident.h"
#include "records/record.h"
#include "records/record_store.h"

namespace yukt::records {
namespace {

constexpr int kBatch = 250;  // runs per commit

const QString kMethodology = QStringLiteral("МП 745-2025");
const QString kErrorTitle =
    QStringLiteral("Определение приведённой погрешности измерения силы постоянного тока");
const QString kProcedure748 = QStringLiteral("ток 748t");
const QString kCalibrator = QStringLiteral("Калибратор-измеритель КИ-1");
constexpr double kLimit745 = 0.2;  // %, reduced to the span 0..20 mA
constexpr double kLimit748 = 0.1;  // mA
constexpr double kSpan = 20;

// The plan of the 745t methodology: three operations, then one generator
// feeding the four channels in series at each point.
QList<PlanEntry> Plan745() {
    QList<PlanEntry> plan = {
        {1, "7.1", "Внешний осмотр", "inspection", 0, 0, "", {}},
        {2, "7.2", "Опробование", "functional", 0, 0, "", {}},
        {3, "7.3", "Подтверждение соответствия программного обеспечения", "software", 0, 0, "",
         {"10"}},
    };
    for (double nominal : {4.0, 12.0, 20.0})
        for (int ch = 1; ch <= 4; ++ch)
            plan << PlanEntry{int(plan.size()) + 1, "7.4", kErrorTitle, "error", ch, nominal, "мА", {}};
    return plan;
}

QList<PlanEntry> Plan748() {
    QList<PlanEntry> points;
    for (int ch = 1; ch <= 2; ++ch)
        for (double nominal : {4.0, 12.0}) points << PlanEntry{0, "", kProcedure748, "error", ch, nominal, "мА", {}};
    return points;
}

bool EnsureSettings(RecordStore& store, QString* error) {
    std::optional<LabSettings> s = LabSettings::Load(store);
    if (!s) {
        *error = store.LastError();
        return false;
    }
    if (!s->organisation.isEmpty()) return true;
    s->organisation = QStringLiteral("ООО «Лаборатория»");
    s->signCipher = QStringLiteral("ЛАБ");
    s->calibrator = kCalibrator;
    s->intervalMonths["748t"] = 12;
    if (!s->Save(store)) {
        *error = store.LastError();
        return false;
    }
    return true;
}

LabReference ReferenceOf(int station, int year) {
    LabReference r;
    r.number = GeneratedReference(station, year);
    r.kind = kMietaKind;
    r.name = kCalibrator;
    r.serial = QStringLiteral("%1%2").arg(station, 2, 10, QChar('0')).arg(year);
    r.certificate = QStringLiteral("С-ГП/%1-%2").arg(year).arg(station);
    r.validFrom = QDate(year, 1, 1);
    r.validUntil = QDate(year, 12, 31);
    r.quantities = {QStringLiteral("current")};
    return r;
}

// Each station's calibrator of every year the records span, once.
bool EnsureReferences(RecordStore& store, const GenOptions& o, int firstYear, int lastYear,
                      QString* error) {
    const std::optional<QList<LabReference>> all = LoadReferences(store, error);
    if (!all) return false;
    QSet<QString> known;
    for (const LabReference& r : *all) known.insert(r.number);
    for (int station = 1; station <= o.stations; ++station)
        for (int year = firstYear; year <= lastYear; ++year)
            if (!known.contains(GeneratedReference(station, year)) &&
                !AddReference(store, ReferenceOf(station, year), error))
                return false;
    return true;
}

struct Gen {
    RecordStore& store;
    const GenOptions& o;
    LabSnapshot lab;
    ProgramIdent program;
    QString methodologySha;
    std::mt19937 rng;
    std::normal_distribution<double> noise{0, 0.12};
    std::uniform_real_distribution<double> uniform{0, 1};
    QDateTime now = {};  // the store's clock

    bool Run(qint64 i, qint64 modules, const QDateTime& start);
};

bool Gen::Run(qint64 i, qint64 modules, const QDateTime& start) {
    const qint64 cycle = i / modules, m = i % modules;
    const bool byPlan = m % 3 != 0;  // two modules in three are 745t
    const double daySpan = 365.0 / double(modules);
    const QDateTime t = start.addDays(365 * cycle + qint64(double(m) * daySpan))
                            .addSecs(qint64(uniform(rng) * 10 * 3600));
    const int station = int(m % o.stations) + 1;
    const LabReference reference = ReferenceOf(station, t.date().year());

    Record r;
    r.module.model = byPlan ? "745t" : "748t";
    r.module.designation = byPlan ? "ЮКТ-7745t" : "ЮКТ-7748t";
    r.module.identText = byPlan ? "7745t v10" : "7748t v3";
    r.info.serial = GeneratedSerial(m);
    r.info.manufactureYear = QString::number(start.date().year() - int(m % 5));
    r.info.modification = r.module.designation;
    r.info.owner = QStringLiteral("ООО «Завод %1»").arg(m % 7 + 1);
    r.info.typeNumber = byPlan ? "12345-24" : "12346-24";
    r.info.instrumentName = QStringLiteral("Модуль ввода аналоговых сигналов");
    r.info.kind = cycle == 0 ? VerificationKind::Primary : VerificationKind::Periodic;
    r.info.methodology = byPlan ? kMethodology : QStringLiteral("МП 748-2019");
    r.info.operatorName = QStringLiteral("Поверитель %1").arg((m * 7 + cycle) % 20 + 1);
    r.info.conditions = {21.0 + uniform(rng) * 2, 99.5 + uniform(rng) * 2, "кПа",
                         45.0 + uniform(rng) * 20};
    r.lab = lab;
    r.program = program;
    r.means = {ReferenceUse{"current", reference.number, reference.kind, {}, reference.name,
                            reference.serial, reference.certificate, reference.validUntil}};
    MeansIntoLab(r.means, r.lab);
    if (byPlan) {
        r.methodologyId = kMethodology;
        r.methodologyRevision = 2;
        r.methodologySha256 = methodologySha;
        r.intervalMonths = 12;
        r.plan = Plan745();
        r.softwareFound = QStringLiteral("ЮКТ-7745t v10 (CRC 4F2A)");
    }
    now = t;
    store.SetStationName(QStringLiteral("station-%1").arg(station, 2, 10, QChar('0')));
    if (!store.Begin(r)) return false;

    // Each module has its own bias and drift per channel, in limits.
    std::mt19937 own(quint32(o.seed * 7919 + m));
    std::normal_distribution<double> biasOf(0, 0.25), driftOf(0.02, 0.03);
    double bias[5] = {}, drift[5] = {};
    for (int ch = 1; ch <= 4; ++ch) {
        bias[ch] = biasOf(own);
        drift[ch] = driftOf(own);
    }
    const QList<PlanEntry> items = byPlan ? r.plan : Plan748();
    const bool stopped = uniform(rng) < 0.02;
    const int measured = stopped ? int(items.size()) / 2 : int(items.size());
    QDateTime at = t;
    QList<RecordPoint> event;
    auto commit = [&] {
        const bool ok = event.isEmpty() || store.AddPoints(r.id, event);
        event.clear();
        return ok;
    };
    for (int k = 0; k < measured; ++k) {
        const PlanEntry& e = items[k];
        at = at.addSecs(40);
        RecordPoint p;
        p.measuredAt = at;
        p.operation = e.operation;
        p.item = e.item;
        p.attempt = byPlan ? 1 : 0;
        p.procedure = e.title;
        p.result = "pass";
        if (e.kind != "error") {
            p.manual = e.kind == "inspection";
            if (e.kind == "software") p.remark = r.softwareFound;
            event << p;
            if (!commit()) return false;
            continue;
        }
        const double limit = byPlan ? kLimit745 : kLimit748;
        const double ratio = bias[e.channelNo] + drift[e.channelNo] * double(cycle) + noise(rng);
        // The error as the methodology rounds it (0.01 %); 748t's in mA.
        const double error = std::round(ratio * limit * 1000) / 1000 + 0.0;  // never -0
        const double absolute = byPlan ? error / 100 * kSpan : error;
        p.channel = QString::number(e.channelNo);
        p.channelNo = e.channelNo;
        p.unit = "мА";
        p.nominal = p.reference = e.nominal;
        p.measured = e.nominal + absolute;
        p.readings = {p.measured - 0.0004, p.measured, p.measured + 0.0004};
        p.errorKind = byPlan ? "reduced" : "abs";
        p.error = error;
        p.limit = limit;
        p.result = std::abs(error) > limit ? "fail" : "pass";
        if (byPlan) {
            p.resolution = 0.01;
            p.spanLow = 0;
            p.spanHigh = kSpan;
            p.refRatio = 3.5;
            p.hasU = true;
            p.referenceError = 0.003 + 0.0001 * e.nominal;
            p.u = 2 * p.referenceError / std::sqrt(3.0) / kSpan * 100;
            // A reading that would not settle is measured again.
            if (uniform(rng) < 0.01) {
                RecordPoint lost = p;
                lost.result = "not measured";
                lost.reason = QStringLiteral("показания не установились за 20 с");
                lost.readings.clear();
                lost.measured = lost.error = 0;
                lost.hasU = false;
                event << lost;
                p.attempt = 2;
            }
        }
        event << p;
        // One step of the generator is one event: its channels commit together.
        const bool stepEnds = !byPlan || k + 1 == measured || items[k + 1].nominal != e.nominal;
        if (stepEnds && !commit()) return false;
    }
    if (!commit()) return false;
    const QDateTime finished = at.addSecs(120);
    const bool closed =
        stopped ? (byPlan ? store.Close(r.id, {}, {QStringLiteral("остановлено оператором")}, finished)
                          : store.Close(r.id, kInterrupted, {QStringLiteral("остановлено оператором")},
                                        finished))
                : store.Close(r.id, {}, {}, finished);
    if (!closed) return false;
    // Now and then the operator's entry is corrected a day later.
    if (uniform(rng) < 0.005) {
        now = finished.addDays(1);
        RecordInfo info = r.info;
        info.owner = QStringLiteral("АО «Завод %1»").arg(m % 7 + 1);
        if (!store.Correct(r.id, info, QStringLiteral("Поверитель 1"),
                           QStringLiteral("владелец указан неверно")))
            return false;
    }
    return true;
}

}  // namespace

QString GeneratedSerial(qint64 module) {
    return QStringLiteral("G-%1").arg(module, 6, 10, QChar('0'));
}

QString GeneratedReference(int station, int year) {
    return QStringLiteral("КИ-%1-%2").arg(station, 2, 10, QChar('0')).arg(year);
}

bool GenerateRecords(RecordStore& store, const GenOptions& o, QString* error) {
    const QDateTime start(QDate::currentDate().addYears(-o.years), QTime(6, 0), QTimeZone::utc());
    if (!EnsureSettings(store, error) ||
        !EnsureReferences(store, o, start.date().year(), QDate::currentDate().year(), error))
        return false;
    const std::optional<LabSettings> settings = LabSettings::Load(store);
    if (!settings) {
        *error = store.LastError();
        return false;
    }
    Gen gen{store,
            o,
            settings->Snapshot(),
            RunningProgram(),
            QString::fromLatin1(
                QCryptographicHash::hash(kMethodology.toUtf8(), QCryptographicHash::Sha256).toHex()),
            std::mt19937(o.seed)};
    // A bulk load on SQLite, for the generation only: a larger page cache
    // than a workstation's (the indexes by serial take records in no order,
    // and a laboratory's years outgrow the default), the statements' own
    // journals in memory and no sync at each batch's commit. The guards,
    // the chain and the WAL are the workstation's; a generation cut short
    // keeps its whole batches (--resume continues it).
    const bool sqlite = store.Database().driverName() == QLatin1String("QSQLITE");
    auto pragmas = [&store](const QStringList& list) {
        QSqlQuery q(store.Database());
        for (const QString& p : list)
            if (!q.exec("PRAGMA " + p)) return false;
        return true;
    };
    if (sqlite && !pragmas({"cache_size = -262144", "temp_store = MEMORY", "synchronous = OFF"})) {
        *error = QStringLiteral("Не удалось настроить базу данных для заполнения");
        return false;
    }
    store.SetClock([&gen] { return gen.now; });
    const qint64 modules = std::max<qint64>(1, o.records / o.years);
    qint64 held = 0;
    if (o.resume) {
        QSqlQuery q(store.Database());
        if (!q.exec(QStringLiteral("SELECT count(*) FROM record_ids")) || !q.next()) {
            *error = q.lastError().text();
            return false;
        }
        held = q.value(0).toLongLong();
        gen.rng.seed(o.seed + quint32(held));
    }
    bool ok = true;
    for (qint64 first = held; ok && first < o.records; first += kBatch) {
        const qint64 last = std::min(o.records, first + kBatch);
        ok = store.Batch([&] {
            for (qint64 i = first; i < last; ++i)
                if (!gen.Run(i, modules, start)) return false;
            return true;
        });
        if (ok && o.progress) o.progress(last, o.records);
    }
    store.SetClock({});
    store.SetStationName({});
    if (!ok) *error = store.LastError();
    if (sqlite && !pragmas({"synchronous = FULL", "temp_store = DEFAULT", "cache_size = -2000"}) &&
        ok) {
        *error = QStringLiteral("Не удалось вернуть базе данных настройки рабочего места");
        return false;
    }
    return ok;
}

}  // namespace yukt::records
