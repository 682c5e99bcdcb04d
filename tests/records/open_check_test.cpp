// The check at open of a large SQLite file, which cannot afford SQLite's
// quick check: run on a small file with the size limit at 0, it passes a
// whole file and refuses one cut short or with a foreign header.
#include "records/open_check.h"
#include "records/full_check.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>

#include "records/records_fixture.h"

namespace yukt::records::test {
namespace {

// `records` sample records of twenty points each, closed.
void FillRecords(RecordStore& store, int records) {
    for (int i = 0; i < records; ++i) {
        Record r = SampleRecord();
        ASSERT_TRUE(store.Begin(r));
        QList<RecordPoint> points;
        for (int k = 0; k < 20; ++k) points << SamplePoint(4 + k, 4 + k + 0.01);
        ASSERT_TRUE(store.AddPoints(r.id, points));
        ASSERT_TRUE(store.Close(r.id));
    }
}

TEST(OpenCheck, ALargeFilesHeaderAndSmallTablesAreChecked) {
    QTemporaryDir dir;
    const QString whole = dir.filePath("whole.sqlite");
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(whole)) << store.LastError().toStdString();
        ASSERT_NO_FATAL_FAILURE(FillRecords(store, 20));
    }
    const qint64 size = QFileInfo(whole).size();
    ASSERT_GT(size, 16 * 4096);
    const struct {
        const char* name;
        std::function<void(QFile&)> damage;
        const char* problem;  // empty: whole
    } cases[] = {
        {"whole", [](QFile&) {}, ""},
        {"cut short", [&](QFile& f) { f.resize(size / 2); }, "короче"},
        {"foreign header", [](QFile& f) { f.write("NotSQLite format"); }, "не SQLite"},
        {"page size not a power of two",
         [](QFile& f) {
             f.seek(16);
             f.write(QByteArray("\x03\x00", 2));
         },
         "размер страницы"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString copy = dir.filePath("copy-" + QString(c.name) + ".sqlite");
        ASSERT_TRUE(QFile::copy(whole, copy));
        {
            QFile f(copy);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            c.damage(f);
        }
        QStringList problems;
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", c.name);
            db.setDatabaseName(copy);
            ASSERT_TRUE(db.open());
            ok = OpenCheck(db, copy, &problems, 0);
            db.close();
        }
        QSqlDatabase::removeDatabase(c.name);
        EXPECT_EQ(ok, QString(c.problem).isEmpty()) << problems.join("; ").toStdString();
        if (*c.problem) {
            EXPECT_TRUE(problems.join("; ").contains(QString::fromUtf8(c.problem)))
                << problems.join("; ").toStdString();
        }
    }
}

// The schedule's decision: never made, older than the setting, or stamped
// ahead of a clock set back; never with the setting at 0.
TEST(FullCheck, IsDueWhenTheLastIsOlderThanTheSetting) {
    const QDateTime now(QDate(2026, 12, 9), QTime(12, 0), QTimeZone::utc());
    const struct {
        const char* name;
        QDateTime last;
        int days;
        bool due;
    } cases[] = {
        {"never made", {}, 7, true},
        {"made an hour ago", now.addSecs(-3600), 7, false},
        {"six days and 23 hours ago", now.addSecs(-(7 * 86400 - 3600)), 7, false},
        {"exactly seven days ago", now.addDays(-7), 7, true},
        {"a month ago", now.addMonths(-1), 7, true},
        {"a month ago, every 60 days", now.addMonths(-1), 60, false},
        {"off", {}, 0, false},
        {"stamped two days ahead", now.addDays(2), 7, true},
        {"stamped an hour ahead (clocks of two hosts)", now.addSecs(3600), 7, false},
    };
    for (const auto& c : cases) EXPECT_EQ(FullCheckDue(c.last, now, c.days), c.due) << c.name;
}

// From the database's settings: due on a new file; a stamp (written on a
// store opened to read only) makes it not due; the laboratory's setting
// counts; a damaged file is found and not stamped.
TEST(FullCheck, TheStampAndTheSettingInTheDatabase) {
    QTemporaryDir dir;
    const QString file = dir.filePath("poverka.sqlite");
    RecordStore store;
    ASSERT_TRUE(store.Open(file)) << store.LastError().toStdString();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    EXPECT_TRUE(ReadFullCheckSchedule(store, now).due);
    QStringList problems;
    QString error;
    ASSERT_TRUE(RunFullCheck(file, &problems, &error)) << error.toStdString();
    EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString();
    {
        RecordStore reader;
        reader.SetReadOnly(true);
        ASSERT_TRUE(reader.Open(file));
        ASSERT_TRUE(StampFullCheck(reader.Url(), now.addDays(-3)));
    }
    FullCheckSchedule s = ReadFullCheckSchedule(store, now);
    EXPECT_FALSE(s.due);
    EXPECT_EQ(s.days, kFullCheckDefaultDays);
    EXPECT_EQ(s.last.toSecsSinceEpoch(), now.addDays(-3).toSecsSinceEpoch());
    ASSERT_TRUE(store.SetSetting(kFullCheckDaysKey, "2"));
    EXPECT_TRUE(ReadFullCheckSchedule(store, now).due);
    ASSERT_TRUE(store.SetSetting(kFullCheckDaysKey, "каждую неделю"));  // unset: 7
    EXPECT_FALSE(ReadFullCheckSchedule(store, now).due);

    // An index page overwritten: the quick check at open may miss it, the full check does not.
    const QString damaged = dir.filePath("damaged.sqlite");
    {
        RecordStore s2;
        ASSERT_TRUE(s2.Open(damaged));
        ASSERT_NO_FATAL_FAILURE(FillRecords(s2, 30));
        QSqlQuery q(s2.Database());
        ASSERT_TRUE(q.exec("PRAGMA wal_checkpoint(TRUNCATE)"));
        ASSERT_TRUE(q.exec("PRAGMA page_size") && q.next());
        const qint64 size = q.value(0).toLongLong();
        ASSERT_TRUE(q.exec("SELECT rootpage FROM sqlite_schema WHERE name = 'points_chain'"));
        ASSERT_TRUE(q.next());
        const qint64 page = q.value(0).toLongLong();
        q.finish();
        s2.Database().close();
        QFile f(damaged);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek((page - 1) * size));
        f.write(QByteArray(size, '\x7f'));
    }
    EXPECT_TRUE(RunFullCheck(damaged, &problems, &error)) << error.toStdString();
    EXPECT_FALSE(problems.isEmpty());
}

}  // namespace
}  // namespace yukt::records::test
