#include "records/lab_references.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <algorithm>

#include "records/record_chain.h"
#include "records/registry_rules.h"
#include "records/sql_references.h"
#include "verify/plan.h"
#include "verify/procedure.h"

namespace yukt::records {
namespace {

const QString kInUse = QStringLiteral("in use");
const QString kRetired = QStringLiteral("retired");
const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ");

QString IsoOrEmpty(const QDate& d) { return d.isValid() ? d.toString(Qt::ISODate) : QString(); }

QString LengthProblem(const char* field, const QString& value, int max) {
    const int n = CharCount(value.trimmed());
    if (n >= 1 && n <= max) return {};
    return QStringLiteral("%1: от 1 до %2 символов").arg(QLatin1String(field)).arg(max);
}

// Every quantity a methodology may measure, as it names it.
QStringList AllQuantities() {
    QStringList out;
    for (const char* w : {"current", "generator_current", "frequency", "period", "interval",
                          "count", "divider", "translator"})
        if (verify::QuantityFromWord(w)) out << QString::fromLatin1(w);
    return out;
}

bool Store(RecordStore& store, LabReference r, QString* error) {
    r.workstation = RecordStore::Workstation();
    r.changedAt = QDateTime::currentDateTimeUtc();
    if (store.AppendChained({ReferenceRow(r)})) return true;
    if (error) *error = store.LastError();
    return false;
}

std::optional<LabReference> Latest(RecordStore& store, const QString& number, QString* error) {
    const std::optional<QList<LabReference>> all = LoadReferences(store, error);
    if (!all) return std::nullopt;
    for (const LabReference& r : *all)
        if (r.number == number) return r;
    if (error) *error = QStringLiteral("--number: нет эталона %1 в реестре").arg(number);
    return std::nullopt;
}

}  // namespace

QString ReferenceDate(const QDate& d) {
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : kValidityUnknown;
}

QStringList ReferenceProblems(const LabReference& r) {
    QStringList out;
    if (r.kind != kUveKind && r.kind != kMietaKind && r.kind != kMisKind)
        out << QStringLiteral("--kind: mieta, uve или mis");
    // The number is what the registry file names (uve, mieta) or the
    // laboratory's own key of a measuring instrument: the same limit.
    if (const QString p = RegistryFieldProblem(RegistryField::MeansNumber, r.number.trimmed());
        !p.isEmpty() || r.number.trimmed().isEmpty())
        out << QStringLiteral("--number: ") + (p.isEmpty() ? QStringLiteral("не задан") : p);
    if (r.kind == kMisKind) {
        for (auto [field, value, name] :
             {std::tuple{RegistryField::MisTypeNumber, r.typeNumber, "--type-number"},
              std::tuple{RegistryField::MisSerial, r.serial, "--serial"}}) {
            const QString p = RegistryFieldProblem(field, value.trimmed());
            if (!p.isEmpty() || value.trimmed().isEmpty())
                out << QLatin1String(name) + QStringLiteral(": ") +
                           (p.isEmpty() ? QStringLiteral("не задан") : p);
        }
    } else if (const QString p = LengthProblem("--serial", r.serial, 128); !p.isEmpty()) {
        out << p;
    }
    if (const QString p = LengthProblem("--name", r.name, 128); !p.isEmpty()) out << p;
    if (const QString p = LengthProblem("--certificate", r.certificate, 128); !p.isEmpty())
        out << p;
    if (!r.validUntil.isValid() && r.note != kValidityUnknown)
        out << QStringLiteral("--valid-until: нужна дата ГГГГ-ММ-ДД");
    if (r.validUntil.isValid() && r.validFrom.isValid() && r.validUntil < r.validFrom)
        out << QStringLiteral("--valid-until: %1 раньше начала срока %2")
                   .arg(ReferenceDate(r.validUntil), ReferenceDate(r.validFrom));
    if (r.quantities.isEmpty()) out << QStringLiteral("--quantities: не заданы");
    const QStringList known = AllQuantities();
    for (const QString& q : r.quantities)
        if (!known.contains(q))
            out << QStringLiteral("--quantities: неизвестная величина «%1» (%2)")
                       .arg(q, known.join(", "));
    return out;
}

ChainedRow ReferenceRow(const LabReference& r) {
    return {sql::InsertReference(),
            kReferenceEntry,
            sql::ReferenceColumns(),
            {r.number, r.revision, r.kind, r.typeNumber, r.name, r.serial, r.certificate,
             IsoOrEmpty(r.validFrom), IsoOrEmpty(r.validUntil), r.quantities.join(','),
             r.retired ? kRetired : kInUse, r.note, r.workstation,
             r.changedAt.toUTC().toString(kTimeFormat)}};
}

ChainedRow MeansRow(qint64 recordId, const ReferenceUse& u) {
    return {sql::InsertMeans(),
            kMeansEntry,
            sql::MeansColumns(),
            {recordId, u.quantity, u.number, u.kind, u.typeNumber, u.name, u.serial, u.certificate,
             IsoOrEmpty(u.validUntil)}};
}

ReferenceUse MeansOf(const QSqlQuery& q) {
    auto s = [&q](const char* c) { return q.value(QString::fromLatin1(c)).toString(); };
    return {s("quantity"), s("number"),      s("kind"),
            s("type_number"), s("name"),     s("serial"),
            s("certificate"), QDate::fromString(s("valid_until"), Qt::ISODate)};
}

std::optional<QList<LabReference>> LoadReferences(RecordStore& store, QString* error) {
    QSqlQuery q(store.Database());
    q.setForwardOnly(true);
    if (!q.exec(sql::SelectReferences())) {
        if (error)
            *error = QStringLiteral("Не удалось прочитать реестр эталонов: ") + q.lastError().text();
        return std::nullopt;
    }
    QList<LabReference> out;
    auto s = [&q](const char* c) { return q.value(QString::fromLatin1(c)).toString(); };
    while (q.next()) {
        LabReference r;
        r.number = s("number");
        r.revision = q.value("revision").toInt();
        r.kind = s("kind");
        r.typeNumber = s("type_number");
        r.name = s("name");
        r.serial = s("serial");
        r.certificate = s("certificate");
        r.validFrom = QDate::fromString(s("valid_from"), Qt::ISODate);
        r.validUntil = QDate::fromString(s("valid_until"), Qt::ISODate);
        r.quantities = s("quantities").split(',', Qt::SkipEmptyParts);
        r.retired = s("state") == kRetired;
        r.note = s("note");
        r.workstation = s("workstation");
        r.changedAt = QDateTime::fromString(s("changed_utc"), Qt::ISODateWithMs);
        // Rows come by number, then revision: a later one replaces the earlier.
        if (!out.isEmpty() && out.last().number == r.number)
            out.last() = r;
        else
            out << r;
    }
    return out;
}

bool AddReference(RecordStore& store, LabReference r, QString* error) {
    r.number = r.number.trimmed();
    r.revision = 0;
    r.retired = false;
    if (const QStringList p = ReferenceProblems(r); !p.isEmpty()) {
        if (error) *error = p.join("; ");
        return false;
    }
    const std::optional<QList<LabReference>> all = LoadReferences(store, error);
    if (!all) return false;
    for (const LabReference& other : *all)
        if (other.number == r.number) {
            if (error)
                *error = QStringLiteral("--number: эталон %1 уже есть в реестре").arg(r.number);
            return false;
        }
    // Two stations adding one number at once collide on the primary key.
    return Store(store, r, error);
}

bool RenewReference(RecordStore& store, const QString& number, const QString& certificate,
                    const QDate& validUntil, const QDate& validFrom,
                    const QStringList& quantities, QString* error, const QString& name,
                    const QString& serial) {
    std::optional<LabReference> r = Latest(store, number, error);
    if (!r) return false;
    if (r->retired) {
        if (error) *error = QStringLiteral("--number: эталон %1 выведен из обращения").arg(number);
        return false;
    }
    ++r->revision;
    r->certificate = certificate;
    r->validUntil = validUntil;
    r->validFrom = validFrom;
    if (!quantities.isEmpty()) r->quantities = quantities;
    if (!name.trimmed().isEmpty()) r->name = name.trimmed();
    if (!serial.trimmed().isEmpty()) r->serial = serial.trimmed();
    r->note.clear();
    if (const QStringList p = ReferenceProblems(*r); !p.isEmpty()) {
        if (error) *error = p.join("; ");
        return false;
    }
    return Store(store, *r, error);
}

bool RetireReference(RecordStore& store, const QString& number, const QString& reason,
                     QString* error) {
    if (reason.trimmed().isEmpty()) {
        if (error) *error = QStringLiteral("--reason: нужна причина");
        return false;
    }
    std::optional<LabReference> r = Latest(store, number, error);
    if (!r) return false;
    if (r->retired) {
        if (error) *error = QStringLiteral("--number: эталон %1 уже выведен").arg(number);
        return false;
    }
    ++r->revision;
    r->retired = true;
    r->note = reason.trimmed();
    return Store(store, *r, error);
}

QList<LabReference> LegacyReferences(const QHash<QString, QString>& settings) {
    QList<LabReference> out;
    QStringList seen;
    const QString name = settings.value("calibrator").trimmed();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto add = [&](const QString& kind, const QString& number, const QString& type,
                   const QString& serial) {
        if (number.isEmpty() || seen.contains(number)) return;
        seen << number;
        LabReference r;
        r.kind = kind;
        r.number = number;
        r.typeNumber = type;
        r.serial = serial;
        r.name = name;
        r.quantities = AllQuantities();
        r.note = kValidityUnknown;
        r.workstation = RecordStore::Workstation();
        r.changedAt = now;
        out << r;
    };
    for (const auto& [key, kind] :
         {std::pair{"uve_numbers", kUveKind}, std::pair{"mieta_numbers", kMietaKind}})
        for (const QString& n : settings.value(key).split(';', Qt::SkipEmptyParts))
            add(kind, n.trimmed(), {}, {});
    const QString misType = settings.value("mis_type").trimmed();
    add(kMisKind, misType, misType, settings.value("mis_serial").trimmed());
    return out;
}

ReferenceGate CheckReferences(const QList<LabReference>& references,
                              const QStringList& quantities, const QDate& day) {
    ReferenceGate gate;
    QStringList warned;
    for (const QString& q : quantities) {
        QStringList why;
        bool any = false;
        for (const LabReference& r : references) {
            if (r.retired || !r.quantities.contains(q)) continue;
            any = true;
            if (!r.validUntil.isValid()) {
                why << QStringLiteral("эталон %1: %2").arg(r.number, kValidityUnknown);
            } else if (r.validUntil < day) {
                why << QStringLiteral("эталон %1 действителен до %2")
                           .arg(r.number, ReferenceDate(r.validUntil));
            } else if (r.validFrom.isValid() && r.validFrom > day) {
                why << QStringLiteral("эталон %1 действителен с %2")
                           .arg(r.number, ReferenceDate(r.validFrom));
            } else {
                gate.used << ReferenceUse{q,      r.number, r.kind,        r.typeNumber,
                                          r.name, r.serial, r.certificate, r.validUntil};
                const qint64 left = day.daysTo(r.validUntil);
                if (left <= kReferenceWarningDays && !warned.contains(r.number)) {
                    warned << r.number;
                    gate.warnings << QStringLiteral("эталон %1 действителен до %2 (осталось %3 дн.)")
                                         .arg(r.number, ReferenceDate(r.validUntil))
                                         .arg(left);
                }
            }
        }
        const bool supplied = std::any_of(gate.used.begin(), gate.used.end(),
                                          [&](const ReferenceUse& u) { return u.quantity == q; });
        if (supplied) continue;
        if (!any)
            gate.refusals << QStringLiteral("нет эталона для величины «%1» в реестре эталонов").arg(q);
        else
            gate.refusals << QStringLiteral("нет действующего эталона для величины «%1»: %2")
                                 .arg(q, why.join("; "));
    }
    return gate;
}

QList<LabReference> ReferencesDue(const QList<LabReference>& references, const QDate& day,
                                  int days) {
    QList<LabReference> out;
    for (const LabReference& r : references)
        if (!r.retired && r.validUntil.isValid() && r.validUntil >= day &&
            r.validUntil <= day.addDays(days))
            out << r;
    std::stable_sort(out.begin(), out.end(), [](const LabReference& a, const LabReference& b) {
        return a.validUntil < b.validUntil;
    });
    return out;
}

CalibratorName CalibratorOf(const QList<ReferenceUse>& means, const LabSnapshot& lab) {
    // The registry file takes one measuring instrument: the first.
    for (const ReferenceUse& u : means)
        if (u.kind == kMisKind)
            return {u.name.trimmed().isEmpty() ? lab.calibrator : u.name, u.typeNumber, u.serial};
    return {lab.calibrator, lab.misTypeNumber, lab.misSerial};
}

CalibratorName CalibratorOf(const Record& record) { return CalibratorOf(record.means, record.lab); }

void MeansIntoLab(const QList<ReferenceUse>& used, LabSnapshot& lab) {
    const bool register_ = std::any_of(used.begin(), used.end(),
                                       [](const ReferenceUse& u) { return u.kind == kMisKind; });
    const CalibratorName calibrator = CalibratorOf(used, register_ ? lab : LabSnapshot{});
    lab.uveNumbers.clear();
    lab.mietaNumbers.clear();
    if (register_) lab.calibrator = calibrator.name;
    lab.misTypeNumber = calibrator.typeNumber;
    lab.misSerial = calibrator.serial;
    for (const ReferenceUse& u : used) {
        if (u.kind == kUveKind && !lab.uveNumbers.contains(u.number)) lab.uveNumbers << u.number;
        if (u.kind == kMietaKind && !lab.mietaNumbers.contains(u.number))
            lab.mietaNumbers << u.number;
    }
}

}  // namespace yukt::records

