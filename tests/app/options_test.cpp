// The command line and working directory of the workstation, and the journal
// file that survives a run that died with a module's FLASH changed.

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/flash_journal.h"
#include "app/start_options.h"
#include "common/cp1251.h"

using namespace yukt;

class OptionsTest : public QObject {
    Q_OBJECT

  private slots:
    void chooseWorkingDirectory_data();
    void chooseWorkingDirectory();
    void journalRoundTrip();
    void journalRefusesDamagedFile_data();
    void journalRefusesDamagedFile();
};

void OptionsTest::chooseWorkingDirectory_data() {
    QTest::addColumn<QStringList>("extra");     // options after the program name
    QTest::addColumn<bool>("programWritable");  // the program's own directory
    QTest::addColumn<QString>("expect");        // "program", "chosen", "user"
    QTest::addColumn<QString>("trace");         // the traffic trace file
    QTest::newRow("installation") << QStringList{} << true << "program"
                                  << "";
    QTest::newRow("read-only installation") << QStringList{} << false << "user"
                                            << "";
    QTest::newRow("--workdir") << QStringList{"--workdir"} << true << "user"
                               << "";
    QTest::newRow("--workdir=DIR") << QStringList{"--workdir=CHOSEN"} << true << "chosen"
                                   << "";
    QTest::newRow("--trace FILE") << QStringList{"--trace", "/tmp/a b.trace"} << true << "program"
                                  << "/tmp/a b.trace";
    QTest::newRow("--trace=FILE") << QStringList{"--trace=t.trace", "--workdir"} << true << "user"
                                  << "t.trace";
}

void OptionsTest::chooseWorkingDirectory() {
    QFETCH(QStringList, extra);
    QFETCH(bool, programWritable);
    QFETCH(QString, expect);
    QFETCH(QString, trace);
    QTemporaryDir tmp;
    const QString programDir = programWritable ? tmp.path() + "/bin" : tmp.path() + "/missing";
    if (programWritable) QDir().mkpath(programDir);
    qputenv("XDG_DATA_HOME", (tmp.path() + "/home").toLocal8Bit());
    const QString chosen = tmp.path() + "/chosen";
    extra.replaceInStrings("CHOSEN", chosen);

    QStringList args = {"poverka", "ZirokReInit", "1", "2"};
    args += extra;
    args << "0";
    const StartOptions o = ParseStartOptions(args, programDir);
    QCOMPARE(o.Arguments, QStringList({"ZirokReInit", "1", "2", "0"}));
    QVERIFY(o.ProgramDir.back() == '/');
    QCOMPARE(QString::fromStdString(o.TraceFile), trace);
    const QString dir = QString::fromStdString(o.ProgramDir);
    if (expect == "program") {
        QCOMPARE(dir, programDir + "/");
        QVERIFY(!o.WorkDirOption);
    } else if (expect == "chosen") {
        QCOMPARE(dir, chosen + "/");
        QVERIFY(QDir(chosen).exists());
        QVERIFY(o.WorkDirOption);
    } else {
        QVERIFY2(dir.startsWith(tmp.path() + "/home/"), qPrintable(dir));
        QVERIFY(QDir(dir).exists());
        QVERIFY(o.WorkDirOption);
    }
    // What the restarted instance is told leads back to the same directory.
    const StartOptions again =
        ParseStartOptions({"poverka", WorkDirArgument(o.ProgramDir)}, tmp.path() + "/missing");
    QCOMPARE(again.ProgramDir, o.ProgramDir);
    qunsetenv("XDG_DATA_HOME");
}

void OptionsTest::journalRoundTrip() {
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString() + "/";
    FlashJournal j;
    QVERIFY(!ReadFlashJournal(dir, j));
    FlashJournal w;
    w.CalibratorPort = 3;
    w.SavedAddress = 11;
    w.AddressChanged = true;
    w.CoefReplaced[1] = true;
    w.Designation = "ЮКТ - 735T.01A v10";
    QVERIFY(w.AnythingChanged());
    QVERIFY(WriteFlashJournal(dir, w));
    QVERIFY(ReadFlashJournal(dir, j));
    QCOMPARE(j.CalibratorPort, 3);
    QCOMPARE(j.SavedAddress, 11);
    QVERIFY(j.AddressChanged);
    QVERIFY(!j.CoefReplaced[0]);
    QVERIFY(j.CoefReplaced[1]);
    QCOMPARE(j.Designation, w.Designation);
    DeleteFlashJournal(dir);
    QVERIFY(!ReadFlashJournal(dir, j));
    QVERIFY(!FlashJournal{}.AnythingChanged());
}

void OptionsTest::journalRefusesDamagedFile_data() {
    QTest::addColumn<QString>("content");
    QTest::newRow("empty") << "";
    QTest::newRow("cut short") << "port 3\r\naddress 11\r\n";
    QTest::newRow("not a number")
        << "port 3\r\naddress x\r\naddress-changed 1\r\ncoef1-replaced 0\r\n"
           "coef2-replaced 0\r\n";
    QTest::newRow("directory") << "<dir>";
    QTest::newRow("fifo") << "<fifo>";
}

void OptionsTest::journalRefusesDamagedFile() {
    QFETCH(QString, content);
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString() + "/";
    const std::string path = dir + kFlashJournalName;
    // Not a file at all: a directory, or a FIFO that would block a reader.
    if (content == "<dir>")
        QVERIFY(QDir().mkpath(QString::fromStdString(path)));
    else if (content == "<fifo>")
        QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
    else
        QVERIFY(WriteTextFile(path, content.toStdString()));
    FlashJournal j;
    j.SavedAddress = 42;
    std::string why;
    QVERIFY(!ReadFlashJournal(dir, j, &why));
    QCOMPARE(j.SavedAddress, 42);  // untouched
    QVERIFY2(why.find(kFlashJournalName) != std::string::npos, why.c_str());
}

QTEST_MAIN(OptionsTest)
#include "options_test.moc"
