#include "storage/DatabaseTarget.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlError>

#include <algorithm>

namespace {

// libpq waits for an unreachable host as long as the network does (minutes); a connection string
// that names its own connect_timeout keeps it, as the later keyword wins.
constexpr char kDefaultConnectTimeout[] =
    "connect_timeout=10 keepalives_idle=10 keepalives_interval=5 keepalives_count=3 tcp_user_timeout=20000 ";

struct Pair
{
    QString key;
    QString value;
};

bool isConninfoSpace(QChar c)
{
    return c == QLatin1Char(' ') || (c >= QLatin1Char('\t') && c <= QLatin1Char('\r'));
}

// The pairs as libpq reads them (its conninfo_parse) once Qt's driver has turned every ';' into a
// space, quoted values included. False where libpq would refuse the string as written.
bool parsePairs(const QString &connection, QList<Pair> &pairs)
{
    const QString text = QString(connection).replace(QLatin1Char(';'), QLatin1Char(' '));
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skipSpace = [&] {
        while (i < n && isConninfoSpace(text.at(i)))
            ++i;
    };
    for (;;) {
        skipSpace();
        if (i >= n)
            return true;
        Pair pair;
        while (i < n && text.at(i) != QLatin1Char('=') && !isConninfoSpace(text.at(i)))
            pair.key += text.at(i++);
        skipSpace();
        if (i >= n || text.at(i) != QLatin1Char('='))
            return false;
        ++i;
        skipSpace();
        const bool quoted = i < n && text.at(i) == QLatin1Char('\'');
        if (quoted)
            ++i;
        for (;;) {
            if (i >= n) {
                if (quoted)
                    return false;
                break;
            }
            const QChar c = text.at(i++);
            if (c == QLatin1Char('\\')) {
                if (i < n)
                    pair.value += text.at(i++);
            } else if (quoted ? c == QLatin1Char('\'') : isConninfoSpace(c)) {
                break;
            } else {
                pair.value += c;
            }
        }
        pairs << pair;
    }
}

bool isUri(const QString &connection)
{
    const QString trimmed = connection.trimmed();
    return trimmed.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive) ||
           trimmed.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive);
}

// libpq's keywords are case-sensitive, but a misspelt "PASSWORD" is no less a password to keep out.
// "sslpassword" unlocks the client's key.
bool isPassword(const Pair &pair)
{
    return pair.key.compare(QLatin1String("password"), Qt::CaseInsensitive) == 0 ||
           pair.key.compare(QLatin1String("sslpassword"), Qt::CaseInsensitive) == 0;
}

bool isPassFile(const Pair &pair)
{
    return pair.key.compare(QLatin1String("passfile"), Qt::CaseInsensitive) == 0;
}

// Server settings given on connecting ("-c password=..."), which the settings file would keep.
bool setsPassword(const Pair &pair)
{
    return pair.key.compare(QLatin1String("options"), Qt::CaseInsensitive) == 0 &&
           pair.value.contains(QLatin1String("password"), Qt::CaseInsensitive);
}

// The value libpq uses: the last one given for key, or empty.
QString valueOf(const QList<Pair> &pairs, QLatin1String key)
{
    for (qsizetype i = pairs.size() - 1; i >= 0; --i) {
        if (pairs.at(i).key == key)
            return pairs.at(i).value;
    }
    return QString();
}

bool isLocalHost(const QString &host)
{
    return host.isEmpty() || host.startsWith(QLatin1Char('/')) || host.startsWith(QLatin1Char('@')) ||
           host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           host == QLatin1String("127.0.0.1") || host == QLatin1String("::1");
}

} // namespace

QSqlDatabase DatabaseTarget::add(const QString &name) const
{
    if (!server) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(location);
        // While another process holds the file locked, every statement waits up to 5 s (the driver's
        // default, stated here so that it stays bounded) before it fails with "database is locked".
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        return db;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    // Qt hands its connect options to libpq as they are (after turning ';' into spaces), so the
    // whole connection string goes there and libpq parses it, quoting and all.
    db.setConnectOptions(QLatin1String(kDefaultConnectTimeout) + location);
    return db;
}

QSqlDatabase DatabaseTarget::open(const QString &name, bool readOnly, QString &error) const
{
    QSqlDatabase db = add(name);
    if (!server && !QFileInfo::exists(location)) {
        error = QCoreApplication::translate("DatabaseTarget", "the file %1 does not exist").arg(location);
        return db;
    }
    if (!server && readOnly)
        db.setConnectOptions(db.connectOptions() + QStringLiteral(";QSQLITE_OPEN_READONLY"));
    // The server's own words when it gave any; the driver's summary adds nothing to them.
    if (!db.open())
        error =
            db.lastError().databaseText().isEmpty() ? db.lastError().text() : db.lastError().databaseText();
    return db;
}

