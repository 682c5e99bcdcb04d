// Runs a test on both engines: a SQLite file in a temporary directory and a
// fresh database on the private PostgreSQL server.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

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
        PgServer* server = SharedPgServer(&why);
        if (!server) {
            if (why.contains("absent")) GTEST_SKIP() << why.toStdString();
            FAIL() << "PostgreSQL server would not start: " << why.toStdString();
        }
        m_url = server->NewDatabase(&why);
        ASSERT_FALSE(m_url.isEmpty()) << why.toStdString();
    }
    // Opens a new connection on the test's database.
    std::unique_ptr<RecordStore> Connect(int version = -1) {
        auto store = std::make_unique<RecordStore>();
        EXPECT_TRUE(store->Open(m_url, version)) << store->LastError().toStdString();
        return store;
    }

    QTemporaryDir m_dir;
    QString m_url;
};

inline std::string EngineName(const ::testing::TestParamInfo<const char*>& info) {
    return info.param;
}

#define RECORDS_ON_BOTH_ENGINES(suite) \
    INSTANTIATE_TEST_SUITE_P(Engines, suite, ::testing::Values("sqlite", "postgresql"), EngineName)

// A record with every operator field filled, as the dialog would give it.
Record SampleRecord();
RecordPoint SamplePoint(double nominal, double measured, double limit = 0.05);

}  // namespace yukt::records::test
