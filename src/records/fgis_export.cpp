#include "records/fgis_export.h"

#include <QBuffer>
#include <QTimeZone>
#include <QXmlStreamWriter>

#include "records/protocol_pdf.h"
#include "records/ru_format.h"

namespace yukt::records {
namespace {

QString Bool(bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); }

QDate VerificationDay(const Record& r) {
    const QDateTime t = r.finishedAt.isValid() ? r.finishedAt : r.startedAt;
    return t.toLocalTime().date();
}

QString ConditionText(const std::optional<double>& v, const QString& unit) {
    return v ? RuNumber(*v, 1) + " " + unit : QString();
}

void WriteNumbers(QXmlStreamWriter& x, const QString& element, const QStringList& numbers) {
    if (numbers.isEmpty()) return;
    x.writeStartElement(element);
    for (const QString& n : numbers) x.writeTextElement("number", n);
    x.writeEndElement();
}

void WriteResult(QXmlStreamWriter& x, const Record& r, bool attachProtocol) {
    const RecordInfo& i = r.info;
    const bool suitable = r.verdict == kSuitable;
    x.writeStartElement("result");
    x.writeStartElement("miInfo");
    x.writeStartElement("singleMI");
    x.writeTextElement("mitypeNumber", i.typeNumber);
    x.writeTextElement("manufactureNum", i.serial);
    if (!i.manufactureYear.isEmpty()) x.writeTextElement("manufactureYear", i.manufactureYear);
    x.writeTextElement("modification",
                       i.modification.isEmpty() ? r.module.designation : i.modification);
    x.writeEndElement();
    x.writeEndElement();
    x.writeTextElement("signCipher", r.lab.signCipher);
    x.writeTextElement("miOwner", i.owner);
    x.writeTextElement("vrfDate", FgisDate(VerificationDay(r)));
    if (suitable) x.writeTextElement("validDate", FgisDate(r.validUntil));
    x.writeTextElement("type", QString::number(static_cast<int>(i.kind)));
    x.writeTextElement("calibration", Bool(false));
    if (suitable) {
        x.writeStartElement("applicable");
        x.writeTextElement("signPass", Bool(false));
        x.writeTextElement("signMi", Bool(false));
        x.writeEndElement();
    } else {
        x.writeStartElement("inapplicable");
        x.writeTextElement("reasons", r.reasons.join("; "));
        x.writeEndElement();
    }
    x.writeTextElement("docTitle", i.methodology);
    x.writeTextElement("metrologist", i.operatorName);
    x.writeStartElement("means");
    WriteNumbers(x, "uve", r.lab.uveNumbers);
    WriteNumbers(x, "mieta", r.lab.mietaNumbers);
    if (!r.lab.misTypeNumber.isEmpty()) {
        x.writeStartElement("mis");
        x.writeStartElement("mi");
        x.writeTextElement("typeNum", r.lab.misTypeNumber);
        x.writeTextElement("manufactureNum", r.lab.misSerial);
        x.writeEndElement();
        x.writeEndElement();
    }
    x.writeEndElement();
    const Conditions& c = i.conditions;
    x.writeStartElement("conditions");
    x.writeTextElement("temperature", ConditionText(c.temperature, "°C"));
    x.writeTextElement("pressure", ConditionText(c.pressure, c.pressureUnit));
    x.writeTextElement("hymidity", ConditionText(c.humidity, "%"));
    x.writeEndElement();
    if (attachProtocol) {
        QBuffer pdf;
        pdf.open(QIODevice::WriteOnly);
        WriteProtocolPdf(r, &pdf);
        x.writeStartElement("protocol");
        x.writeAttribute("filename", QStringLiteral("protocol-%1.pdf").arg(r.id));
        x.writeAttribute("mimetype", "application/pdf");
        x.writeTextElement("content", QString::fromLatin1(pdf.data().toBase64()));
        x.writeEndElement();
    }
    x.writeEndElement();
}

}  // namespace

QString FgisDate(const QDate& localDate) {
    const QDateTime noon(localDate, QTime(12, 0), QTimeZone::systemTimeZone());
    const int offset = noon.offsetFromUtc() / 60;
    const QChar sign = offset < 0 ? '-' : '+';
    return localDate.toString(Qt::ISODate) + sign +
           QStringLiteral("%1:%2")
               .arg(qAbs(offset) / 60, 2, 10, QChar('0'))
               .arg(qAbs(offset) % 60, 2, 10, QChar('0'));
}

QStringList MissingForFgis(const Record& r) {
    QStringList missing;
    if (r.state != RecordState::Closed || (r.verdict != kSuitable && r.verdict != kUnsuitable))
        missing << QStringLiteral("поверка не завершена");
    if (r.info.typeNumber.trimmed().isEmpty())
        missing << QStringLiteral("нет регистрационного номера типа");
    if (r.info.serial.trimmed().isEmpty()) missing << QStringLiteral("нет заводского номера");
    if (r.lab.signCipher.trimmed().isEmpty()) missing << QStringLiteral("нет шифра клейма");
    if (r.info.operatorName.trimmed().isEmpty()) missing << QStringLiteral("нет поверителя");
    if (r.verdict == kSuitable && !r.validUntil.isValid())
        missing << QStringLiteral("нет срока действия");
    return missing;
}

FgisExportReport WriteFgisXml(const QList<Record>& records, QIODevice* out, bool attachProtocol) {
    FgisExportReport report;
    QXmlStreamWriter x(out);
    x.setAutoFormatting(true);
    x.writeStartDocument();
    x.writeDefaultNamespace(kFgisNamespace);
    x.writeStartElement(kFgisNamespace, "application");
    for (const Record& r : records) {
        const QStringList missing = MissingForFgis(r);
        if (!missing.isEmpty()) {
            report.problems << QStringLiteral("Запись № %1 (зав. № %2) не выгружена: %3")
                                   .arg(r.id)
                                   .arg(r.info.serial, missing.join("; "));
            continue;
        }
        WriteResult(x, r, attachProtocol);
        report.exported << r.id;
    }
    x.writeEndElement();
    x.writeEndDocument();
    return report;
}

}  // namespace yukt::records