bool DatabaseTarget::isFile(const QString &path) const
{
    if (server)
        return false;
    const QString canonical = QFileInfo(location).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(path).canonicalFilePath();
}

QString DatabaseTarget::identity() const
{
    return server ? location : QFileInfo(location).absoluteFilePath();
}

QString DatabaseTarget::passwordProblem(const QString &connection)
{
    // A URI can carry a password in its user part; Qt's driver does not take the URI form anyway.
    if (isUri(connection))
        return QCoreApplication::translate(
            "DatabaseTarget", "Write the server as key=value pairs, such as "
                              "\"host=db.example port=5432 dbname=duevia user=anna\", not as a URI.");
    QList<Pair> pairs;
    if (!parsePairs(connection, pairs))
        return QCoreApplication::translate(
            "DatabaseTarget", "Write the server as key=value pairs, such as "
                              "\"host=db.example port=5432 dbname=duevia user=anna\", with a value that "
                              "holds spaces in single quotes.");
    for (const Pair &pair : std::as_const(pairs)) {
        if (isPassword(pair))
            return QCoreApplication::translate(
                "DatabaseTarget", "The server setting must not hold a password: it would be stored in the "
                                  "settings file. Put the password in ~/.pgpass (or PGPASSFILE or a service "
                                  "file) and leave it out here.");
        if (isPassFile(pair))
            return QCoreApplication::translate(
                "DatabaseTarget", "The server setting must not name a password file: the file is the one "
                                  "PGPASSFILE names, or ~/.pgpass. Leave passfile out here.");
        if (setsPassword(pair))
            return QCoreApplication::translate(
                "DatabaseTarget", "The server setting must not set a password in \"options\": it would be "
                                  "stored in the settings file. Put the password in ~/.pgpass (or PGPASSFILE "
                                  "or a service file) and leave it out here.");
    }
    return QString();
}

QString DatabaseTarget::securityWarning(const QString &connection)
{
    QList<Pair> pairs;
    if (isUri(connection) || !parsePairs(connection, pairs))
        return QString();
    // The host name only names the server when hostaddr gives the address to connect to.
    const QString hostaddr = valueOf(pairs, QLatin1String("hostaddr"));
    const QStringList hosts =
        (hostaddr.isEmpty() ? valueOf(pairs, QLatin1String("host")) : hostaddr).split(QLatin1Char(','));
    const auto remote = std::find_if_not(hosts.cbegin(), hosts.cend(), isLocalHost);
    if (remote == hosts.cend())
        return QString();
    QString mode = valueOf(pairs, QLatin1String("sslmode"));
    if (mode.isEmpty())
        mode = QStringLiteral("prefer"); // libpq's default
    static const QStringList weak{QStringLiteral("disable"), QStringLiteral("allow"),
                                  QStringLiteral("prefer"), QStringLiteral("require"),
                                  QStringLiteral("verify-ca")};
    if (!weak.contains(mode))
        return QString();
    return QCoreApplication::translate("DatabaseTarget",
                                       "The connection to %1 is not verified (sslmode=%2): use "
                                       "sslmode=verify-full so that nobody between you and the server can "
                                       "read or change the data.")
        .arg(*remote, mode);
}

QString DatabaseTarget::displayText(const QString &connection)
{
    QList<Pair> pairs;
    if (isUri(connection) || !parsePairs(connection, pairs))
        return QCoreApplication::translate("DatabaseTarget", "(the setting \"dbServer\")");
    QStringList shown;
    for (const Pair &pair : std::as_const(pairs)) {
        QString value = pair.value;
        if (isPassword(pair) || isPassFile(pair) || setsPassword(pair)) {
            value = QStringLiteral("***");
        } else if (value.isEmpty() || std::any_of(value.cbegin(), value.cend(), [](QChar c) {
                       return isConninfoSpace(c) || c == QLatin1Char('\'') || c == QLatin1Char('\\');
                   })) {
            value.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
                .replace(QLatin1Char('\''), QLatin1String("\\'"));
            value = QLatin1Char('\'') + value + QLatin1Char('\'');
        }
        shown << pair.key + QLatin1Char('=') + value;
    }
    return shown.join(QLatin1Char(' '));
}
