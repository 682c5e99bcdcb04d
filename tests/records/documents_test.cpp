// The documents made from a record: the PDF protocol read back with
// pdftotext, and the registry XML parsed back element by element.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include "records/fgis_export.h"
#include "records/lab_references.h"
#include "records/protocol_pdf.h"
#include "records/records_fixture.h"
#include "records/ru_format.h"

namespace yukt::records::test {
namespace {

Record ClosedRecord(const QString& verdict) {
    Record r = SampleRecord();
    r.id = 17;
    r.state = RecordState::Closed;
    r.startedAt = QDateTime(QDate(2026, 12, 8), QTime(6, 0), Qt::UTC);
    r.finishedAt = r.startedAt.addSecs(600);
    r.points = {SamplePoint(4, 4.012), SamplePoint(12, 12.2), SamplePoint(20, 19.97)};
    for (int i = 0; i < r.points.size(); ++i) r.points[i].seq = i + 1;
    r.points[2].channel = "канал 2";
    r.points[2].manual = true;
    r.verdict = verdict;
    if (verdict == kSuitable) {
        r.points[1] = SamplePoint(12, 12.03);
        r.points[1].seq = 2;
        r.validUntil = QDate(2027, 12, 7);
        r.certificateNumber = "2026/5";
    } else {
        r.reasons = {"Точка 2: погрешность превышает допуск"};
        r.certificateNumber = "И-2026/1";
    }
    return r;
}

// The protocol's text, its pages run together as one line of words.
QString PdfText(const Record& r, QTemporaryDir&) {
    return ProtocolPages(r, QStringLiteral("protocol-%1.pdf").arg(r.verdict.size()))
        .join('\f')
        .simplified();
}

TEST(Protocol, ReadsBackInItsOrderWithDecimalCommas) {
    struct Case {
        QString verdict;
        QStringList expected;  // in the order they must appear
        QStringList absent;
    };
    const Case cases[] = {
        {kSuitable,
         {"ООО «Лаборатория»",
          "Протокол поверки № 17",
          "Средство измерений",
          "Модуль ввода токовых сигналов",
          "ЮКТ-7 745.100 v01",
          "A-1024",
          "2024",
          "ООО \"Рога & <Копыта>\"",
          "12345-24",
          "Методика поверки",
          "МП 001-2026",
          "периодическая",
          "Средства поверки",
          "КП \"ЗИРОК-М\"",
          "3.1.ABC.0001.2020",
          "Условия поверки",
          "21,5 °C",
          "100,2 кПа",
          "55,0 %",
          "Результаты поверки",
          "Канал: канал 1",
          "Задано",
          "Эталон",
          "Измерено",
          "Погрешность",
          "Допуск",
          "Вывод",
          "4,0000 мА",
          "4,0120 мА",
          "0,0120 мА",
          "±0,0500 мА",
          "Канал: канал 2",
          "Погрешность: абсолютная",
          "19,9700 мА",
          "-0,0300 мА",
          "Заключение",
          "пригоден к применению",
          "Свидетельство о поверке № 2026/5, действительно до 07.12.2027",
          "Поверитель",
          "Иванов И. И.",
          "Подпись",
          "poverka",
          QString(64, 'a')},
         {"непригоден", "Редакция", "Заключение:"}},
        {kUnsuitable,
         {"Протокол поверки № 17", "12,2000 мА", "0,2000 мА", "не соответствует",
          "непригоден к применению", "Извещение о непригодности № И-2026/1",
          "Точка 2: погрешность превышает допуск"},
         {"действительно до", "Свидетельство"}},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verdict.toStdString());
        const QString text = PdfText(ClosedRecord(c.verdict), dir);
        qsizetype at = 0;
        for (const QString& e : c.expected) {
            const qsizetype found = text.indexOf(e, at);
            EXPECT_GE(found, 0) << "missing or out of order: " << e.toStdString() << " in "
                                << text.toStdString();
            if (found >= 0) at = found;
        }
        for (const QString& a : c.absent) EXPECT_FALSE(text.contains(a)) << a.toStdString();
    }
}

TEST(Protocol, ShowsTheRevisionAndIsTheSameDocumentWhenPrintedAgain) {
    QTemporaryDir dir;
    Record r = ClosedRecord(kSuitable);
    r.revision = {2, "Петров П. П.", QDateTime(QDate(2026, 12, 9), QTime(8, 0), Qt::UTC),
                  "опечатка в заводском номере"};
    const QString first = PdfText(r, dir);
    EXPECT_TRUE(first.contains("Редакция 2")) << first.toStdString();
    EXPECT_TRUE(first.contains("Петров П. П."));
    EXPECT_TRUE(first.contains("опечатка в заводском номере"));
    EXPECT_EQ(PdfText(r, dir), first);
}

// Children of each `result`, with the path of every element below it.
struct ParsedResult {
    QStringList children;
    QMap<QString, QString> text;  // "miInfo/singleMI/manufactureNum" -> text
    QStringList means;
};

QList<ParsedResult> Parse(const QByteArray& xml, QString* root) {
    QList<ParsedResult> out;
    QXmlStreamReader x(xml);
    QStringList path;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isStartElement()) {
            if (path.isEmpty()) {
                *root = x.namespaceUri().toString() + " " + x.name().toString();
            } else if (path.size() == 1) {
                out << ParsedResult{};
            } else if (path.size() == 2) {
                out.last().children << x.name().toString();
            } else if (path.size() == 3 && path[2] == "means") {
                out.last().means << x.name().toString();
            }
            path << x.name().toString();
        } else if (x.isCharacters() && !x.isWhitespace() && path.size() > 2) {
            out.last().text[path.mid(2).join('/')] += x.text().toString();
        } else if (x.isEndElement()) {
            path.removeLast();
        }
    }
    EXPECT_FALSE(x.hasError()) << x.errorString().toStdString();
    return out;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

