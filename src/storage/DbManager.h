#pragma once

#include <QObject>
#include <QSqlDatabase>

// Owns the program's one SQLite connection (Qt's default connection) and the schema of all tables.
class DbManager : public QObject
{
    Q_OBJECT

public:
    explicit DbManager(QObject *parent = nullptr);
    ~DbManager() override;

    bool open(const QString &path);
    void ensureSchema();
    // Everything the file holds beside the four tables (indexes, counters, search index), built in
    // one transaction when the file lacks it. Returns whether the file holds it now.
    bool ensureIndexes();
    QSqlDatabase database() const { return m_db; }
    bool isOpen() const { return m_db.isValid() && m_db.isOpen(); }

private:
    QSqlDatabase m_db;
};
