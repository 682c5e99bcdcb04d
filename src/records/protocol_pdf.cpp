#include "records/protocol_pdf.h"

#include <QFile>
#include <QFont>
#include <QMap>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include "records/ru_format.h"

namespace yukt::records {
namespace {

QString E(const QString& text) { return text.toHtmlEscaped(); }

QString Row(const QString& name, const QString& value) {
    return "<tr><td width=\"40%\">" + E(name) + "</td><td>" + E(value) + "</td></tr>";
}

QString Optional(const std::optional<double>& v, const QString& unit) {
    return v ? RuNumber(*v, 1) + " " + unit : QStringLiteral("—");
}

QString ErrorUnit(const RecordPoint& p) {
    return p.errorKind == "abs" ? p.unit : QStringLiteral("%");
}

QString PointVerdict(const RecordPoint& p) {
    if (p.result == "pass") return QStringLiteral("соответствует");
    if (p.result == "fail") return QStringLiteral("не соответствует");
    return QStringLiteral("не измерено") + (p.reason.isEmpty() ? QString() : ": " + p.reason);
}

QString ResultsTables(const Record& r) {
    // One table per channel, in the order the channels were first measured.
    QStringList channels;
    QMap<QString, QList<const RecordPoint*>> byChannel;
    for (const RecordPoint& p : r.points) {
        if (!byChannel.contains(p.channel)) channels << p.channel;
        byChannel[p.channel] << &p;
    }
    QString html;
    for (const QString& channel : channels) {
        html += "<p><b>" +
                E(QStringLiteral("Канал: ") + (channel.isEmpty() ? QStringLiteral("—") : channel)) +
                "</b></p>";
        html +=
            "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\"><tr>"
            "<th>№</th><th>Задано</th><th>Эталон</th><th>Измерено</th>"
            "<th>Погрешность</th><th>Допуск</th><th>Вывод</th></tr>";
        for (const RecordPoint* p : byChannel[channel]) {
            const bool measured = p->result == "pass" || p->result == "fail";
            const QString unit = p->unit.isEmpty() ? QString() : " " + p->unit;
            html += "<tr><td>" + QString::number(p->seq) + (p->manual ? "*" : "") + "</td><td>" +
                    E(RuNumber(p->nominal) + unit) + "</td><td>" +
                    E(RuNumber(p->reference) + unit) + "</td><td>" +
                    (measured ? E(RuNumber(p->measured) + unit) : "—") + "</td><td>" +
                    (measured ? E(RuNumber(p->error) + " " + ErrorUnit(*p)) : "—") + "</td><td>±" +
                    E(RuNumber(p->limit) + " " + ErrorUnit(*p)) + "</td><td>" +
                    E(PointVerdict(*p)) + "</td></tr>";
        }
        html += "</table>";
    }
    if (r.points.isEmpty())
        html += "<p>" + E(QStringLiteral("Точки не измерены.")) + "</p>";
    else
        html += "<p><small>" + E(QStringLiteral("* — точка, записанная вручную")) + "</small></p>";
    return html;
}

QString Conclusion(const Record& r) {
    QString html = "<h3>" + E(QStringLiteral("Заключение")) + "</h3>";
    if (r.verdict == kSuitable) {
        html += "<p>" + E(QStringLiteral("Заключение: пригоден к применению.")) + "</p>";
        html +=
            "<p>" + E(QStringLiteral("Свидетельство о поверке № ") + r.certificateNumber) + "</p>";
        html += "<p>" + E(QStringLiteral("Действительно до ") + RuDate(r.validUntil)) + "</p>";
    } else if (r.verdict == kUnsuitable) {
        html += "<p>" + E(QStringLiteral("Заключение: непригоден к применению.")) + "</p>";
        html += "<p>" + E(QStringLiteral("Извещение о непригодности № ") + r.certificateNumber) +
                "</p>";
        html += "<p>" + E(QStringLiteral("Причины: ") + r.reasons.join("; ")) + "</p>";
    } else {
        html += "<p>" + E(QStringLiteral("Поверка прервана, заключение не выдано.")) + "</p>";
    }
    return html;
}

}  // namespace

QString ProtocolTitle(const Record& r) { return QStringLiteral("Протокол поверки № %1").arg(r.id); }

QString ProtocolHtml(const Record& r) {
    const RecordInfo& i = r.info;
    QString html = "<html><body>";
    html += "<p align=\"center\">" + E(r.lab.organisation) + "</p>";
    html += "<h2 align=\"center\">" + E(ProtocolTitle(r)) + "</h2>";
    if (r.revision.number > 0)
        html += "<p align=\"center\">" +
                E(QStringLiteral("Редакция %1 от %2, внёс %3, причина: %4")
                      .arg(r.revision.number)
                      .arg(LocalDateTime(r.revision.at), r.revision.author, r.revision.reason)) +
                "</p>";

    html += "<h3>" + E(QStringLiteral("Средство измерений")) + "</h3><table width=\"100%\">";
    html += Row("Наименование", i.instrumentName) + Row("Тип", r.module.designation) +
            Row("Модель", r.module.model) + Row("Модификация", i.modification) +
            Row("Заводской номер", i.serial) + Row("Год выпуска", i.manufactureYear) +
            Row("Владелец", i.owner) + Row("Регистрационный номер типа", i.typeNumber) +
            Row("Идентификация модуля", r.module.identText) +
            Row("Адрес FLASH", QString::number(r.module.flashAddress)) +
            Row("Коэффициенты до поверки", r.module.flashBefore) +
            Row("Коэффициенты после поверки", r.module.flashAfter) + "</table>";

    html += "<h3>" + E(QStringLiteral("Методика поверки")) + "</h3><table width=\"100%\">" +
            Row("Документ", i.methodology) +
            Row("Вид поверки", KindText(static_cast<int>(i.kind))) + "</table>";

    html += "<h3>" + E(QStringLiteral("Средства поверки")) + "</h3><table width=\"100%\">" +
            Row("Калибратор", r.lab.calibrator) +
            Row("Эталоны (рег. номера)", (r.lab.uveNumbers + r.lab.mietaNumbers).join(", ")) +
            Row("Средство измерений (тип, зав. номер)",
                (r.lab.misTypeNumber.isEmpty() && r.lab.misSerial.isEmpty())
                    ? QString()
                    : r.lab.misTypeNumber + ", " + r.lab.misSerial) +
            "</table>";

    const Conditions& c = i.conditions;
    html += "<h3>" + E(QStringLiteral("Условия поверки")) + "</h3><table width=\"100%\">" +
            Row("Температура", Optional(c.temperature, "°C")) +
            Row("Давление", Optional(c.pressure, c.pressureUnit)) +
            Row("Относительная влажность", Optional(c.humidity, "%")) + "</table>";

    html += "<h3>" + E(QStringLiteral("Результаты поверки")) + "</h3>" + ResultsTables(r);
    html += Conclusion(r);

    html +=
        "<table width=\"100%\">" + Row("Поверитель", i.operatorName) +
        Row("Дата поверки", LocalDateTime(r.finishedAt.isValid() ? r.finishedAt : r.startedAt)) +
        Row("Подпись", "____________________") + "</table>";

    html += "<p><small>" +
            E(QStringLiteral("Программа: %1, версия %2, контрольная сумма (SHA-256): %3")
                  .arg(r.program.name, r.program.version, r.program.checksum)) +
            "</small></p>";
    return html + "</body></html>";
}

bool WriteProtocolPdf(const Record& record, const QString& path, QString* error) {
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("Не удалось записать ") + path + ": " + probe.errorString();
        return false;
    }
    WriteProtocolPdf(record, &probe);
    return true;
}

void WriteProtocolPdf(const Record& record, QIODevice* out) {
    QPdfWriter writer(out);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 15, 10, 15), QPageLayout::Millimeter);
    writer.setTitle(ProtocolTitle(record));
    writer.setCreator(record.program.name);
    QTextDocument doc;
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(10);
    doc.setDefaultFont(font);
    doc.setHtml(ProtocolHtml(record));
    doc.print(&writer);
}

}  // namespace yukt::records
