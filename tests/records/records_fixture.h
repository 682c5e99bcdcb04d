// Runs a test on both engines: a SQLite file in a temporary directory and a
// fresh database on the private PostgreSQL server.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QSqlDatabase>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

#include "records/lab_references.h"
#include "records/lab_settings.h"
#include "records/pg_server.h"
#include "records/record_store.h"

namespace yukt::records::test {

class EngineTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        if (QString(GetParam()) == "sqlite") {
            m_url = m_dir.path() + "/poverka.sqlite";
            return;
        }
        QString why;
        m_server = SharedPgServer(&why);
        if (!m_server) {
            if (why.contains("absent")) GTEST_SKIP() << why.toStdString();
            FAIL() << "PostgreSQL server would not start: " << why.toStdString();
        }
        // The tests work as a workstation does: its role only reads and appends.
        m_url = PgServer::Provision(m_server->NewDatabase(&why), &why);
        ASSERT_FALSE(m_url.isEmpty()) << why.toStdString();
    }
    // Opens a new connection on the test's database.
    std::unique_ptr<RecordStore> Connect(const QString& url = {}, int version = -1) {
        auto store = std::make_unique<RecordStore>();
        EXPECT_TRUE(store->Open(url.isEmpty() ? m_url : url, version))
            << store->LastError().toStdString();
        return store;
    }
    // Another, empty database, as its owner would open it (migrations).
    QString FreshDatabase() {
        QString why;
        if (!m_server) return m_dir.path() + "/fresh.sqlite";
        const QString url = m_server->NewDatabase(&why);
        EXPECT_FALSE(url.isEmpty()) << why.toStdString();
        return url;
    }

    QTemporaryDir m_dir;
    QString m_url;
    PgServer* m_server = nullptr;
};

inline std::string EngineName(const ::testing::TestParamInfo<const char*>& info) {
    return info.param;
}

#define RECORDS_ON_BOTH_ENGINES(suite) \
    INSTANTIATE_TEST_SUITE_P(Engines, suite, ::testing::Values("sqlite", "postgresql"), EngineName)

// A record with every operator field filled, as the dialog would give it.
Record SampleRecord();
RecordPoint SamplePoint(double nominal, double measured, double limit = 0.05);
// The laboratory's settings a closing and an export need: organisation,
// sign cipher, one means (uve number).
LabSettings SampleLabSettings();
// The protocol of `r` written to `name` (in PROTOCOL_PDF_DIR when set, to
// keep it for a look) and read back with pdftotext -layout, page by page,
// no-break spaces as spaces.
QStringList ProtocolPages(const Record& r, const QString& name);

// The chain walked to its end with no problem; otherwise what went wrong.
::testing::AssertionResult ChainWhole(RecordStore& store);

// A copy of the SQLite file `from` at `copy`, its guards dropped as the
// file's owner could, then `sql` run on it and `then` given the open copy.
void TamperedCopy(const QString& from, const QString& copy, const QStringList& sql,
                  const std::function<void(QSqlDatabase&)>& then = {});

// What yukt-records said and its exit status; `prepare` sets up the process
// before it starts (its environment, a full disk).
struct ToolRun {
    int status = -1;
    QString out, err;
    QString All() const { return out + err; }
};
ToolRun RunRecordsTool(const QStringList& args,
                       const std::function<void(QProcess&)>& prepare = {});

// A calibrator of the register (mieta) that supplies `quantities` until `until`.
LabReference SampleReference(const QString& number, const QStringList& quantities,
                             const QDate& until);
// A reference of the register valid for a year from today that supplies
// every quantity, so that a run passes the gate.
bool AddSampleReference(RecordStore& store, const QString& number = "3.1.A.1");
// The laboratory's details a verification starts with (organisation, sign
// cipher, the reference's number), without the reference itself.
bool SetSampleLabSettings(RecordStore& store);

}  // namespace yukt::records::test
