// The registry file counts only records the registry would take; large
// exports split; every written file is whole or absent on a full disk.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "records/fgis_export.h"
#include "records/full_disk.h"
#include "records/journal_csv.h"
#include "records/protocol_pdf.h"
#include "records/records_fixture.h"
#include "records/registry_rules.h"

namespace yukt::records::test {
namespace {

Record Exportable(qint64 id) {
    Record r = SampleRecord();
    r.id = id;
    r.state = RecordState::Closed;
    r.startedAt = r.finishedAt = QDateTime(QDate(2026, 12, 8), QTime(6, 0), Qt::UTC);
    r.verdict = kUnsuitable;
    r.reasons = {"Точка 1: погрешность превышает допуск"};
    r.certificateNumber = "И-2026/1";
    return r;
}

FgisExportReport Export(const QList<Record>& records, const QString& path, int perFile,
                        QStringList* leftOut) {
    qsizetype at = 0;
    auto feed = [&](QString*) {
        return at < records.size() ? std::optional<Record>(records[at++]) : std::nullopt;
    };
    return ExportFgis(feed, {path, perFile, false, {}},
                      [leftOut](const QString& line) { *leftOut << line; });
}

TEST(RegistryRules, ARecordBreakingOneIsNamedWithTheFieldAndLeftOut) {
    struct Case {
        const char* what;
        std::function<void(Record&)> spoil;
        QString named;  // empty: the record is exported
    };
    const QString long129(129, QChar(0x0416));
    const Case cases[] = {
        {"as sampled", [](Record&) {}, ""},
        {"owner empty", [](Record& r) { r.info.owner.clear(); }, "miOwner: не заполнено"},
        {"owner 512", [](Record& r) { r.info.owner = QString(512, 'x'); }, ""},
        {"owner 513", [](Record& r) { r.info.owner = QString(513, 'x'); }, "miOwner: от 1 до 512"},
        {"cipher latin", [](Record& r) { r.lab.signCipher = "abc"; }, "signCipher: от 1 до 3"},
        {"cipher four", [](Record& r) { r.lab.signCipher = "АБВГ"; }, "[А-Я]{1,3}"},
        {"cipher Ё", [](Record& r) { r.lab.signCipher = "Ё"; }, "signCipher"},
        {"year with г.", [](Record& r) { r.info.manufactureYear = "2024 г."; }, "xs:gYear"},
        {"year absent", [](Record& r) { r.info.manufactureYear.clear(); }, ""},
        {"type 33", [](Record& r) { r.info.typeNumber = QString(33, '1'); }, "mitypeNumber"},
        {"serial 129", [&](Record& r) { r.info.serial = long129; }, "manufactureNum: от 1 до 128"},
        {"doc title", [](Record& r) { r.info.methodology.clear(); }, "docTitle: не заполнено"},
        {"metrologist", [&](Record& r) { r.info.operatorName = long129; }, "metrologist"},
        {"temperature", [](Record& r) { r.info.conditions.temperature.reset(); }, "temperature"},
        {"humidity", [](Record& r) { r.info.conditions.humidity.reset(); }, "hymidity"},
        {"uve number 33", [](Record& r) { r.lab.uveNumbers = {QString(33, '1')}; }, "means/number"},
        {"no means", [](Record& r) { r.lab = {"О", "ЛАБ", "К", {}, {}, {}, {}}; }, "means:"},
        {"mis serial", [](Record& r) { r.lab.misSerial.clear(); }, "means/mis/manufactureNum"},
        {"no reasons", [](Record& r) { r.reasons.clear(); }, "reasons: не заполнено"},
        {"long reasons", [](Record& r) { r.reasons = QStringList(60, QString(30, 'x')); }, ""},
        // What XML 1.0 cannot carry leaves the record out, never the file broken.
        {"scanner's GS in a serial", [](Record& r) { r.info.serial = QString("A-10") + QChar(0x1D) + "24"; },
         "manufactureNum: недопустимый управляющий символ U+001D"},
        {"escape in the operator", [](Record& r) { r.info.operatorName += QChar(0x1B); },
         "metrologist: недопустимый управляющий символ U+001B"},
        {"lone surrogate in the owner", [](Record& r) { r.info.owner += QChar(0xD800); },
         "miOwner: недопустимый управляющий символ U+D800"},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Record r = Exportable(5);
        c.spoil(r);
        QStringList leftOut;
        const QString path = dir.filePath(QString(c.what) + ".xml");
        const FgisExportReport report = Export({r}, path, 10, &leftOut);
        EXPECT_TRUE(report.error.isEmpty()) << report.error.toStdString();
        EXPECT_EQ(report.exported, c.named.isEmpty() ? 1 : 0);
        EXPECT_EQ(QFile::exists(path), c.named.isEmpty());
        if (!c.named.isEmpty()) {
            ASSERT_EQ(leftOut.size(), 1);
            EXPECT_TRUE(leftOut[0].contains("Запись № 5") && leftOut[0].contains(c.named))
                << leftOut[0].toStdString();
        }
    }
    EXPECT_EQ(RegistryFieldProblem(RegistryField::StickerNumber, "1234567890"),
              "stickerNum: 11 цифр, задано «1234567890»");
    EXPECT_TRUE(RegistryFieldProblem(RegistryField::StickerNumber, "12345678901").isEmpty());
}

TEST(RegistryRules, LongReasonsKeepWholePointsWithinTheLimit) {
    QStringList reasons;
    for (int i = 1; i <= 40; ++i)
        reasons << QStringLiteral("Канал %1, 4 мА: погрешность 0,31 % превышает допуск").arg(i);
    const QString shortened = RegistryReasons(reasons);
    EXPECT_LE(CharCount(shortened), 1024);
    EXPECT_TRUE(shortened.endsWith("; …")) << shortened.toStdString();
    const QStringList kept = shortened.chopped(3).split("; ");
    EXPECT_EQ(kept, reasons.mid(0, kept.size()));
    EXPECT_GT(kept.size(), 15);
    EXPECT_EQ(RegistryReasons(reasons.mid(0, 2)), reasons.mid(0, 2).join("; "));
}

TEST(FgisExport, SplitsIntoNumberedFilesAndWritesNothingWhenNothingCounts) {
    QTemporaryDir dir;
    QList<Record> records;
    for (int id = 1; id <= 5; ++id) records << Exportable(id);
    records[2].lab.signCipher = "x";  // left out: four files' worth becomes two of two
    QStringList leftOut;
    const QString path = dir.filePath("out.xml");
    FgisExportReport report = Export(records, path, 2, &leftOut);
    EXPECT_EQ(report.exported, 4);
    EXPECT_EQ(report.leftOut, 1);
    EXPECT_EQ(report.files,
              (QStringList{dir.filePath("out-001.xml"), dir.filePath("out-002.xml")}));
    for (const QString& file : report.files) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll().count("<result>"), 2);
    }
    EXPECT_FALSE(QFile::exists(path));

