// A module's history and the laboratory's statistics against figures worked
// out by hand from the twenty records of analysis_fixture.cpp, on both
// engines, through the library and through yukt-records.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>

#include "records/analysis_fixture.h"
#include "records/lab_stats.h"
#include "records/module_history.h"
#include "records/records_fixture.h"
#include "records/records_gen.h"
#include "records/stat_figures.h"

namespace yukt::records::test {
namespace {

class AnalysisTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        m_store = Connect();
        QString error;
        ASSERT_TRUE(FillAnalysisFixture(*m_store, &error)) << error.toStdString();
    }
    std::unique_ptr<RecordStore> m_store;
};

struct Item {
    QString model, operation;
    int channelNo;
    QString channel;
    double nominal;
    qint64 count;
    double mean, max, share;
    qint64 failures;
};

const ItemStats* Find(const LabStats& s, const Item& e) {
    for (const ItemStats& i : s.items)
        if (i.model == e.model && i.operation == e.operation && i.channelNo == e.channelNo &&
            i.channel == e.channel && std::abs(i.nominal - e.nominal) < 1e-9)
            return &i;
    return nullptr;
}

TEST_P(AnalysisTest, StatisticsMatchTheHandFigures) {
    const struct {
        const char* name;
        StatsFilter filter;
        QList<MonthVerdicts> months;
        QList<Item> items;
        QList<PeopleStats> people;
    } cases[] = {
        {"all time",
         {},
         {{"745t", "2025-01", 2, 1, 0},
          {"745t", "2025-02", 1, 0, 1},
          {"745t", "2025-06", 2, 0, 0},
          {"745t", "2026-01", 0, 1, 0},
          {"745t", "2026-02", 2, 0, 0},
          {"748t", "2025-01", 1, 0, 0},
          {"748t", "2025-03", 2, 1, 0},
          {"748t", "2025-04", 3, 1, 1}},
         // The superseded -0,07 of 2025-02-10 and the open record are not counted.
         {{"745t", "5.4", 11, "", 4, 10, 0.5, 1.2, 0.3, 1},
          {"745t", "5.4", 11, "", 20, 9, 4.24 / 9, 1.2, 2.0 / 9, 1},
          {"748t", "ток 745t", 0, "канал 1", 4, 9, 3.8 / 9, 1.2, 2.0 / 9, 1},
          {"748t", "ток 745t", 0, "канал 1", 12, 8, 3.25 / 8, 1.1, 0.25, 1}},
         // The corrected record counts once, as its latest revision.
         {{"745t", "Иванов И. И.", "", 5},
          {"745t", "Петров П. П.", "", 4},
          {"745t", "Сидоров С. С.", "", 1},
          {"748t", "Иванов И. И.", "", 7},
          {"748t", "Петров П. П.", "", 2}}},
        {"one model, one year",
         {"745t", QDate(2025, 1, 1), QDate(2025, 12, 31), {}},
         {{"745t", "2025-01", 2, 1, 0}, {"745t", "2025-02", 1, 0, 1}, {"745t", "2025-06", 2, 0, 0}},
         {{"745t", "5.4", 11, "", 4, 7, 3.9 / 7, 1.2, 2.0 / 7, 1},
          {"745t", "5.4", 11, "", 20, 6, 2.84 / 6, 0.84, 1.0 / 6, 0}},
         {{"745t", "Иванов И. И.", "", 4}, {"745t", "Петров П. П.", "", 3}}},
        {"another station", {{}, {}, {}, "нет-такой"}, {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        const std::optional<LabStats> s = ReadLabStats(m_store->Database(), c.filter, &error);
        ASSERT_TRUE(s) << error.toStdString();
        ASSERT_EQ(s->months.size(), c.months.size());
        for (int i = 0; i < c.months.size(); ++i) {
            const MonthVerdicts &got = s->months[i], &want = c.months[i];
            EXPECT_EQ(got.model + " " + got.month, want.model + " " + want.month);
            EXPECT_EQ(got.suitable, want.suitable) << want.month.toStdString();
            EXPECT_EQ(got.unsuitable, want.unsuitable) << want.month.toStdString();
            EXPECT_EQ(got.interrupted, want.interrupted) << want.month.toStdString();
        }
        EXPECT_EQ(s->items.size(), c.items.size());
        for (const Item& e : c.items) {
            const ItemStats* i = Find(*s, e);
            ASSERT_TRUE(i) << e.model.toStdString() << " " << e.nominal;
            EXPECT_EQ(i->count, e.count) << e.nominal;
            EXPECT_NEAR(i->meanRatio, e.mean, 1e-9) << e.nominal;
            EXPECT_NEAR(i->maxRatio, e.max, 1e-9) << e.nominal;
            EXPECT_NEAR(i->shareAbove08, e.share, 1e-9) << e.nominal;
            EXPECT_EQ(i->failures, e.failures) << e.nominal;
        }
        ASSERT_EQ(s->people.size(), c.people.size());
        for (int i = 0; i < c.people.size(); ++i) {
            EXPECT_EQ(s->people[i].model, c.people[i].model);
            EXPECT_EQ(s->people[i].operatorName, c.people[i].operatorName);
            EXPECT_EQ(s->people[i].station, RecordStore::Workstation());
            EXPECT_EQ(s->people[i].records, c.people[i].records);
        }
    }
}

// Statistics read from the kept figures (kept at each closing, or back-filled
// by the migration) equal those counted from the points by a database of the
// version before them, for ranges whose local days begin inside a UTC day.
TEST_P(AnalysisTest, KeptFiguresAgreeWithThePoints) {
    const QString url = FreshDatabase();
    QString error;
    {
        auto older = Connect(url, sql::StatFiguresVersion() - 1);
        ASSERT_TRUE(FillAnalysisFixture(*older, &error)) << error.toStdString();
    }
    const QList<StatsFilter> filters = {
        {},
        {{}, QDate(2025, 2, 10), {}, {}},
        {{}, {}, QDate(2025, 4, 10), {}},
        {"745t", QDate(2025, 1, 15), QDate(2026, 1, 15), {}},
        {"748t", QDate(2025, 3, 1), QDate(2025, 3, 31), RecordStore::Workstation()},
        {{}, QDate(2025, 2, 10), QDate(2025, 2, 10), {}},
    };
    const QByteArray savedZone = qgetenv("TZ");
    const char* zones[] = {"UTC", "Asia/Kolkata", "America/St_Johns"};
    QList<LabStats> counted;
    {
        auto older = Connect(url, sql::StatFiguresVersion() - 1);
        for (const char* zone : zones) {
            qputenv("TZ", zone);
            for (const StatsFilter& f : filters) {
                const auto s = ReadLabStats(older->Database(), f, &error);
                ASSERT_TRUE(s) << error.toStdString();
                counted << *s;
            }
        }
    }
    auto migrated = Connect(url);
    for (RecordStore* store : {m_store.get(), migrated.get()}) {
        QStringList problems;
        ASSERT_TRUE(CheckStatFigures(store->Database(), &problems, &error)) << error.toStdString();
        EXPECT_EQ(problems, QStringList());
        int n = 0;
        for (const char* zone : zones) {
            qputenv("TZ", zone);
            for (const StatsFilter& f : filters) {
                SCOPED_TRACE(std::string(zone) + " " + f.from.toString(Qt::ISODate).toStdString() +
                             ".." + f.to.toString(Qt::ISODate).toStdString());
                const auto s = ReadLabStats(store->Database(), f, &error);
                ASSERT_TRUE(s) << error.toStdString();
                const LabStats& want = counted[n++];
                EXPECT_EQ(StatsText(*s).toStdString(), StatsText(want).toStdString());
                ASSERT_EQ(s->items.size(), want.items.size());
                for (int i = 0; i < want.items.size(); ++i) {
                    EXPECT_EQ(s->items[i].count, want.items[i].count);
                    EXPECT_NEAR(s->items[i].meanRatio, want.items[i].meanRatio, 1e-12);
                    EXPECT_EQ(s->items[i].maxRatio, want.items[i].maxRatio);
                    EXPECT_EQ(s->items[i].failures, want.items[i].failures);
                }
            }
        }
    }
    qputenv("TZ", savedZone);
    // A changed or added figure is found by verify; PostgreSQL refuses both.
    const bool sqlite = QString(GetParam()) == "sqlite";
    QSqlQuery q(m_store->Database());
    EXPECT_EQ(q.exec("UPDATE stat_figures SET n = n + 1 WHERE day = '2025-06-15'"), sqlite);
    const int changed = sqlite ? q.numRowsAffected() : 0;
    EXPECT_EQ(q.exec("INSERT INTO stat_figures (day, operation, channel_no, channel, unit, n,"
                     " near_limit, failures) VALUES ('2025-06-16', 'x', 0, '', '', 1, 0, 0)"),
              sqlite);
    QStringList problems;
    ASSERT_TRUE(CheckStatFigures(m_store->Database(), &problems, &error)) << error.toStdString();
    EXPECT_EQ(problems.size(), sqlite ? changed + 1 : 0) << problems.join('\n').toStdString();
    if (sqlite) {
        EXPECT_GE(changed, 2);
    }
}

// Records of one day, model and station add up in one row of figures, on
// each engine, and still agree with their points.
TEST_P(AnalysisTest, FiguresOfOneDayAddUp) {
    auto store = Connect(FreshDatabase());
    GenOptions o;
    o.records = 600;
    o.years = 1;
    o.stations = 1;
    QString error;
    ASSERT_TRUE(GenerateRecords(*store, o, &error)) << error.toStdString();
    QSqlQuery q(store->Database());
    ASSERT_TRUE(q.exec("SELECT COUNT(*), SUM(n), MAX(n) FROM stat_figures"));
    ASSERT_TRUE(q.next());
    EXPECT_GT(q.value(2).toLongLong(), 1);
    EXPECT_LT(q.value(0).toLongLong(), q.value(1).toLongLong());
    QStringList problems;
    ASSERT_TRUE(CheckStatFigures(store->Database(), &problems, &error)) << error.toStdString();
    EXPECT_EQ(problems, QStringList());
}

TEST_P(AnalysisTest, HistoryShowsTheDriftOfEachPointRecordByRecord) {
    QString error;
    const std::optional<ModuleHistory> h = LoadModuleHistory(*m_store, "S-1", "745t", &error);
    ASSERT_TRUE(h) << error.toStdString();
    ASSERT_EQ(h->records.size(), 4);
    const QStringList dates = {"2025-01-15", "2025-06-15", "2026-01-15", "2026-02-15"};
    const QStringList verdicts = {kSuitable, kSuitable, kUnsuitable, kSuitable};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(h->records[i].startedAt.date().toString(Qt::ISODate), dates[i]);
        EXPECT_EQ(h->records[i].verdict, verdicts[i]);
        EXPECT_EQ(h->records[i].methodologyId, "МП 745-2025");
        EXPECT_EQ(h->records[i].methodologyRevision, 2);
        EXPECT_EQ(h->records[i].certificate.isEmpty(), false);
    }
    EXPECT_EQ(h->records[3].revision, 1);
    EXPECT_EQ(h->records[3].operatorName, "Петров П. П.");
    const struct {
        QString caption;
        QList<double> ratios;  // < 0: an answer
        QString answer;
    } rows[] = {
        {"5.1, Модуль в целом", {-1, -1, -1, -1}, "соответствует; примечание: без замечаний"},
        {"5.3, Модуль в целом", {-1, -1, -1, -1}, "ПО: 745t v01; соответствует"},
        {"5.4, Канал 11, 4 мА", {0.2, 0.4, 0.9, 0.2}, ""},
        {"5.4, Канал 11, 20 мА", {0.4, 0.6, 1.2, 0.2}, ""},
    };
    ASSERT_EQ(h->rows.size(), 4);
    for (int r = 0; r < 4; ++r) {
        const HistoryRow& row = h->rows[r];
        EXPECT_EQ(row.Caption(), rows[r].caption);
        ASSERT_EQ(row.cells.size(), 4);
        for (int i = 0; i < 4; ++i) {
            if (rows[r].ratios[i] < 0) {
                EXPECT_EQ(row.cells[i].answer, rows[r].answer);
                continue;
            }
            ASSERT_TRUE(row.cells[i].hasRatio) << r << " " << i;
            EXPECT_NEAR(row.cells[i].ratio, rows[r].ratios[i], 1e-9) << r << " " << i;
            EXPECT_DOUBLE_EQ(row.cells[i].limit, 0.05);
        }
    }
    // Without the model, the 748t of the same serial joins in its date's place.
    const std::optional<ModuleHistory> both = LoadModuleHistory(*m_store, "S-1", "", &error);
    ASSERT_TRUE(both);
    ASSERT_EQ(both->records.size(), 5);
    EXPECT_EQ(both->records[1].model, "748t");
    EXPECT_EQ(both->rows.size(), 6);
    const std::optional<ModuleHistory> none = LoadModuleHistory(*m_store, "S-404", "", &error);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->records.isEmpty());
}

