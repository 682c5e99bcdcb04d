#include "records/protocol_results.h"

#include <QMap>
#include <QSet>
#include <algorithm>

#include "records/error_chart.h"
#include "records/ru_format.h"
#include "verify/plan.h"
#include "verify/uncertainty.h"

namespace yukt::records {
namespace {

const QString kNbsp = QStringLiteral("\u00A0");  // keeps a number with its unit
const QStringList kColumns = {"№",           "Задано", "Эталон", "Измерено",
                              "Погрешность", "Допуск", "Вывод"};
const QList<Qt::Alignment> kAlign = {Qt::AlignRight, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight,
                                     Qt::AlignRight, Qt::AlignRight, Qt::AlignLeft};

bool Measured(const RecordPoint& p) { return p.result == "pass" || p.result == "fail"; }

QString WithUnit(const QString& number, const QString& unit) {
    return unit.isEmpty() ? number : number + kNbsp + unit;
}

FlowText Text(const QString& text, FlowText::Style style = FlowText::Body) {
    return {text, style, Qt::AlignLeft};
}

// What the point owes to the reference: U (k = 2) and the reference ratio
// at the point, three significant digits.
QString Margins(const RecordPoint& p, const QString& unit) {
    if (!p.hasU) return {};
    auto shown = [](double v) { return QString::number(v, 'g', 3).replace('.', ','); };
    return QStringLiteral(" (U = %1, отношение %2)")
        .arg(WithUnit(shown(p.u), unit), shown(p.refRatio));
}

// A pass close to the limit, or a fail by a guard's margin alone (the error
// itself within the limit): the protocol says which, as the run did.
QString Decision(const RecordPoint& p) {
    if (p.marginal) return QStringLiteral(", ") + QString::fromUtf8(verify::kMarginalText);
    const QString guard = QString::fromUtf8(verify::kGuardRefusal);
    if (p.result == "fail" && p.reason.startsWith(guard))
        return " (" + p.reason.mid(guard.size()) + ")";
    return {};
}

// One row of a results table; the kind in words joins the limit only when
// the table's points are not all of one kind.
QStringList PointRow(const QString& number, const RecordPoint& p, bool kindInRow) {
    const PointDecimals d = DecimalsFor(p);
    const QString unit = ErrorUnit(p);
    QString limit = WithUnit("±" + RuNumber(LimitAt(p), d.error), unit);
    if (kindInRow) limit += " (" + ErrorKindWords(p) + ")";
    return {number,
            WithUnit(RuNumber(p.nominal, d.value), p.unit),
            WithUnit(RuNumber(p.reference, d.value), p.unit),
            Measured(p) ? WithUnit(RuNumber(p.measured, d.value), p.unit) : QString(),
            Measured(p) ? WithUnit(RuNumber(p.error, d.error), unit) + Margins(p, unit) : QString(),
            limit,
            PointVerdictText(p) + Decision(p)};
}

QStringList Distinct(const QList<const RecordPoint*>& points, QString (*of)(const RecordPoint&)) {
    QStringList out;
    for (const RecordPoint* p : points)
        if (!out.contains(of(*p))) out << of(*p);
    return out;
}

// "Погрешность: приведённая к диапазону 4–20 мА" when the points share
// their kind; empty when they do not (each row then says it).
QString KindCaption(const QList<const RecordPoint*>& points) {
    const QStringList kinds = Distinct(points, ErrorKindWords);
    return kinds.size() == 1 ? QStringLiteral("Погрешность: ") + kinds[0] : QString();
}

// Points by their channel text, a table per channel in the order the
// channels were first measured.
void PointsByChannel(const QList<const RecordPoint*>& all, QString (*title)(const QString&),
                     QList<FlowBlock>& out) {
    QStringList channels;
    QMap<QString, QList<const RecordPoint*>> byChannel;
    for (const RecordPoint* p : all) {
        if (!byChannel.contains(p->channel)) channels << p->channel;
        byChannel[p->channel] << p;
    }
    for (const QString& channel : channels) {
        const QList<const RecordPoint*>& points = byChannel[channel];
        out << Text(title(channel), FlowText::Subheading);
        const QString caption = KindCaption(points);
        if (!caption.isEmpty()) {
            FlowText text = Text(caption);
            text.keepWithNext = true;
            out << text;
        }
        FlowTable table{kColumns, {}, true, kAlign};
        for (const RecordPoint* p : points)
            table.rows << PointRow(QString::number(p->seq) + (p->manual ? "*" : ""), *p,
                                   caption.isEmpty());
        out << table;
    }
    if (!all.isEmpty())
        out << Text(QStringLiteral("* — точка, записанная вручную"), FlowText::Small);
}

// Records of a single procedure print the channel as they stored it.
void SingleProcedure(const Record& r, QList<FlowBlock>& out) {
    QList<const RecordPoint*> all;
    for (const RecordPoint& p : r.points) all << &p;
    PointsByChannel(
        all,
        [](const QString& channel) {
            return channel.isEmpty() ? QStringLiteral("Канал не указан")
                                     : QStringLiteral("Канал: ") + channel;
        },
        out);
}

// The latest attempt at each plan item, and the ones it superseded.
struct Attempts {
    QMap<int, const RecordPoint*> latest;
    QMap<int, QList<const RecordPoint*>> earlier;
};

// The run's own rule: a stopped or cancelled attempt never takes the place
// of a measured one; it is listed with the superseded ones.
Attempts AttemptsOf(const Record& r) {
    Attempts a;
    for (const RecordPoint& p : r.points) {
        if (p.item <= 0) continue;
        const RecordPoint*& current = a.latest[p.item];
        if (!current || verify::Supersedes(AttemptOf(p), AttemptOf(*current))) {
            if (current) a.earlier[p.item] << current;
            current = &p;
        } else {
            a.earlier[p.item] << &p;
        }
    }
    for (QList<const RecordPoint*>& earlier : a.earlier)
        std::sort(earlier.begin(), earlier.end(),
                  [](const RecordPoint* x, const RecordPoint* y) { return x->attempt < y->attempt; });
    return a;
}

// The attempts that no longer count, one compact table per operation.
// A column no row has a value in (the times of attempts recorded without
// them) is left out.
void Superseded(FlowTable table, QList<FlowBlock>& out) {
    if (table.rows.isEmpty()) return;
    for (int c = table.header.size() - 1; c >= 0; --c) {
        bool empty = true;
        for (const QStringList& row : table.rows) empty = empty && row.value(c).isEmpty();
        if (!empty) continue;
        table.header.removeAt(c);
        for (QStringList& row : table.rows) row.removeAt(c);
    }
    FlowText caption = Text(QStringLiteral("Заменённые попытки"), FlowText::Small);
    caption.keepWithNext = true;
    out << caption << table;
}

QString AnswerText(const RecordPoint* p) {
    if (!p) return QStringLiteral("не выполнено");
    if (p->result == "pass") return QStringLiteral("соответствует");
    if (p->result == "fail") return QStringLiteral("не соответствует");
    return QStringLiteral("не выполнено") + (p->reason.isEmpty() ? QString() : ": " + p->reason);
}

// The identification printed once, with the versions accepted and the
// result; without one the check was not done, whatever was stored.
void SoftwareOperation(const Record& r, const PlanEntry& e, const RecordPoint* p,
                       QList<FlowBlock>& out) {
    const QString found = SoftwareIdentification(r);
    out << Text(QStringLiteral("Идентификация ПО: ") +
                (found.isEmpty() ? QStringLiteral("не получена") : found));
    if (!e.acceptedVersions.isEmpty())
        out << Text(QStringLiteral("Допускаемые версии ПО: ") + e.acceptedVersions.join(", "));
    out << Text(QStringLiteral("Результат: ") +
                (found.isEmpty() ? QStringLiteral("не выполнена") : AnswerText(p)));
}

void ModuleOperation(const Record& r, const PlanEntry& e, const Attempts& a,
                     QList<FlowBlock>& out) {
    const RecordPoint* p = a.latest.value(e.item);
    if (e.kind == "software") {
        SoftwareOperation(r, e, p, out);
    } else {
        QString text = QStringLiteral("Результат: ") + AnswerText(p);
        if (p && !p->remark.isEmpty()) text += QStringLiteral(". Примечание: ") + p->remark;
        out << Text(text);
    }
    FlowTable superseded{{"Попытка", "Время", "Вывод"}, {}, true, {}};
    for (const RecordPoint* old : a.earlier.value(e.item)) {
        QString answer = AnswerText(old);
        if (!old->remark.isEmpty()) answer += QStringLiteral(". Примечание: ") + old->remark;
        superseded.rows << QStringList{QString::number(old->attempt), LocalDateTime(old->measuredAt),
                                       answer};
    }
    Superseded(superseded, out);
}

QString ChannelTitle(int channel) {
    return channel > 0 ? QStringLiteral("Канал %1").arg(channel) : QStringLiteral("Модуль в целом");
}

void ErrorOperation(const QList<const PlanEntry*>& items, const Attempts& a,
                    QList<FlowBlock>& out) {
    QList<int> channels;
    QMap<int, QList<const PlanEntry*>> byChannel;
    QList<const RecordPoint*> all;
    for (const PlanEntry* e : items) {
        if (!byChannel.contains(e->channelNo)) channels << e->channelNo;
        byChannel[e->channelNo] << e;
        if (const RecordPoint* p = a.latest.value(e->item)) all << p;
    }
    const QString caption = KindCaption(all);
    double ratio = 0;
    for (const RecordPoint* p : all)
        if (p->refRatio > 0 && (ratio == 0 || p->refRatio < ratio)) ratio = p->refRatio;
    QStringList notes;
    if (!caption.isEmpty()) notes << caption;
    if (ratio > 0)
        notes << QStringLiteral("отношение допускаемых погрешностей модуля и эталона не менее ") +
                     RuNumber(ratio, 1);
    if (!notes.isEmpty()) {
        FlowText caption = Text(notes.join("; "));
        caption.keepWithNext = true;
        out << caption;
    }

    ErrorChart chart;
    QMap<double, double> limits;
    FlowTable superseded{{"№", "Канал", "Попытка", "Время", "Погрешность", "Вывод"}, {}, true, {}};
    for (int channel : channels) {
        out << Text(ChannelTitle(channel), FlowText::Subheading);
        FlowTable table{kColumns, {}, true, kAlign};
        ChartSeries series{ChannelTitle(channel), {}};
        for (const PlanEntry* e : byChannel[channel]) {
            const RecordPoint* p = a.latest.value(e->item);
            if (!p) {
                table.rows << QStringList{QString::number(e->item),
                                          WithUnit(RuShort(e->nominal), e->unit),
                                          QString(),
                                          QString(),
                                          QString(),
                                          QString(),
                                          QStringLiteral("не измерено")};
                continue;
            }
            table.rows << PointRow(QString::number(e->item), *p, caption.isEmpty());
            if (Measured(*p)) series.points << QPointF(p->nominal, p->error);
            limits[p->nominal] = qMax(limits.value(p->nominal), LimitAt(*p));
            for (const RecordPoint* old : a.earlier.value(e->item)) {
                const PointDecimals d = DecimalsFor(*old);
                superseded.rows << QStringList{
                    QString::number(e->item), QString::number(channel),
                    QString::number(old->attempt), LocalDateTime(old->measuredAt),
                    Measured(*old) ? WithUnit(RuNumber(old->error, d.error), ErrorUnit(*old))
                                   : QString(),
                    PointVerdictText(*old)};
            }
        }
        out << table;
        if (!series.points.isEmpty()) chart.series << series;
        if (all.size() && chart.xTitle.isEmpty()) {
            chart.xTitle = QStringLiteral("задано, ") + all[0]->unit;
            chart.yTitle = QStringLiteral("погрешность, ") + ErrorUnit(*all[0]);
        }
    }
    Superseded(superseded, out);
    for (auto it = limits.begin(); it != limits.end(); ++it)
        chart.limit << QPointF(it.key(), it.value());
    if (chart.series.isEmpty()) return;
    out << Text(QStringLiteral("График погрешности"), FlowText::Subheading);
    out << FlowDrawing{
        70, [chart](QPainter& p, const QRectF& area) { DrawErrorChart(p, area, chart); }};
}

void ByMethodology(const Record& r, QList<FlowBlock>& out) {
    const Attempts a = AttemptsOf(r);
    QStringList operations;
    QMap<QString, QList<const PlanEntry*>> byOperation;
    for (const PlanEntry& e : r.plan) {
        if (!byOperation.contains(e.operation)) operations << e.operation;
        byOperation[e.operation] << &e;
    }
    for (const QString& id : operations) {
        const QList<const PlanEntry*>& items = byOperation[id];
        out << Text(id + " " + items[0]->title, FlowText::Subheading);
        if (items[0]->kind == "error")
            ErrorOperation(items, a, out);
        else
            for (const PlanEntry* e : items) ModuleOperation(r, *e, a, out);
    }
    // Points the operator recorded between the plan's points, or without a
    // tolerance: kept in the protocol, outside the conclusion.
    QList<const RecordPoint*> extra;
    for (const RecordPoint& p : r.points)
        if (p.item <= 0) extra << &p;
    if (extra.isEmpty()) return;
    out << Text(QStringLiteral("Дополнительные измерения (в заключение не входят)"),
                FlowText::Subheading);
    PointsByChannel(
        extra,
        [](const QString& channel) {
            return channel.isEmpty() ? QStringLiteral("Канал не указан")
                                     : QStringLiteral("Канал ") + channel;
        },
        out);
}

}  // namespace

QString PointVerdictText(const RecordPoint& p) {
    if (p.result == "pass") return QStringLiteral("соответствует");
    if (p.result == "fail") return QStringLiteral("не соответствует");
    return QStringLiteral("не измерено") + (p.reason.isEmpty() ? QString() : ": " + p.reason);
}

QString SoftwareIdentification(const Record& r) {
    if (!r.softwareFound.isEmpty()) return r.softwareFound;
    // Records made before the workstation kept it: the software attempt's
    // remark is the identification the run found.
    const Attempts a = AttemptsOf(r);
    for (const PlanEntry& e : r.plan)
        if (e.kind == "software")
            if (const RecordPoint* p = a.latest.value(e.item); p && Measured(*p)) return p->remark;
    return {};
}

bool HasSoftwareItem(const Record& r) {
    for (const PlanEntry& e : r.plan)
        if (e.kind == "software") return true;
    return false;
}

QList<FlowBlock> ResultBlocks(const Record& r) {
    QList<FlowBlock> out;
    if (!r.plan.isEmpty())
        ByMethodology(r, out);
    else if (r.points.isEmpty())
        out << Text(QStringLiteral("Точки не измерены."));
    else
        SingleProcedure(r, out);
    return out;
}

}  // namespace yukt::records