namespace yukt::records {

QSqlQuery SuspectRecords(const QSqlDatabase& db, const QString& number, const QDate& from,
                         const QDate& to) {
    auto utc = [](const QDate& localDay) {
        return QDateTime(localDay, QTime(0, 0), QTimeZone::systemTimeZone())
            .toUTC()
            .toString(kTimeFormat);
    };
    QString text = QString(sql::kSuspectSelect) + sql::kJournalLatestOnly + sql::kFilterReference;
    QVariantList binds = {number};
    if (from.isValid()) {
        text += sql::kFilterFrom;
        binds << utc(from);
    }
    if (to.isValid()) {
        text += sql::kFilterTo;
        binds << utc(to.addDays(1));
    }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(text + sql::kSuspectOrder);
    for (const QVariant& b : binds) q.addBindValue(b);
    q.exec();
    return q;
}

QStringList PlanQuantities(const verify::Plan& plan) {
    QStringList out;
    for (const verify::PlanItem& item : plan.items) {
        if (item.kind != verify::OperationKind::Error) continue;
        const QString q = QString::fromLatin1(verify::QuantityWord(item.quantity));
        if (!out.contains(q)) out << q;
    }
    return out;
}

std::optional<ReferenceGate> GateRecord(RecordStore& store, const verify::Plan& plan,
                                        const QDate& day, Record& record, QString* error) {
    const std::optional<QList<LabReference>> all = LoadReferences(store, error);
    if (!all) return std::nullopt;
    ReferenceGate gate = CheckReferences(*all, PlanQuantities(plan), day);
    if (gate.Passed() && !gate.used.isEmpty()) {
        record.means = gate.used;
        MeansIntoLab(gate.used, record.lab);
    }
    return gate;
}

QStringList MissingBesideRegister(QStringList missing, const QList<LabReference>& references) {
    const bool inUse = std::any_of(references.begin(), references.end(),
                                   [](const LabReference& r) { return !r.retired; });
    if (inUse)
        missing.removeIf([](const QString& m) { return m.startsWith(QStringLiteral("Средства поверки")); });
    return missing;
}

}  // namespace yukt::records
