// The protocol of a whole 16-channel module read back page by page with
// pdftotext -layout: rows whole, header repeated, no heading left alone at a
// page's foot, no word broken, one conclusion, values to the resolution.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "records/protocol_pdf.h"
#include "records/records_fixture.h"

namespace yukt::records::test {
namespace {

constexpr double kNominals[] = {4, 8, 12, 16, 20};

RecordPoint ErrorPoint(int item, int channel, double nominal, double errorPercent) {
    RecordPoint p = SamplePoint(nominal, nominal + errorPercent * 16 / 100, 0.2);
    p.operation = "5.4";
    p.channelNo = channel;
    p.item = item;
    p.attempt = 1;
    p.errorKind = "reduced";
    p.error = errorPercent;
    p.result = std::abs(errorPercent) <= 0.2 ? "pass" : "fail";
    p.resolution = 0.01;
    p.spanLow = 4;
    p.spanHigh = 20;
    p.refRatio = 4;
    return p;
}

// A 748t by its methodology: inspection, software, 16 channels x 5 points;
// channel 11 off, one point of channel 2 measured again.
Record WholeModule() {
    Record r = SampleRecord();
    r.id = 41;
    r.state = RecordState::Closed;
    r.startedAt = r.finishedAt = QDateTime(QDate(2026, 12, 8), QTime(6, 0), Qt::UTC);
    r.methodologyId = "МП 001-2026";
    r.methodologyRevision = 3;
    r.methodologySha256 = QString(64, 'b');
    r.softwareFound = "748t v1.2";
    r.chainHash = QString(64, 'c');
    r.plan = {
        {1, "5.1", "Внешний осмотр", "inspection", 0, 0, "", {}},
        {2, "5.3", "Подтверждение соответствия программного обеспечения", "software", 0, 0, "", {}}};
    RecordPoint look;
    look.operation = "5.1", look.item = 1, look.attempt = 1, look.manual = true;
    look.result = "pass", look.remark = "корпус без повреждений";
    RecordPoint soft = look;
    soft.operation = "5.3", soft.item = 2, soft.manual = false, soft.remark.clear();
    r.points = {look, soft};
    int item = 3;
    for (int channel = 1; channel <= 16; ++channel)
        for (double nominal : kNominals) {
            r.plan << PlanEntry{
                item,    "5.4",   "Определение приведённой погрешности измерения тока",
                "error", channel, nominal,
                "мА",    {}};
            r.points << ErrorPoint(item++, channel, nominal, channel == 11 ? 0.31 : 0.05);
        }
    RecordPoint again = ErrorPoint(8, 2, 4, 0.02);
    again.attempt = 2;
    r.points[7].error = 0.25, r.points[7].result = "fail";
    r.points << again;
    r.verdict = kUnsuitable;
    for (double nominal : kNominals)
        r.reasons << QStringLiteral("Канал 11, %1 мА: погрешность 0,31 % превышает допуск ±0,20 %")
                         .arg(nominal);
    return r;
}

QStringList Pages(const Record& r) { return ProtocolPages(r, "whole.pdf"); }

// A procedure's record of 90 points on one channel: its table crosses pages.
Record LongTable() {
    Record r = SampleRecord();
    r.id = 42;
    for (int i = 1; i <= 90; ++i) {
        r.points << SamplePoint(4 + i % 17, 4 + i % 17 + 0.01);
        r.points.last().seq = i;
    }
    r.verdict = kSuitable;
    return r;
}

void CheckPages(const Record& r, const QList<int>& expected) {
    const QStringList pages = Pages(r);
    ASSERT_GE(pages.size(), 3);
    const QRegularExpression row(R"(^\s*(\d+)\s+\d+,\d+ мА)");
    const QRegularExpression value("\\d+,\\d+ (мА|%)");
    const QRegularExpression heading(
        R"(^\s*(Канал \d+|5\.\d .*|Результаты поверки|Заключение|График погрешности)\s*$)");
    QList<int> items;
    for (int n = 0; n < pages.size(); ++n) {
        SCOPED_TRACE(n + 1);
        QStringList lines = pages[n].split('\n');
        lines.removeIf([](const QString& l) { return l.trimmed().isEmpty(); });
        ASSERT_TRUE(lines.last().contains(
            QStringLiteral("страница %1 из %2").arg(n + 1).arg(pages.size())));
        bool header = false;
        for (const QString& line : lines) {
            header = header || (line.contains("Задано") && line.contains("Погрешность"));
            const QRegularExpressionMatch m = row.match(line);
            if (!m.hasMatch()) continue;
            EXPECT_TRUE(header) << "a row before the header on its page: " << line.toStdString();
            int values = 0;
            for (auto it = value.globalMatch(line); it.hasNext(); it.next()) ++values;
            EXPECT_EQ(values, 5) << line.toStdString();
            EXPECT_TRUE(line.contains(QRegularExpression("соответствует\\s*$")))
                << line.toStdString();
            items << m.captured(1).toInt();
        }
        const QString last = lines.value(lines.size() - 2);
        EXPECT_FALSE(heading.match(last).hasMatch())
            << "heading left alone: " << last.toStdString();
    }
    EXPECT_EQ(items, expected);
}

TEST(ProtocolLayout, RowsWholeHeaderRepeatedNoHeadingAlone) {
    QList<int> items;
    for (int i = 1; i <= 90; ++i) items << i;
    CheckPages(LongTable(), items);
    items.clear();
    for (int i = 3; i < 3 + 80; ++i) items << i;
    CheckPages(WholeModule(), items);
}

TEST(ProtocolLayout, ByOperationAndChannelToTheResolutionWithOneConclusion) {
    Record r = WholeModule();
    // Recorded by hand between the plan's points: printed, outside the plan.
    RecordPoint between = SamplePoint(10, 10.03, 0.2);
    between.channel = "3", between.manual = true, between.seq = 99;
    r.points << between;
    const QString all = Pages(r).join(QChar(0x0A)).simplified();
    for (const char* word : {"Погрешност", "соответству", "приведённ"})
        EXPECT_EQ(all.count(QRegularExpression(QString(word) + "\\b",
                                               QRegularExpression::UseUnicodePropertiesOption)),
                  0)
            << word << " broken";
    EXPECT_EQ(all.count("Заключение"), 1);
    EXPECT_FALSE(all.contains("Канал:"));
    for (const QString& expectedText :
         {QString("5.1 Внешний осмотр"),
          QString("Результат: соответствует. Примечание: корпус без повреждений"),
          QString("Идентификация ПО: 748t v1.2"), QString("МП 001-2026, редакция 3"),
          QString(
              "Погрешность: приведённая к диапазону 4–20 мА; отношение допускаемых погрешностей "
              "модуля и эталона не менее 4,0"),
          QString("Канал 11"),
          QString("4,000 мА 4,000 мА 4,050 мА 0,31 % ±0,20 % не соответствует"),
          QString("Заменённые попытки № Канал Попытка Погрешность Вывод 8 2 1 0,25 % не "
                  "соответствует"),
          QString("График погрешности"),
          QString("Модуль непригоден к применению."), r.reasons.last(),
          QString("Дополнительные измерения (в заключение не входят) Канал 3"),
          QString("99* 10,0000 мА 10,0000 мА 10,0300 мА 0,0300 мА ±0,2000 мА соответствует"),
          "Контрольная сумма записи в базе (SHA-256): " + r.chainHash})
        EXPECT_TRUE(all.contains(expectedText)) << expectedText.toStdString();
}

}  // namespace
}  // namespace yukt::records::test