#ifdef YUKT_RECORDS_TOOL
struct ToolOut {
    int status;
    QByteArray out;
    QString err;
};

ToolOut RunRecords(const QStringList& args) {
    QProcess p;
    p.start(YUKT_RECORDS_TOOL, args);
    EXPECT_TRUE(p.waitForFinished(120000));
    return {p.exitCode(), p.readAllStandardOutput(),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

TEST_P(AnalysisTest, TheToolAnswersAsTheLibraryAndRefusesBadInput) {
    const struct {
        const char* name;
        QStringList args;
        int status;
        const char* inErr;
    } bad[] = {
        {"unknown serial", {"history", "--serial", "S-404"}, 3, "нет записей о модуле"},
        {"no serial", {"history"}, 2, "использование"},
        {"range backwards", {"stats", "--from", "2026-02-01", "--to", "2026-01-01"}, 2, "позже"},
        {"not a date", {"stats", "--from", "01.02.2026"}, 2, "ГГГГ-ММ-ДД"},
        {"both formats", {"stats", "--json", "--csv"}, 2, "--json"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.name);
        const ToolOut r = RunRecords(c.args + QStringList{"--db", m_url});
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.inErr))) << r.err.toStdString();
    }
    ToolOut r =
        RunRecords({"history", "--serial", "S-1", "--model", "745t", "--json", "--db", m_url});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject h = QJsonDocument::fromJson(r.out).object();
    ASSERT_EQ(h["records"].toArray().size(), 4);
    EXPECT_EQ(h["records"][2]["verdict"].toString(), kUnsuitable);
    EXPECT_EQ(h["records"][2]["methodology_id"].toString(), "МП 745-2025");
    const QJsonArray items = h["items"].toArray();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[3]["nominal"].toDouble(), 20);
    EXPECT_NEAR(items[3]["values"][2]["ratio"].toDouble(), 1.2, 1e-9);
    EXPECT_EQ(items[3]["values"][2]["result"].toString(), "fail");
    EXPECT_EQ(items[1]["values"][0]["answer"].toString(), "ПО: 745t v01; соответствует");

    r = RunRecords({"history", "--serial", "S-1", "--model", "745t", "--csv", "--db", m_url});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList csv = QString::fromUtf8(r.out).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(csv.size(), 1 + 16);
    EXPECT_TRUE(csv.contains(QStringLiteral("%1;2026-01-15;не годен;МП 745-2025 ред. 2;")
                                 .arg(h["records"][2]["id"].toInt()) +
                             h["records"][2]["certificate"].toString() +
                             ";5.4;11;20;\"0,06\";\"0,05\";\"1,2\";"))
        << csv.join('\n').toStdString();

    r = RunRecords({"stats", "--model", "748t", "--json", "--db", m_url});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject s = QJsonDocument::fromJson(r.out).object();
    ASSERT_EQ(s["verdicts"].toArray().size(), 3);
    EXPECT_EQ(s["verdicts"][2]["month"].toString(), "2025-04");
    EXPECT_EQ(s["verdicts"][2]["suitable"].toInt(), 3);
    ASSERT_EQ(s["items"].toArray().size(), 2);
    EXPECT_NEAR(s["items"][1]["mean_ratio"].toDouble(), 3.25 / 8, 1e-9);
    EXPECT_EQ(s["items"][1]["failures"].toInt(), 1);

    r = RunRecords({"stats", "--model", "745t", "--from", "2026-01-01", "--db", m_url});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString text = QString::fromLocal8Bit(r.out);
    EXPECT_TRUE(text.contains("745t\t2026-01\t0\t1\t0\t1")) << text.toStdString();
    EXPECT_TRUE(text.contains("745t\t2026-02\t2\t0\t0\t2")) << text.toStdString();
}
#endif

RECORDS_ON_BOTH_ENGINES(AnalysisTest);

}  // namespace
}  // namespace yukt::records::test
