#include "storage/DatabaseTarget.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlError>

namespace {

// libpq waits for an unreachable host as long as the network does (minutes); a connection string
// that names its own connect_timeout keeps it, as the later keyword wins.
constexpr char kDefaultConnectTimeout[] = "connect_timeout=10 ";

// The keywords of a libpq key=value connection string, in order; values may be quoted with ' and
// escape characters with a backslash.
QStringList keywords(const QString &connection)
{
    QStringList keys;
    qsizetype i = 0;
    const qsizetype n = connection.size();
    auto skipSpace = [&] {
        while (i < n && connection.at(i).isSpace())
            ++i;
    };
    while (true) {
        skipSpace();
        if (i >= n)
            break;
        const qsizetype start = i;
        while (i < n && connection.at(i) != QLatin1Char('=') && !connection.at(i).isSpace())
            ++i;
        keys << connection.mid(start, i - start).toLower();
        skipSpace();
        if (i < n && connection.at(i) == QLatin1Char('='))
            ++i;
        skipSpace();
        const bool quoted = i < n && connection.at(i) == QLatin1Char('\'');
        if (quoted)
            ++i;
        for (; i < n; ++i) {
            const QChar c = connection.at(i);
            if (c == QLatin1Char('\\')) {
                ++i;
            } else if (quoted ? c == QLatin1Char('\'') : c.isSpace()) {
                ++i;
                break;
            }
        }
    }
    return keys;
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
    const QString trimmed = connection.trimmed();
    // A URI can carry a password in its user part; Qt's driver does not take the URI form anyway.
    if (trimmed.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive) ||
        trimmed.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive))
        return QCoreApplication::translate(
            "DatabaseTarget", "Write the server as key=value pairs, such as "
                              "\"host=db.example port=5432 dbname=duevia user=anna\", not as a URI.");
    if (keywords(trimmed).contains(QLatin1String("password")))
        return QCoreApplication::translate(
            "DatabaseTarget", "The server setting must not hold a password: it would be stored in the "
                              "settings file. Put the password in ~/.pgpass (or PGPASSFILE or a service "
                              "file) and leave it out here.");
    return QString();
}
