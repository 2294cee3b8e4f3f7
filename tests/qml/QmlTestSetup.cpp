#include "QmlTestSetup.h"

#include <QQmlContext>
#include <QSqlQuery>

QmlTestSetup::QmlTestSetup()
{
    m_settings = std::make_unique<SettingsService>();
    m_sandbox.openDatabase(m_db);
    m_auth = std::make_unique<AuthService>(&m_db);
}

QmlTestSetup::~QmlTestSetup() = default;

void QmlTestSetup::qmlEngineAvailable(QQmlEngine *engine)
{
    engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    QQmlContext *context = engine->rootContext();
    context->setContextProperty(QStringLiteral("auth"), m_auth.get());
    context->setContextProperty(QStringLiteral("dbPath"), m_sandbox.databaseFile());
    context->setContextProperty(QStringLiteral("defaultDbPath"), m_sandbox.filePath(QStringLiteral("default.db")));
    context->setContextProperty(QStringLiteral("settings"), m_settings.get());
    context->setContextProperty(QStringLiteral("testSupport"), this);
}

int QmlTestSetup::signIn(const QString &username)
{
    return signInTestUser(*m_auth, username);
}

bool QmlTestSetup::exec(const QString &sql)
{
    return execSql(m_db, sql);
}

QVariant QmlTestSetup::scalar(const QString &sql)
{
    QSqlQuery query(m_db.database());
    if (!query.exec(sql) || !query.next())
        return {};
    return query.value(0);
}

bool QmlTestSetup::makeDatabaseReadOnly()
{
    QSqlDatabase db = m_db.database();
    db.close();
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    return db.open();
}

bool QmlTestSetup::makeDatabaseWritable()
{
    QSqlDatabase db = m_db.database();
    db.close();
    db.setConnectOptions(QString());
    return db.open();
}