FgisExportReport Export(const QList<Record>& records, const QString& path, int perFile,
                        QStringList* problems, bool attach = false) {
    qsizetype at = 0;
    auto feed = [&](QString*) {
        return at < records.size() ? std::optional<Record>(records[at++]) : std::nullopt;
    };
    return ExportFgis(feed, {path, perFile, attach, {}},
                      [problems](const QString& line) { *problems << line; });
}

TEST(FgisExport, ElementsInTheRegistryOrderAndEscapedTexts) {
    Record incomplete = ClosedRecord(kSuitable);
    incomplete.id = 18;
    incomplete.info.typeNumber.clear();
    incomplete.lab.signCipher.clear();
    Record open = ClosedRecord(kSuitable);
    open.id = 19;
    open.state = RecordState::Open;
    open.verdict.clear();
    QTemporaryDir dir;
    QStringList problems;
    const FgisExportReport report =
        Export({ClosedRecord(kSuitable), incomplete, ClosedRecord(kUnsuitable), open},
               dir.filePath("out.xml"), 1000, &problems, true);

    EXPECT_EQ(report.exported, 2);
    ASSERT_EQ(problems.size(), 2);
    EXPECT_TRUE(problems[0].contains("№ 18"));
    EXPECT_TRUE(problems[0].contains("mitypeNumber: не заполнено"));
    EXPECT_TRUE(problems[0].contains("signCipher: не заполнено"));
    EXPECT_TRUE(problems[1].contains("не завершена"));
    const QByteArray xml = ReadAll(dir.filePath("out.xml"));
    EXPECT_FALSE(xml.contains("<mitypeNumber></mitypeNumber>"));

    QString root;
    const QList<ParsedResult> results = Parse(xml, &root);
    EXPECT_EQ(root, kFgisNamespace + " application");
    ASSERT_EQ(results.size(), 2);
    const ParsedResult& good = results[0];
    EXPECT_EQ(good.children, (QStringList{"miInfo", "signCipher", "miOwner", "vrfDate", "validDate",
                                          "type", "calibration", "applicable", "docTitle",
                                          "metrologist", "means", "conditions", "protocol"}));
    EXPECT_EQ(good.means, (QStringList{"uve", "mieta", "mis"}));
    const QMap<QString, QString> expected = {
        {"miInfo/singleMI/mitypeNumber", "12345-24"},
        {"miInfo/singleMI/manufactureNum", "A-1024"},
        {"miInfo/singleMI/manufactureYear", "2024"},
        {"miInfo/singleMI/modification", "ЮКТ-7745t"},
        {"signCipher", "ЛАБ"},
        {"miOwner", "ООО \"Рога & <Копыта>\""},
        {"type", "2"},
        {"calibration", "false"},
        {"applicable/signPass", "false"},
        {"docTitle", "МП 001-2026"},
        {"metrologist", "Иванов И. И."},
        {"means/uve/number", "3.1.ABC.0001.2020"},
        {"means/mieta/number", "12345.67.2Р.00001"},
        {"means/mis/mi/typeNum", "55555-15"},
        {"means/mis/mi/manufactureNum", "C-77"},
        {"conditions/temperature", "21,5 °C"},
        {"conditions/pressure", "100,2 кПа"},
        {"conditions/hymidity", "55,0 %"},
    };
    for (auto it = expected.begin(); it != expected.end(); ++it)
        EXPECT_EQ(good.text.value(it.key()), it.value()) << it.key().toStdString();
    const QRegularExpression date("^\\d{4}-\\d{2}-\\d{2}[+-]\\d{2}:\\d{2}$");
    EXPECT_TRUE(date.match(good.text["vrfDate"]).hasMatch()) << good.text["vrfDate"].toStdString();
    EXPECT_TRUE(good.text["validDate"].startsWith("2027-12-07"));
    EXPECT_TRUE(
        QByteArray::fromBase64(good.text["protocol/content"].toLatin1()).startsWith("%PDF"));

    const ParsedResult& bad = results[1];
    EXPECT_FALSE(bad.children.contains("validDate"));
    EXPECT_FALSE(bad.children.contains("applicable"));
    EXPECT_EQ(bad.children.indexOf("inapplicable"), bad.children.indexOf("calibration") + 1);
    EXPECT_EQ(bad.text["inapplicable/reasons"], "Точка 2: погрешность превышает допуск");
}

