#include "services/FilePreparation.h"

#include "storage/DbManager.h"
#include "storage/SchemaExtras.h"

#include <QDebug>
#include <QEventLoop>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QSqlDatabase>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <memory>

FilePreparation::FilePreparation(DbManager *db, QObject *parent) : QObject(parent), m_db(db) {}

void FilePreparation::cancel()
{
    m_cancelled = true;
}

void FilePreparation::setProgress(double progress)
{
    if (qFuzzyCompare(progress, m_progress))
        return;
    m_progress = progress;
    emit progressChanged();
}

bool FilePreparation::run()
{
    if (!m_db || !m_db->isOpen() || m_db->hasIndexes())
        return true;

    // SQLite connections belong to the thread that opened them: the worker opens its own.
    const QString path = m_db->database().databaseName();
    bool built = false;
    std::unique_ptr<QThread> worker(QThread::create([this, path, &built] {
        const QString name = QStringLiteral("duevia-preparation");
        {
            QSqlDatabase connection = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            connection.setDatabaseName(path);
            built = connection.open() && SchemaExtras::build(connection, [this](int done, int total) {
                        QMetaObject::invokeMethod(
                            this, [this, done, total] { setProgress(double(done) / total); },
                            Qt::QueuedConnection);
                        return !m_cancelled;
                    });
        }
        QSqlDatabase::removeDatabase(name);
    }));
    QEventLoop loop;
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    // A small file is ready before a window would be worth showing.
    QQmlApplicationEngine engine;
    QTimer::singleShot(300, &loop, [this, &engine] {
        engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
        engine.rootContext()->setContextProperty(QStringLiteral("preparation"), this);
        engine.load(QUrl(QStringLiteral("qrc:/qt/qml/QuilloQml/PreparationWindow.qml")));
    });
    loop.exec();
    worker->wait();
    // ensureIndexes() now only finds the build in place and turns on the write-ahead log.
    return built && !m_cancelled && m_db->ensureIndexes();
}
