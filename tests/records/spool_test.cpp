// The spool written back once whatever happens: a point that did reach the
// database is known by its number, two programs opening the database at once
// never both replay one file, and "прервано" stays what the operator was told.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>
#include <thread>

#include "records/db_credentials.h"
#include "records/db_location.h"
#include "records/full_disk.h"
#include "records/point_spool.h"
#include "records/records_fixture.h"

namespace yukt::records::test {
namespace {

TEST(PointSpool, WrittenBackOnceByOneOfTwoProgramsAndAsTheOperatorWasTold) {
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
    const QString url = dir.filePath("poverka.sqlite");
    qint64 id = 0;
    {
        RecordStore run;
        ASSERT_TRUE(run.Open(url)) << run.LastError().toStdString();
        Record r = SampleRecord();
        r.plan = {{1, "5.4", "Погрешность", "error", 1, 4, "мА", {}},
                  {2, "5.4", "Погрешность", "error", 1, 20, "мА", {}}};
        ASSERT_TRUE(run.Begin(r));
        id = r.id;
        RecordPoint first = SamplePoint(4, 4.01);
        first.item = first.attempt = 1;
        ASSERT_TRUE(run.AddPoint(id, first));
        // The database is lost: the next points go to the spool.
        PointSpool spool(run, id, "база данных записей недоступна: тест");
        RecordPoint second = SamplePoint(20, 20.01);
        second.item = 2;
        second.attempt = 1;
        RecordPoint third = second;
        third.attempt = 2;
        ASSERT_TRUE(spool.Keep(second) && spool.Keep(third)) << spool.Error().toStdString();
        ASSERT_TRUE(spool.End(kInterrupted, {"база данных записей недоступна: тест"}));
        // Its first point did reach the database before the loss was seen.
        ASSERT_TRUE(run.AddPoint(id, second));
        EXPECT_EQ(second.seq, 2);
        EXPECT_EQ(QFileInfo(spool.Path()).permissions() & 0x0077, 0) << "it holds the run's token";
    }
    QStringList notes[2];
    std::thread a([&] {
        RecordStore s;
        if (s.Open(url)) notes[0] = s.SpoolNotes();
    });
    std::thread b([&] {
        RecordStore s;
        if (s.Open(url)) notes[1] = s.SpoolNotes();
    });
    a.join();
    b.join();
    EXPECT_EQ(notes[0].size() + notes[1].size(), 1) << (notes[0] + notes[1]).join('\n').toStdString();
    RecordStore check;
    ASSERT_TRUE(check.Open(url));
    const std::optional<Record> back = check.Load(id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->points.size(), 3) << "a point stored twice";
    // Every item passed, yet the run said "прервано": so says the record.
    EXPECT_EQ(back->state, RecordState::Interrupted);
    EXPECT_EQ(back->verdict, kInterrupted);
    EXPECT_TRUE(back->certificateNumber.isEmpty());
    EXPECT_TRUE(QDir(SpoolDir()).entryList(QDir::Files).isEmpty());
    qputenv("XDG_DATA_HOME", saved);
}

// A spool that cannot be written whole says so and leaves no empty file
// that would pass for a kept record.
TEST(PointSpool, AFullDiskIsAnErrorNotAnEmptyFile) {
    QTemporaryDir dir;
    FullDisk disk;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    RecordStore run;
    ASSERT_TRUE(run.Open(dir.filePath("poverka.sqlite")));
    Record r = SampleRecord();
    ASSERT_TRUE(run.Begin(r));
    qputenv("XDG_DATA_HOME", disk.Dir().toUtf8());
    QDir().mkpath(SpoolDir());
    {
        PointSpool spool(run, r.id, "база данных записей недоступна: тест");
        const FullDisk::Hold full = disk.Full();
        EXPECT_FALSE(spool.Keep(SamplePoint(4, 4.01)));
        EXPECT_FALSE(spool.End(kInterrupted, {}));
        EXPECT_TRUE(spool.Error().contains(spool.Path())) << spool.Error().toStdString();
    }
    EXPECT_TRUE(QDir(SpoolDir()).entryList(QDir::Files).isEmpty());
    qputenv("XDG_DATA_HOME", saved);
    // Nor is a password saved on it: an error, and no empty pgpass file.
    const QByteArray pgpass = qgetenv("PGPASSFILE");
    qputenv("PGPASSFILE", (disk.Dir() + "/pgpass").toUtf8());
    QString error;
    {
        const FullDisk::Hold full = disk.Full();
        EXPECT_FALSE(SavePgPassword("postgresql://lab@db/pv", "secret", &error));
    }
    EXPECT_TRUE(error.contains("pgpass")) << error.toStdString();
    {
        const FullDisk::Hold full = disk.Full();
        EXPECT_FALSE(SaveRecordsDbUrl(disk.Dir(), "postgresql://lab@db/pv"));
    }
    EXPECT_EQ(disk.Entries(), QStringList{"poverka"});
    // Where there is room: the address only, the user's own.
    ASSERT_TRUE(SaveRecordsDbUrl(dir.path(), "postgresql://lab:secret@db/pv"));
    EXPECT_EQ(RecordsDbUrl(dir.path()), "postgresql://lab@db/pv");
    EXPECT_EQ(QFile(dir.filePath("poverka.ini")).permissions() & 0x0077, 0);
    if (pgpass.isEmpty())
        qunsetenv("PGPASSFILE");
    else
        qputenv("PGPASSFILE", pgpass);
}

// The password leaves a message whatever characters it holds and however the
// message spells it.
TEST(DbCredentials, PasswordsOfAnyCharactersAreHidden) {
    for (const QString& password :
         {QString("a/b#c@d:e%f g"), QString("пароль с пробелом"), QString("%41+1"), QString("#")}) {
        SCOPED_TRACE(password.toStdString());
        const QByteArray encoded = QUrl::toPercentEncoding(password);
        const QString url = "postgresql://lab:" + QString::fromLatin1(encoded) + "@db.lab/pv";
        EXPECT_EQ(PasswordInUrl(url), password);
        std::string argument = url.toStdString();
        EXPECT_TRUE(HidePasswordInArgument(argument.data()));
        EXPECT_STREQ(argument.c_str(), "postgresql://lab@db.lab/pv");
        QString lower = QString::fromLatin1(encoded);
        for (qsizetype i = 0; i + 2 < lower.size(); ++i)
            if (lower[i] == '%') {
                lower[i + 1] = lower[i + 1].toLower();
                lower[i + 2] = lower[i + 2].toLower();
            }
        QString form = QString::fromLatin1(encoded);
        form.replace("%20", "+");
        const QString message = "FATAL: password \"" + password + "\" for " + url + " (" + lower +
                                ", " + form + ")";
        const QString shown = HidePassword(message, password);
        for (const QString& spelling : {password, QString::fromLatin1(encoded), lower, form})
            EXPECT_FALSE(shown.contains(spelling)) << shown.toStdString();
    }
}

}  // namespace
}  // namespace yukt::records::test
