#include "records/db_credentials.h"

#include <sys/prctl.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "records/record_store.h"
#include "records/whole_file.h"

namespace yukt::records {
namespace {

const char* const kUrlEnd = " \t\r\n\"'";

bool IsPostgresScheme(const QString& scheme) {
    return scheme == "postgresql" || scheme == "postgres";
}

// Where the PostgreSQL URL beginning before `from` has its authority: the
// offset just after "://", or npos when no further URL is in `text`.
std::size_t NextAuthority(const std::string& text, std::size_t& from) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (;;) {
        const std::size_t at = lower.find("postgres", from);
        if (at == std::string::npos) return std::string::npos;
        std::size_t p = at + 8;
        if (lower.compare(p, 2, "ql") == 0) p += 2;
        from = p;
        if (lower.compare(p, 3, "://") == 0) return p + 3;
    }
}

// Removes the password of one URL's query (?password=...), if any; `begin`
// is the offset of the query's "?".
void DropQueryPassword(std::string& s, std::size_t begin) {
    const std::size_t end = std::min(s.find_first_of(kUrlEnd, begin), s.find('#', begin));
    std::string query = s.substr(begin + 1, end == std::string::npos ? end : end - begin - 1);
    std::string kept;
    std::size_t item = 0;
    while (item <= query.size()) {
        std::size_t next = query.find('&', item);
        if (next == std::string::npos) next = query.size();
        const std::string part = query.substr(item, next - item);
        if (part.rfind("password=", 0) != 0 && part != "password" && !part.empty())
            kept += (kept.empty() ? "" : "&") + part;
        item = next + 1;
    }
    s.replace(begin, query.size() + 1, kept.empty() ? std::string() : "?" + kept);
}

// Every PostgreSQL URL in `text` without its password, as QUrl splits it:
// the authority ends at the first "/", "?" or "#", its last "@" ends the
// user part, whose first ":" begins the password.
std::string StripPasswords(std::string s) {
    std::size_t from = 0;
    for (std::size_t p = NextAuthority(s, from); p != std::string::npos;
         p = NextAuthority(s, from)) {
        std::size_t end = s.find_first_of(std::string("/?#") + kUrlEnd, p);
        if (end == std::string::npos) end = s.size();
        const std::size_t at = s.rfind('@', end == 0 ? 0 : end - 1);
        if (at != std::string::npos && at >= p) {
            const std::size_t colon = s.find(':', p);
            if (colon < at) {
                s.erase(colon, at - colon);
                end -= at - colon;
            }
        }
        if (end < s.size() && s[end] == '/')
            end = s.find_first_of(std::string("?#") + kUrlEnd, end);
        if (end != std::string::npos && end < s.size() && s[end] == '?') DropQueryPassword(s, end);
        from = p;
    }
    return s;
}

QString EscapedPgPassField(QString field) {
    return field.replace('\\', "\\\\").replace(':', "\\:");
}

}  // namespace

QString PasswordInUrl(const QString& text) {
    const QUrl url(text);
    if (!IsPostgresScheme(url.scheme().toLower())) return {};
    const QString inUser = url.password(QUrl::FullyDecoded);
    if (!inUser.isEmpty()) return inUser;
    return QUrlQuery(url).queryItemValue("password", QUrl::FullyDecoded);
}

QString UrlWithoutPassword(const QString& url) {
    return QString::fromStdString(StripPasswords(url.toStdString()));
}

QString HidePassword(QString text, const QString& password) {
    text = UrlWithoutPassword(text);
    if (password.isEmpty()) return text;
    // Every spelling it may take in a message: as typed, percent-encoded
    // (either case of hex digits) and form-encoded (a blank as "+").
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(password));
    QString lower = encoded;
    for (qsizetype i = 0; i + 2 < lower.size(); ++i)
        if (lower[i] == '%') {
            lower[i + 1] = lower[i + 1].toLower();
            lower[i + 2] = lower[i + 2].toLower();
        }
    QString form = encoded;
    form.replace(QStringLiteral("%20"), QStringLiteral("+"));
    for (const QString& spelling : {password, encoded, lower, form})
        text.replace(spelling, QStringLiteral("***"));
    return text;
}

bool HidePasswordInArgument(char* argument) {
    const std::string before(argument);
    const std::string after = StripPasswords(before);
    if (after == before) return false;
    // Only ever shorter: the rest of the original text becomes NULs.
    std::memcpy(argument, after.data(), after.size());
    std::memset(argument + after.size(), 0, before.size() - after.size());
    return true;
}

