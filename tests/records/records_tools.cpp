// The protocol read back and yukt-records run, for the records suite only
// (its GoogleTest checks).
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "records/protocol_pdf.h"
#include "records/record_chain.h"
#include "records/records_fixture.h"

namespace yukt::records::test {

QStringList ProtocolPages(const Record& r, const QString& name) {
    QTemporaryDir dir;
    const QString path = qEnvironmentVariable("PROTOCOL_PDF_DIR", dir.path()) + '/' + name;
    QString error;
    EXPECT_TRUE(WriteProtocolPdf(r, path, &error)) << error.toStdString();
    QProcess p;
    p.start("pdftotext", {"-layout", "-enc", "UTF-8", path, "-"});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << "pdftotext (poppler-utils) is needed";
    QString text = QString::fromUtf8(p.readAllStandardOutput()).replace(QChar(0xA0), ' ');
    QStringList pages = text.split('\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
    return pages;
}

::testing::AssertionResult ChainWhole(RecordStore& store) {
    ChainReport report;
    if (!store.VerifyChain(report))
        return ::testing::AssertionFailure() << "the chain was not walked: "
                                             << store.LastError().toStdString();
    if (!report.problems.isEmpty())
        return ::testing::AssertionFailure() << report.problems.join('\n').toStdString();
    return ::testing::AssertionSuccess();
}

void TamperedCopy(const QString& from, const QString& copy, const QStringList& sql,
                  const std::function<void(QSqlDatabase&)>& then) {
    ASSERT_TRUE(QFile::copy(from, copy));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "tamper");
        db.setDatabaseName(copy);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        QStringList triggers;
        q.exec("SELECT name FROM sqlite_master WHERE type = 'trigger'");
        while (q.next()) triggers << q.value(0).toString();
        for (const QString& t : triggers) ASSERT_TRUE(q.exec("DROP TRIGGER " + t));
        for (const QString& s : sql) ASSERT_TRUE(q.exec(s)) << s.toStdString();
        if (then) then(db);
        db.close();
    }
    QSqlDatabase::removeDatabase("tamper");
}

ToolRun RunRecordsTool(const QStringList& args, const std::function<void(QProcess&)>& prepare) {
#ifdef YUKT_RECORDS_TOOL
    QProcess p;
    if (prepare) prepare(p);
    p.start(YUKT_RECORDS_TOOL, args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
#else
    (void)args, (void)prepare;
    ADD_FAILURE() << "built without yukt-records";
    return {};
#endif
}

}  // namespace yukt::records::test
