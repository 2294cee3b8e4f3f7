#pragma once

#include "TestSupport.h"

#include "models/TaskTableModel.h"
#include "services/TaskService.h"

#include <QAbstractItemModelTester>
#include <QObject>
#include <QTemporaryDir>

#include <memory>

inline QDateTime local(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
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

// One fixture for the task service: a fresh database and settings store per test, two accounts,
// with the first one signed in.
class TstTaskService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // page query, view state and changes
    void precondition();
    void emptyUser();
    void paging_data();
    void paging();
    void loadPageNotificationOrder();
    void filters_data();
    void filters();
    void settersNormaliseAndSkipEqualValues();
    void viewStateIsReadBack();
    void storedViewStateIsNormalised_data();
    void storedViewStateIsNormalised();
    void sortOrdersWithIdTieBreak_data();
    void sortOrdersWithIdTieBreak();
    void sortValidatesAndAlwaysReloads();
    void createTask();
    void createTaskStoresExpiryAsUtc_data();
    void createTaskStoresExpiryAsUtc();
    void changesOfOneTask_data();
    void changesOfOneTask();
    void updateTaskStoresBlankName();
    void deleteAllInactive();
    void failedStatementsChangeNothing();
    void deletingTheLastRowMovesBack();
    void onTasksChangedReloads();

    // lookups, due-soon query, statistics and calendar
    void taskById();
    void tasksForCustomer();
    void nextDueTaskWindow_data();
    void nextDueTaskWindow();
    void nextDueTaskFormatsLocalTime();
    void statisticsDefaultWindow();
    void statisticsBounds_data();
    void statisticsBounds();
    void statisticsGroupByLocalDayAcrossDst();
    void statisticsFailureKeepsLists();
    void rangeFilesTasksUnderLocalDays();
    void rangeAcrossDst();
    void rangeFailureWarnsAndSignals();
    void boundsOnClockChanges();

    // random sequence against an in-memory reference
    void randomSequenceMatchesReference();

private:
    std::unique_ptr<ClockedTaskService> makeService() const;
    // Writes a task row directly; expireAt is stored the way the service stores it.
    int insertTask(int userId, const QString &name, const QDateTime &expireAt, bool done = false,
                   int level = 1, int customerId = 0,
                   const QString &createAt = QStringLiteral("2026-01-01 10:00:00"), int id = 0);
    int insertCustomer(const QString &name, int id = 0);
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
