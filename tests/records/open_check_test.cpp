// The check at open of a large SQLite file, which cannot afford SQLite's
// quick check: run on a small file with the size limit at 0, it passes a
// whole file and refuses one cut short or with a foreign header.
#include "records/open_check.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include "records/records_fixture.h"

namespace yukt::records::test {
namespace {

TEST(OpenCheck, ALargeFilesHeaderAndSmallTablesAreChecked) {
    QTemporaryDir dir;
    const QString whole = dir.filePath("whole.sqlite");
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(whole)) << store.LastError().toStdString();
        for (int i = 0; i < 20; ++i) {
            Record r = SampleRecord();
            ASSERT_TRUE(store.Begin(r));
            QList<RecordPoint> points;
            for (int k = 0; k < 20; ++k) points << SamplePoint(4 + k, 4 + k + 0.01);
            ASSERT_TRUE(store.AddPoints(r.id, points));
            ASSERT_TRUE(store.Close(r.id));
        }
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

}  // namespace
}  // namespace yukt::records::test