bool HidePasswordsInArguments(int argc, char** argv) {
    bool any = false;
    for (int i = 1; i < argc; ++i)
        if (argv[i] != nullptr) any = HidePasswordInArgument(argv[i]) || any;
    return any;
}

QString PgConnectOptions(const QUrlQuery& query, QString* error) {
    // Keywords handled as URL parts, and the libpq ones a laboratory needs.
    static const QStringList kParts = {"host", "port", "password"};
    static const QStringList kKeywords = {"service",          "passfile",
                                          "sslmode",          "sslrootcert",
                                          "sslcert",          "sslkey",
                                          "sslcrl",           "connect_timeout",
                                          "application_name", "target_session_attrs",
                                          "keepalives_idle",  "tcp_user_timeout"};
    QStringList options;
    bool timeout = false;
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (kParts.contains(key)) continue;
        if (!kKeywords.contains(key)) {
            if (error)
                *error = QStringLiteral("В адресе базы данных неизвестный параметр «%1»").arg(key);
            return {};
        }
        // The driver joins the options with blanks: a value must be one word.
        static const QString kUnsafe = QStringLiteral(" \t\r\n;'\\=");
        if (value.isEmpty() ||
            std::any_of(value.begin(), value.end(), [](QChar c) { return kUnsafe.contains(c); })) {
            if (error)
                *error = QStringLiteral("В адресе базы данных недопустимое значение параметра «%1»")
                             .arg(key);
            return {};
        }
        timeout = timeout || key == "connect_timeout";
        options << key + '=' + value;
    }
    // An unreachable server must not hold a start or a run for minutes.
    if (!timeout) options << QStringLiteral("connect_timeout=10");
    // A connection gone silent (a cable pulled, a server frozen at a COMMIT)
    // is given up within half a minute, not after the system's two hours.
    if (!query.hasQueryItem("keepalives_idle"))
        options << QStringLiteral("keepalives_idle=10") << QStringLiteral("keepalives_interval=5")
                << QStringLiteral("keepalives_count=3");
    if (!query.hasQueryItem("tcp_user_timeout")) options << QStringLiteral("tcp_user_timeout=30000");
    return options.join(';');
}

QString PgPassFile() {
    const QString given = qEnvironmentVariable("PGPASSFILE");
    return given.isEmpty() ? QDir::homePath() + QStringLiteral("/.pgpass") : given;
}

bool SavePgPassword(const QString& url, const QString& password, QString* error) {
    const std::optional<DbUrl> parsed = ParseDbUrl(url, error);
    if (!parsed) return false;
    if (parsed->driver != "QPSQL") {
        if (error) *error = QStringLiteral("Пароль нужен только базе PostgreSQL");
        return false;
    }
    auto field = [](const QString& value) {
        return value.isEmpty() ? QStringLiteral("*") : EscapedPgPassField(value);
    };
    // A Unix socket in the default folder and no host at all both match "localhost".
    const QString prefix =
        QStringList{parsed->host.isEmpty() ? QStringLiteral("localhost") : field(parsed->host),
                    parsed->port > 0 ? QString::number(parsed->port) : QStringLiteral("*"),
                    field(parsed->database), field(parsed->user)}
            .join(':') +
        ':';
    const QString path = PgPassFile();
    QStringList lines;
    QFile old(path);
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly)) {
            if (error) *error = path + ": " + old.errorString();
            return false;
        }
        for (const QString& line : QString::fromUtf8(old.readAll()).split('\n'))
            if (!line.isEmpty() && !line.startsWith(prefix)) lines << line;
    }
    lines << prefix + EscapedPgPassField(password);
    // Whole or not at all (a full disk keeps the old file, never an empty
    // one), synced, and readable by its owner alone (a temporary file's 0600).
    WholeFile file(path);
    file.SetOwnerOnly();
    const QByteArray text = (lines.join('\n') + '\n').toUtf8();
    QString failure;
    const bool ok = file.Begin(&failure) && file.write(text) == text.size() &&
                    file.Commit(&failure);
    if (!ok && error) *error = failure.isEmpty() ? WriteFailure(path, file.errorString()) : failure;
    return ok;
}

void KeepOutOfCoreDumps() { ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0); }

}  // namespace yukt::records
