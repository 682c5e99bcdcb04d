#include "records/fgis_export.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QTimeZone>
#include <memory>
#include <vector>

#include "records/lab_references.h"
#include "records/protocol_pdf.h"
#include "records/registry_rules.h"
#include "records/whole_file.h"
#include "records/xml_text.h"

namespace yukt::records {
namespace {

QString Bool(bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); }

void WriteNumbers(QXmlStreamWriter& x, const QString& element, const QStringList& numbers) {
    if (numbers.isEmpty()) return;
    x.writeStartElement(element);
    for (const QString& n : numbers) x.writeTextElement("number", n);
    x.writeEndElement();
}

}  // namespace

QDate VerificationDay(const Record& r) {
    const QDateTime t = r.finishedAt.isValid() ? r.finishedAt : r.startedAt;
    return t.toLocalTime().date();
}

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
    if (r.verdict == kSuitable && !r.validUntil.isValid())
        missing << QStringLiteral("validDate: нет срока действия");
    // A character XML cannot carry would leave the file unreadable: the
    // record stays out, the field named.
    const QList<std::pair<const char*, QString>> texts = {
        {"mitypeNumber", r.info.typeNumber},
        {"manufactureNum", r.info.serial},
        {"manufactureYear", r.info.manufactureYear},
        {"modification", RegistryModification(r)},
        {"signCipher", r.lab.signCipher},
        {"miOwner", r.info.owner},
        {"reasons", RegistryReasons(r.reasons)},
        {"docTitle", RegistryDocTitle(r)},
        {"metrologist", r.info.operatorName},
        {"uve", r.lab.uveNumbers.join(' ')},
        {"mieta", r.lab.mietaNumbers.join(' ')},
        {"typeNum", CalibratorOf(r).typeNumber},
        {"manufactureNum (mis)", CalibratorOf(r).serial},
        {"pressure", r.info.conditions.pressureUnit},
    };
    for (const auto& [field, text] : texts)
        if (const QString problem = XmlIllegalProblem(QString::fromLatin1(field), text);
            !problem.isEmpty())
            missing << problem;
    return missing + RegistryProblems(r);
}

QString LeftOutLine(const Record& r, const QStringList& missing) {
    return QStringLiteral("Запись № %1 (зав. № %2) не выгружена: %3")
        .arg(r.id)
        .arg(r.info.serial, missing.join("; "));
}

FgisDocument::FgisDocument(QIODevice* out) : m_xml(out) {
    m_xml.setAutoFormatting(true);
    m_xml.writeStartDocument();
    m_xml.writeDefaultNamespace(kFgisNamespace);
    m_xml.writeStartElement(kFgisNamespace, "application");
}

void FgisDocument::Finish() {
    m_xml.writeEndElement();
    m_xml.writeEndDocument();
}

void FgisDocument::Add(const Record& r, bool attachProtocol) {
    QXmlStreamWriter& x = m_xml;
    const RecordInfo& i = r.info;
    const bool suitable = r.verdict == kSuitable;
    x.writeStartElement("result");
    x.writeStartElement("miInfo");
    x.writeStartElement("singleMI");
    x.writeTextElement("mitypeNumber", i.typeNumber);
    x.writeTextElement("manufactureNum", i.serial);
    if (!i.manufactureYear.isEmpty()) x.writeTextElement("manufactureYear", i.manufactureYear);
    x.writeTextElement("modification", RegistryModification(r));
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
        x.writeTextElement("reasons", RegistryReasons(r.reasons));
        x.writeEndElement();
    }
    x.writeTextElement("docTitle", RegistryDocTitle(r));
    x.writeTextElement("metrologist", i.operatorName);
    x.writeStartElement("means");
    WriteNumbers(x, "uve", r.lab.uveNumbers);
    WriteNumbers(x, "mieta", r.lab.mietaNumbers);
    if (const CalibratorName calibrator = CalibratorOf(r); !calibrator.typeNumber.isEmpty()) {
        x.writeStartElement("mis");
        x.writeStartElement("mi");
        x.writeTextElement("typeNum", calibrator.typeNumber);
        x.writeTextElement("manufactureNum", calibrator.serial);
        x.writeEndElement();
        x.writeEndElement();
    }
    x.writeEndElement();
    const Conditions& c = i.conditions;
    x.writeStartElement("conditions");
    x.writeTextElement("temperature", RegistryCondition(c.temperature, "°C"));
    x.writeTextElement("pressure", RegistryCondition(c.pressure, c.pressureUnit));
    x.writeTextElement("hymidity", RegistryCondition(c.humidity, "%"));
    x.writeEndElement();
    // Every uploaded record's chain hash made public: a later rewrite of the
    // database no longer matches what the registry holds.
    if (!r.chainHash.isEmpty())
        x.writeTextElement("additional_info",
                           QStringLiteral("Хеш цепочки записей: %1").arg(r.chainHash));
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
    ++m_count;
}

