#pragma once

#include "TestSupport.h"

#include "models/TaskTableModel.h"
#include "services/TaskService.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>

#include <memory>

inline QDateTime local(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

// The settings key that keeps a property of the task page: "taskPageSize" for pageSize.
inline QString settingsKey(const QByteArray &property)
{
    return QStringLiteral("task") + QChar(property.at(0)).toUpper() + QString::fromLatin1(property.mid(1));
}

inline QSettings store()
{
    return QSettings(QString::fromLatin1(kSettingsOrganization), QString::fromLatin1(kSettingsApplication));
}

// A task service whose present moment a test can fix.
class ClockedTaskService : public TaskService
{
public:
    using TaskService::TaskService;
    QDateTime now;

protected:
    QDateTime currentDateTime() const override
    {
        return now.isValid() ? now : TaskService::currentDateTime();
    }
};

// A fresh database and settings store per test, two accounts, the first one (alice) signed in.
class TstTaskService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // page query, view state and changes
    void signedOutDoesNothing();
    void loadPageNotificationOrder();
    void filters_data();
    void filters();
    void settersNormaliseStoreAndSkipEqualValues_data();
    void settersNormaliseStoreAndSkipEqualValues();
    void storedViewStateIsNormalised_data();
    void storedViewStateIsNormalised();
    void sortOrdersWithIdTieBreak_data();
    void sortOrdersWithIdTieBreak();
    void createTask();
    void changesOfOneTask_data();
    void changesOfOneTask();
    void deleteAllInactive();
    void failedStatementsChangeNothing();

    // lookups, due-soon query, statistics and calendar
    void lookups();
    void nextDueTaskWindow_data();
    void nextDueTaskWindow();
    void nextDueTaskIsEarliestInLocalTime();
    void statisticsDefaultWindow();
    void statisticsBounds_data();
    void statisticsBounds();
    void calendarRange();
    void localDaysAcrossDst();
    void boundsOnClockChanges();

    void randomSequenceMatchesReference();

private:
    std::unique_ptr<ClockedTaskService> makeService() const;
    // Writes a task row directly, its expiry stored the way the service stores it; returns the id.
    int insertTask(int userId, const QString &name, const QDateTime &expireAt, bool done = false,
                   int level = 1, int customerId = 0, int id = 0);
    QVariant scalar(const QString &sql) const;
    QList<int> shownIds() const;

    // A database with both accounts registered, copied for every test: hashing passwords is slow.
    QTemporaryDir m_templateDir;
    std::unique_ptr<TestSandbox> m_sandbox;
    std::unique_ptr<DbManager> m_db;
    std::unique_ptr<AuthService> m_auth;
    std::unique_ptr<TaskTableModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    std::unique_ptr<ClockedTaskService> m_service;
    int m_alice = -1;
    int m_bob = -1;
};
