// The records database's password stays out of sight: never echoed in a
// message, never saved in poverka.ini, never left on a command line. The
// way a laboratory is meant to give it is libpq's own: the pgpass file
// (~/.pgpass or PGPASSFILE) and connection service files (?service=NAME).
#pragma once

#include <QString>

class QUrlQuery;

namespace yukt::records {

// The password a PostgreSQL URL carries in its user part or as ?password=,
// decoded; empty when there is none (or the URL is not PostgreSQL's).
QString PasswordInUrl(const QString& url);
// The URL without its password, as it may be shown or saved.
QString UrlWithoutPassword(const QString& url);
// `text` with the password (as given and percent-encoded) and the password
// of any PostgreSQL URL in it replaced by "***".
QString HidePassword(QString text, const QString& password);

// From now on no core dump of this process: one would hold the password it
// was given (typed in a window, read from a URL).
void KeepOutOfCoreDumps();

// Overwrites a command-line argument holding a PostgreSQL URL with a
// password in place, so that ps and /proc/PID/cmdline show it without;
// the argument must have been read before. True when it held one.
bool HidePasswordInArgument(char* argument);
// True when one held a password.
bool HidePasswordsInArguments(int argc, char** argv);

// The libpq keywords a URL's query may give (service, passfile, sslmode...),
// as the PostgreSQL driver's connect options; an unknown keyword or an
// unsafe value is an error.
QString PgConnectOptions(const QUrlQuery& query, QString* error);

// Why a --db URL with a password is refused (without --allow-password-in-url).
inline constexpr const char* kPasswordInUrlRefused =
    "пароль в адресе базы данных не принимается: задайте его в ~/.pgpass, PGPASSFILE или файле "
    "служб (?service=…); прежняя запись — только с --allow-password-in-url";

// The pgpass file libpq reads: PGPASSFILE, else ~/.pgpass.
QString PgPassFile();
// Adds, or replaces, the entry of the URL's host, port, database and user in
// the pgpass file, which stays readable by its owner alone (libpq ignores it
// otherwise).
bool SavePgPassword(const QString& url, const QString& password, QString* error);

}  // namespace yukt::records