namespace {

// A part's file name is `head`, the number, `tail`: "out" "-001" ".xml".
std::pair<QString, QString> PartNameAround(const QFileInfo& info) {
    if (info.suffix().isEmpty()) return {info.fileName(), QString()};
    return {info.completeBaseName(), "." + info.suffix()};
}

// Removes the parts of an earlier export to the same name not among `written`.
void RemoveStaleParts(const QString& path, FgisExportReport& report) {
    // A single file of an earlier export beside the new numbered parts too.
    QStringList stale = FgisPartsPresent(path);
    if (QFileInfo::exists(path)) stale.prepend(path);
    for (const QString& part : stale) {
        if (report.files.contains(part)) continue;
        if (QFile::remove(part))
            report.removed << part;
        else
            report.notRemoved << part;
    }
}

}  // namespace

QString FgisPartPath(const QString& path, int n) {
    const QFileInfo info(path);
    const auto [head, tail] = PartNameAround(info);
    return info.dir().filePath(head + QStringLiteral("-%1").arg(n, 3, 10, QChar('0')) + tail);
}

QStringList FgisPartsPresent(const QString& path) {
    const QFileInfo info(path);
    const auto [head, tail] = PartNameAround(info);
    const QRegularExpression name("^" + QRegularExpression::escape(head) + "-([0-9]{3,})" +
                                  QRegularExpression::escape(tail) + "$");
    QMap<int, QString> parts;
    const QDir dir = info.dir();
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch m = name.match(entry);
        if (!m.hasMatch()) continue;
        bool ok = false;
        const int n = m.captured(1).toInt(&ok);
        // "out-0001.xml" is not a name this program gives a part.
        if (!ok || n < 1 || FgisPartPath(path, n) != dir.filePath(entry)) continue;
        parts.insert(n, dir.filePath(entry));
    }
    return parts.values();
}

FgisExportReport ExportFgis(const RecordFeed& next, const FgisExportOptions& options,
                            const std::function<void(const QString&)>& leftOut) {
    FgisExportReport report;
    // Every part stays a temporary file until the last one is written, so a
    // failure half-way leaves none of them behind.
    std::vector<std::unique_ptr<WholeFile>> parts;
    std::unique_ptr<FgisDocument> doc;
    std::vector<QList<qint64>> partIds;  // the records of each part
    auto endPart = [&]() {
        doc->Finish();
        return parts.back()->Finish(&report.error);
    };
    const int perFile = qMax(1, options.maxRecords);
    for (;;) {
        QString error;
        const std::optional<Record> r = next(&error);
        if (!r) {
            if (!error.isEmpty()) report.error = error;
            break;
        }
        ++report.offered;
        if (options.carryOn && !options.carryOn(report.offered)) {
            report.cancelled = true;
            break;
        }
        const QStringList missing = MissingForFgis(*r);
        if (!missing.isEmpty()) {
            ++report.leftOut;
            if (leftOut) leftOut(LeftOutLine(*r, missing));
            continue;
        }
        if (doc && doc->Count() >= perFile && !endPart()) break;
        if (!doc || doc->Count() >= perFile) {
            parts.push_back(std::make_unique<WholeFile>(options.path));
            if (!parts.back()->Begin(&report.error)) break;
            doc = std::make_unique<FgisDocument>(parts.back().get());
            partIds.emplace_back();
        }
        doc->Add(*r, options.attachProtocol);
        partIds.back() << r->id;
        ++report.exported;
        // A full disk is noticed at once, not after the last record.
        if (doc->Failed() && !parts.back()->Finish(&report.error)) break;
    }
    if (report.error.isEmpty() && !report.cancelled && doc) endPart();
    // Asked once more: a cancel given while the last part was finished
    // still leaves nothing.
    if (!report.cancelled && options.carryOn && !options.carryOn(report.offered))
        report.cancelled = true;
    if (!report.error.isEmpty() || report.cancelled || parts.empty()) {
        report.exported = 0;
        return report;
    }
    for (size_t n = 0; n < parts.size(); ++n) {
        const QString path =
            parts.size() == 1 ? options.path : FgisPartPath(options.path, static_cast<int>(n) + 1);
        if (!parts[n]->CommitAs(path, &report.error)) break;
        report.files << path;
        for (qint64 id : partIds[n]) report.placed.append({id, path});
    }
    if (report.error.isEmpty()) RemoveStaleParts(options.path, report);
    return report;
}

}  // namespace yukt::records