TEST(Protocol, PointsPrintToTheirResolutionAndSayTheirKind) {
    struct Case {
        QString kind;
        double resolution, limit, limit2;
        PointDecimals decimals;
        QString words, unit;
        double limitAt;  // at reference 10
    };
    const Case cases[] = {
        {"reduced", 0.01, 0.2, 0, {2, 3}, "приведённая к диапазону 4–20 мА", "%", 0.2},
        {"rel", 0.05, 0.5, 0, {2, 3}, "относительная", "%", 0.5},
        {"abs", 0.005, 0.05, 0, {3, 3}, "абсолютная", "мА", 0.05},
        {"abs+rel", 0.001, 0.01, 0.002, {3, 3}, "абсолютная, ±(0,01 мА + 0,002·|x|)", "мА", 0.03},
        {"abs", 0, 0.05, 0, {4, 4}, "абсолютная", "мА", 0.05},  // recorded before resolutions
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind.toStdString());
        RecordPoint p = SamplePoint(10, 10.01, c.limit);
        p.errorKind = c.kind, p.resolution = c.resolution, p.limit2 = c.limit2;
        p.spanLow = 4, p.spanHigh = 20;
        EXPECT_EQ(DecimalsFor(p).error, c.decimals.error);
        EXPECT_EQ(DecimalsFor(p).value, c.decimals.value);
        EXPECT_EQ(ErrorKindWords(p), c.words);
        EXPECT_EQ(ErrorUnit(p), c.unit);
        EXPECT_DOUBLE_EQ(LimitAt(p), c.limitAt);
    }
}

TEST(FgisExport, DatesCarryTheLocalOffset) {
    const QByteArray saved = qgetenv("TZ");
    qputenv("TZ", "Europe/Moscow");
    EXPECT_EQ(FgisDate(QDate(2026, 12, 8)), "2026-12-08+03:00");
    qputenv("TZ", "UTC");
    EXPECT_EQ(FgisDate(QDate(2026, 12, 8)), "2026-12-08+00:00");
    qputenv("TZ", saved);
}

// The calibrator as an instrument is named from one place: the register's
// measuring instrument the record was made with, else the settings' text
// the record keeps; the protocol and the registry file agree, and a record
// opened with the register keeps its name.
TEST(Protocol, NamesTheCalibratorFromTheRegisterElseTheSettings) {
    ReferenceUse mis{"current", "КП-12", kMisKind,         "66666-20", "Генератор-калибратор ГК-7",
                     "Z-12",    "С-9",   QDate(2027, 6, 1)};
    const QString settings = SampleRecord().lab.calibrator;
    struct Case {
        QList<ReferenceUse> means;
        QString name, typeNumber, serial;
    } cases[] = {
        {{}, settings, "55555-15", "C-77"},
        {{mis}, mis.name, mis.typeNumber, mis.serial},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        Record r = ClosedRecord(kSuitable);
        r.means = c.means;
        QTemporaryDir dir;
        const QString text = PdfText(r, dir);
        EXPECT_TRUE(text.contains("Калибратор " + c.name)) << text.toStdString();
        EXPECT_TRUE(text.contains(c.typeNumber + ", " + c.serial)) << text.toStdString();
        EXPECT_EQ(text.contains(settings), c.means.isEmpty());
        QStringList problems;
        Export({r}, dir.filePath("out.xml"), 1000, &problems, false);
        QString root;
        const QList<ParsedResult> results = Parse(ReadAll(dir.filePath("out.xml")), &root);
        ASSERT_EQ(results.size(), 1) << problems.join('\n').toStdString();
        EXPECT_EQ(results[0].text.value("means/mis/mi/typeNum"), c.typeNumber);
        EXPECT_EQ(results[0].text.value("means/mis/mi/manufactureNum"), c.serial);
        // What a record opened with these references keeps.
        LabSnapshot lab = SampleRecord().lab;
        MeansIntoLab(c.means, lab);
        EXPECT_EQ(CalibratorOf({}, lab).name, c.name);
    }
}

}  // namespace
}  // namespace yukt::records::test
