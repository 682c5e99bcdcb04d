// Every stored field of a point, in one table: its column in the points
// table, its key in a spool file and the member of RecordPoint it holds.
// The SQL column lists, the row a point is stored and chained with, the
// reading back, and the spool file's writer and reader all go over it, so
// that a new field is added here once (and to RecordPoint).
#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSqlQuery>
#include <QVariant>
#include <variant>

#include "records/record.h"
#include "records/sql_text.h"

namespace yukt::records {

struct PointField {
    // The columns are hashed into the chain in this order; a group's order
    // and a column's name never change once rows are sealed with them.
    enum Group {
        Base,    // every point (sql::PointColumns)
        Margin,  // what a point owes to its reference, stored only when it has it
        Spool,   // only in a spool file
    };
    const char* column;  // in the points table; null for Spool
    const char* key;     // in a spool file
    Group group;
    std::variant<QString RecordPoint::*, int RecordPoint::*, double RecordPoint::*,
                 bool RecordPoint::*, QList<double> RecordPoint::*, QDateTime RecordPoint::*>
        member;
};

const QList<PointField>& PointFields();

// The columns of a group, in order (Base with "record_id" first).
QList<sql::Column> PointFieldColumns(PointField::Group group);
// A point's values of a group as stored (Base with `recordId` first).
QVariantList PointFieldValues(PointField::Group group, const RecordPoint& p, qint64 recordId = 0);
// Sets the members of a group from a stored row, by column name.
void SetPointFields(PointField::Group group, const QSqlQuery& q, RecordPoint& p);

// A point in a spool file and back; numbers as text in C notation, exact to
// the last bit.
QJsonObject PointJson(const RecordPoint& p);
RecordPoint PointOfJson(const QJsonObject& o);

}  // namespace yukt::records
