#include "records/protocol_pdf.h"

#include <QPageSize>
#include <QPdfWriter>

#include "records/lab_references.h"
#include "records/page_flow.h"
#include "records/protocol_results.h"
#include "records/ru_format.h"
#include "records/whole_file.h"

namespace yukt::records {
namespace {

FlowText Text(const QString& text, FlowText::Style style = FlowText::Body,
              Qt::Alignment align = Qt::AlignLeft) {
    return {text, style, align};
}

FlowText Heading(const QString& text) { return Text(text, FlowText::Heading); }

// A two-column table of names and values, without lines; a field without
// a value is left out.
FlowTable Fields(const QList<std::pair<QString, QString>>& fields) {
    FlowTable table;
    table.grid = false;
    for (const auto& [name, value] : fields)
        if (!value.trimmed().isEmpty()) table.rows << QStringList{name, value};
    return table;
}

// A value the registry or the reader needs even when it is missing.
QString OrUnstated(const QString& value) {
    return value.trimmed().isEmpty() ? QStringLiteral("не указано") : value;
}

// A heading and its fields, or nothing when no field has a value.
void Section(QList<FlowBlock>& out, const QString& heading,
             const QList<std::pair<QString, QString>>& fields) {
    const FlowTable table = Fields(fields);
    if (table.rows.isEmpty()) return;
    out << Heading(heading) << table;
}

QString Optional(const std::optional<double>& v, const QString& unit) {
    return v ? RuNumber(*v, 1) + "\u00A0" + unit : QString();
}

// The references the record was made with, as the register had them then.
FlowTable MeansTable(const QList<ReferenceUse>& means) {
    FlowTable table{{QStringLiteral("Величина"), QStringLiteral("Номер"), QStringLiteral("Вид"),
                     QStringLiteral("Наименование"), QStringLiteral("Зав. №"),
                     QStringLiteral("Свидетельство"), QStringLiteral("Действительно до")},
                    {},
                    true,
                    {}};
    for (const ReferenceUse& u : means)
        table.rows << QStringList{u.quantity,
                                  u.kind == QLatin1String("mis") && !u.typeNumber.isEmpty()
                                      ? u.number + " (" + u.typeNumber + ")"
                                      : u.number,
                                  u.kind,
                                  u.name,
                                  u.serial,
                                  u.certificate,
                                  RuDate(u.validUntil)};
    return table;
}

// The conclusion, certificate, reasons and signatures stay on one page.
QList<FlowBlock> Conclusion(const Record& r) {
    QList<FlowBlock> out{Heading(QStringLiteral("Заключение"))};
    if (r.verdict == kSuitable) {
        out << Text(QStringLiteral("Модуль пригоден к применению."))
            << Text(QStringLiteral("Свидетельство о поверке № %1, действительно до %2.")
                        .arg(r.certificateNumber, RuDate(r.validUntil)));
    } else if (r.verdict == kUnsuitable) {
        out << Text(QStringLiteral("Модуль непригоден к применению."));
        if (!r.certificateNumber.isEmpty())
            out << Text(QStringLiteral("Извещение о непригодности № ") + r.certificateNumber + ".");
    } else {
        out << Text(QStringLiteral("Поверка прервана, заключение не выдано."));
    }
    if (!r.reasons.isEmpty()) {
        out << Text(QStringLiteral("Причины:"));
        for (const QString& reason : r.reasons) out << Text("— " + reason);
    }
    for (FlowBlock& b : out) KeepWithNext(b);
    FlowTable signatures = Fields(
        {{"Поверитель", OrUnstated(r.info.operatorName)},
         {"Дата поверки", LocalDateTime(r.finishedAt.isValid() ? r.finishedAt : r.startedAt)},
         {"Подпись", "____________________"}});
    signatures.whole = true;
    out << signatures;
    return out;
}

QList<FlowBlock> ProtocolBlocks(const Record& r) {
    const RecordInfo& i = r.info;
    QList<FlowBlock> out;
    out << Text(r.lab.organisation, FlowText::Body, Qt::AlignHCenter)
        << Text(ProtocolTitle(r), FlowText::Title, Qt::AlignHCenter);
    if (r.revision.number > 0)
        out << Text(QStringLiteral("Редакция %1 от %2, внёс %3, причина: %4")
                        .arg(r.revision.number)
                        .arg(LocalDateTime(r.revision.at), r.revision.author, r.revision.reason),
                    FlowText::Body, Qt::AlignHCenter);

    QList<std::pair<QString, QString>> instrument = {
        {"Наименование", i.instrumentName},
        {"Тип", r.module.designation},
        {"Модель", r.module.model},
        {"Модификация", i.modification},
        {"Заводской номер", OrUnstated(i.serial)},
        {"Год выпуска", OrUnstated(i.manufactureYear)},
        {"Владелец", OrUnstated(i.owner)},
        {"Регистрационный номер типа", OrUnstated(i.typeNumber)}};
    // A plan's software check prints the identification with its result.
    if (!HasSoftwareItem(r)) {
        const QString found = SoftwareIdentification(r);
        instrument << (found.isEmpty() ? std::pair{QString("Идентификация модуля"), r.module.identText}
                                       : std::pair{QString("Идентификация ПО"), found});
    }
    const bool flash = !r.module.flashBefore.isEmpty() || !r.module.flashAfter.isEmpty();
    instrument << std::pair{QString("Адрес FLASH"),
                            flash ? QString::number(r.module.flashAddress) : QString()}
               << std::pair{QString("Коэффициенты до поверки"), r.module.flashBefore}
               << std::pair{QString("Коэффициенты после поверки"), r.module.flashAfter};
    Section(out, QStringLiteral("Средство измерений"), instrument);

    QList<std::pair<QString, QString>> methodology = {{"Документ", i.methodology}};
    if (!r.methodologyId.isEmpty())
        methodology << std::pair{QString("Методика"), QStringLiteral("%1, редакция %2")
                                                          .arg(r.methodologyId)
                                                          .arg(r.methodologyRevision)}
                    << std::pair{QString("Файл методики (SHA-256)"), r.methodologySha256};
    methodology << std::pair{QString("Вид поверки"), KindText(static_cast<int>(i.kind))};
    Section(out, QStringLiteral("Методика поверки"), methodology);

    const CalibratorName calibrator = CalibratorOf(r);
    QStringList mis;
    for (const QString& part : {calibrator.typeNumber, calibrator.serial})
        if (!part.isEmpty()) mis << part;
    Section(out, QStringLiteral("Средства поверки"),
            {{"Калибратор", calibrator.name},
             {"Эталоны (рег. номера)", (r.lab.uveNumbers + r.lab.mietaNumbers).join(", ")},
             {"Средство измерений (тип, зав. номер)", mis.join(", ")}});
    if (!r.means.isEmpty()) out << MeansTable(r.means);

    const Conditions& c = i.conditions;
    Section(out, QStringLiteral("Условия поверки"),
            {{"Температура", Optional(c.temperature, "°C")},
             {"Давление", Optional(c.pressure, c.pressureUnit)},
             {"Относительная влажность", Optional(c.humidity, "%")}});

    // The last results keep with the conclusion, so that it never stands
    // alone on the last page.
    QList<FlowBlock> results = ResultBlocks(r);
    for (int k = results.size() - 1; k >= 0; --k) {
        KeepWithNext(results[k]);
        const FlowText* t = std::get_if<FlowText>(&results[k]);
        if (!t || t->style != FlowText::Small) break;
    }
    out << Heading(QStringLiteral("Результаты поверки")) << results << Conclusion(r);
    if (!r.registry.vriId.isEmpty())  // the legal proof of the verification
        out << Text(QStringLiteral("Номер записи в ФГИС «Аршин»: %1, номер документа %2")
                        .arg(r.registry.vriId, r.registry.docnum),
                    FlowText::Body);
    out << Text(QStringLiteral("Программа: %1, версия %2, контрольная сумма (SHA-256): %3")
                    .arg(r.program.name, r.program.version, r.program.checksum),
                FlowText::Small);
    if (!r.chainHash.isEmpty())  // the record's place in the store's tamper-evident chain
        out << Text(QStringLiteral("Контрольная сумма записи в базе (SHA-256): ") + r.chainHash,
                    FlowText::Small);
    return out;
}

}  // namespace

QString ProtocolTitle(const Record& r) { return QStringLiteral("Протокол поверки № %1").arg(r.id); }

bool WriteProtocolPdf(const Record& record, const QString& path, QString* error) {
    WholeFile file(path);
    if (!file.Begin(error)) return false;
    WriteProtocolPdf(record, &file);
    return file.Commit(error);
}

void WriteProtocolPdf(const Record& record, QIODevice* out) {
    QPdfWriter writer(out);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 15, 10, 12), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(ProtocolTitle(record));
    writer.setCreator(record.program.name);
    RenderFlow(writer, ProtocolBlocks(record), ProtocolTitle(record));
}

}  // namespace yukt::records