    report = Export({records[2]}, dir.filePath("none.xml"), 2, &leftOut);
    EXPECT_EQ(report.exported, 0);
    EXPECT_TRUE(report.files.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("none.xml")));
}

// A smaller export to the same name removes the earlier parts it did not
// write; one that fails or is cancelled removes nothing, and files of a like
// name that this program never gives a part are left alone.
TEST(FgisExport, ReplacingASplitExportRemovesOnlyItsOwnEarlierParts) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.xml");
    const QStringList alike = {"out-0004.xml", "out-04.xml", "out-004.xml.bak", "out-004.XML",
                               "other-004.xml", "out-abc.xml"};
    for (const QString& name : alike) QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    QStringList leftOut;
    QList<Record> records;
    for (int id = 1; id <= 5; ++id) records << Exportable(id);
    ASSERT_EQ(Export(records, path, 1, &leftOut).files.size(), 5);
    struct Case {
        const char* what;
        int records, partsAfter;
        qint64 stopAt;  // the record at which the export is cancelled; 0: none
        bool feedFails;
        QStringList removed;
    };
    const Case cases[] = {
        {"cancelled", 2, 5, 2, false, {}},
        {"failed", 2, 5, 0, true, {}},
        {"fewer parts", 3, 3, 0, false, {"out-004.xml", "out-005.xml"}},
        {"one file", 1, 0, 0, false, {"out-001.xml", "out-002.xml", "out-003.xml"}},
        {"split after one file", 2, 2, 0, false, {"out.xml"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qsizetype at = 0;
        auto feed = [&](QString* error) -> std::optional<Record> {
            if (at < c.records) return records[at++];
            if (c.feedFails) *error = "база данных недоступна";
            return std::nullopt;
        };
        const FgisExportOptions options{path, 1, false,
                                        [&](qint64 read) { return read != c.stopAt; }};
        const FgisExportReport report = ExportFgis(feed, options, {});
        EXPECT_EQ(report.cancelled, c.stopAt > 0);
        QStringList removed;
        for (const QString& part : report.removed) removed << QFileInfo(part).fileName();
        EXPECT_EQ(removed, c.removed);
        EXPECT_EQ(FgisPartsPresent(path).size(), c.partsAfter);
    }
    EXPECT_FALSE(QFile::exists(path));
    for (const QString& name : alike) EXPECT_TRUE(QFile::exists(dir.filePath(name))) << qPrintable(name);
}

TEST(WholeFiles, AFullDiskIsAnErrorNamingTheFileAndLeavesNothing) {
    FullDisk disk;
    const QString dir = disk.Dir();
    struct Case {
        const char* what;
        std::function<QString(const QString& path)> write;  // the error
    };
    const Case cases[] = {
        {"protocol.pdf",
         [](const QString& path) {
             QString error;
             EXPECT_FALSE(WriteProtocolPdf(Exportable(1), path, &error));
             return error;
         }},
        {"out.xml",
         [](const QString& path) {
             QStringList leftOut;
             return Export({Exportable(1), Exportable(2), Exportable(3)}, path, 2, &leftOut).error;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir + "/" + c.what;
        QString error;
        {
            const FullDisk::Hold full = disk.Full();
            error = c.write(path);
        }
        EXPECT_TRUE(error.startsWith("Не удалось записать " + path + ": ")) << error.toStdString();
        EXPECT_EQ(disk.Entries(), QStringList()) << disk.Entries().join(' ').toStdString();
    }
}

}  // namespace
}  // namespace yukt::records::test
