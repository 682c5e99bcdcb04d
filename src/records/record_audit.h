// What the chain alone cannot show: a verdict its plan and attempts do not
// give, points added after the closing, positions past the counter or taken
// twice, a record number used again; printed hashes looked up; anchors, the
// chain's head kept outside the database, checked against it.
#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

namespace yukt::records {

// Appends to `problems` one line per contradiction found; false (with
// `error`) only when the database cannot be read. Reads only.
bool CheckMeaning(QSqlDatabase db, QStringList* problems, QString* error);

// Where the entry whose hash is `hash` is: its record and position.
struct ChainPlace {
    qint64 record = 0;
    qint64 seq = 0;
};
std::optional<ChainPlace> FindChainHash(QSqlDatabase db, const QString& hash, QString* error);

// The chain's head: the latest position and its stored hash.
struct Anchor {
    qint64 seq = 0;
    QString hash;
    QDateTime at;  // UTC, when it was taken
};
std::optional<Anchor> ChainHead(QSqlDatabase db, QString* error);
// One line of an anchor file: "POSITION HASH TIME".
QString AnchorLine(const Anchor& a);
std::optional<Anchor> ParseAnchorLine(const QString& line);
// Appends `a` to the file (created 0644, appended and synced).
bool AppendAnchor(const QString& path, const Anchor& a, QString* error);
// Checks every anchor of `path` against the chain: one line per anchor no
// longer there. False (with `error`) when the file or database cannot be read.
bool CheckAnchors(QSqlDatabase db, const QString& path, QStringList* problems, int* checked,
                  QString* error);

// The workstation's anchor file of the database with identity `databaseId`:
// in the user's configuration folder, away from the database's own folder.
QString LocalAnchorFile(const QString& databaseId);

}  // namespace yukt::records
