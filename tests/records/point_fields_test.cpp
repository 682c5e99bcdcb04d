// A point's fields, listed once: every field comes back whole from the
// database and from a spool file, the stored column names (which the chain
// hashes in this order) and a spool file written before stay as they were.
#include "records/point_fields.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include "records/records_fixture.h"
#include "records/sql_references.h"

namespace yukt::records::test {
namespace {

// Every field away from its default and from every other field.
RecordPoint FullPoint() {
    RecordPoint p = SamplePoint(20, 20.0123456789);
    p.seq = 1;
    p.readings = {20.0123456789, 0.25, -1e-300};
    p.errorKind = "abs+rel";
    p.limit = 0.01;
    p.limit2 = 0.005;
    p.spanLow = -2.5;
    p.spanHigh = 22.5;
    p.reason = "причина; «кавычки»";
    p.manual = true;
    p.measuredAt = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 89), Qt::UTC);
    p.operation = "7.4";
    p.channelNo = 11;
    p.item = 7;
    p.attempt = 2;
    p.resolution = 0.0001;
    p.refRatio = 3.25;
    p.remark = "замечание";
    p.hasU = true;
    p.referenceError = 0.0021;
    p.u = 0.00123;
    p.marginal = true;
    return p;
}

std::string Json(const RecordPoint& p) {
    return QJsonDocument(PointJson(p)).toJson(QJsonDocument::Compact).toStdString();
}

class PointFieldsTest : public EngineTest {};

TEST_P(PointFieldsTest, EveryFieldComesBackFromTheDatabaseAndASpoolFile) {
    auto store = Connect();
    Record r = SampleRecord();
    ASSERT_TRUE(store->Begin(r)) << store->LastError().toStdString();
    RecordPoint full = FullPoint();
    RecordPoint plain = SamplePoint(4, 4.01);  // no margins: none stored
    ASSERT_TRUE(store->AddPoint(r.id, full) && store->AddPoint(r.id, plain))
        << store->LastError().toStdString();
    const std::optional<Record> back = Connect()->Load(r.id);
    ASSERT_TRUE(back && back->points.size() == 2);
    EXPECT_EQ(Json(back->points[0]), Json(full));
    EXPECT_EQ(Json(back->points[1]), Json(plain));
    EXPECT_FALSE(back->points[1].hasU);
    EXPECT_EQ(Json(PointOfJson(PointJson(full))), Json(full));
}

RECORDS_ON_BOTH_ENGINES(PointFieldsTest);

TEST(PointFields, StoredNamesStayAsDatabasesAndSpoolFilesHaveThem) {
    // Renaming or reordering these would orphan the columns of stored
    // databases and change the hash of every point sealed in a chain.
    EXPECT_EQ(sql::Names(sql::PointColumns()).join(' '),
              "record_id seq procedure_name channel nominal reference readings measured "
              "error_kind error limit_value result reason manual measured_utc unit operation "
              "channel_no item attempt resolution limit2 span_low span_high ref_ratio remark");
    EXPECT_EQ(sql::Names(sql::PointMarginColumns()).join(' '), "ref_error u marginal");
    // A spool file as the earlier writer left it reads whole.
    const QByteArray earlier =
        R"({"attempt":2,"channel":"канал 1","channel_no":11,"error":"0.0123456789","error_kind":"abs+rel",)"
        R"("has_u":true,"item":7,"limit":"0.01","limit2":"0.005","manual":true,)"
        R"("marginal":true,"measured":"20.0123456789","measured_utc":"2026-03-04T05:06:07.089Z",)"
        R"("nominal":"20","operation":"7.4","procedure":"ток 745t","readings":["20.0123456789",)"
        R"("0.25","-1e-300"],"reason":"причина; «кавычки»",)"
        R"("ref_error":"0.0021","ref_ratio":"3.25","reference":"20","remark":"замечание",)"
        R"("resolution":"0.0001","result":"pass","seq":1,"span_high":"22.5","span_low":"-2.5",)"
        R"("u":"0.00123","unit":"мА"})";
    const RecordPoint p = PointOfJson(QJsonDocument::fromJson(earlier).object());
    RecordPoint expected = FullPoint();
    expected.error = 0.0123456789;
    EXPECT_EQ(Json(p), Json(expected));
    EXPECT_EQ(p.readings.size(), 3);
    EXPECT_EQ(p.measuredAt, expected.measuredAt);
    EXPECT_TRUE(p.manual && p.marginal && p.hasU);
}

}  // namespace
}  // namespace yukt::records::test
