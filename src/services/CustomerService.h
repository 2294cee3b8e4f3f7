#pragma once

#include <QObject>
#include <QSettings>
#include <QVariantList>
#include <QVariantMap>

#include "services/SettingsService.h"

class AuthService;
class CustomerTableModel;
class DbManager;
class QSqlQuery;

// The customer directory shared by all accounts: one filtered, sorted page at a time for the table,
// single customers with their contacts, and their creation, change and removal.
class CustomerService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int pageSize READ pageSize WRITE setPageSize NOTIFY pageSizeChanged)
    Q_PROPERTY(int currentPage READ currentPage NOTIFY currentPageChanged)
    Q_PROPERTY(int totalPages READ totalPages NOTIFY totalPagesChanged)
    Q_PROPERTY(QString filterName READ filterName WRITE setFilterName NOTIFY filterNameChanged)
    Q_PROPERTY(int totalCount READ totalCount NOTIFY countsChanged)
    // True while a filter of one or two characters matches more customers than are counted; the
    // pages then cover the first of them and totalCount is the cap.
    Q_PROPERTY(bool countCapped READ countCapped NOTIFY countsChanged)
    Q_PROPERTY(int sortColumn READ sortColumn NOTIFY sortChanged)
    Q_PROPERTY(int sortOrder READ sortOrder NOTIFY sortChanged)

public:
    explicit CustomerService(DbManager *db, AuthService *auth, CustomerTableModel *model,
                             QObject *parent = nullptr);

    int pageSize() const { return m_pageSize; }
    int currentPage() const { return m_currentPage; }
    int totalPages() const { return m_totalPages; }
    QString filterName() const { return m_filterName; }
    int totalCount() const { return m_totalCount; }
    bool countCapped() const { return m_countCapped; }
    int sortColumn() const { return m_sortColumn; }
    int sortOrder() const { return m_sortOrder; }

    void setPageSize(int size);
    void setFilterName(const QString &name);

    Q_INVOKABLE void loadPage(int page);
    Q_INVOKABLE QVariantMap customerById(int id) const;
    Q_INVOKABLE bool createCustomer(const QString &name, const QString &notes, const QVariantList &contacts);
    Q_INVOKABLE bool updateCustomer(int id, const QString &name, const QString &notes,
                                    const QVariantList &contacts);
    Q_INVOKABLE bool deleteCustomer(int id);
    Q_INVOKABLE void sort(int column, int order = 0);

public slots:
    // Another connection committed changes: the current page is read again while someone is signed in.
    void onChangedElsewhere();

signals:
    void pageSizeChanged();
    void currentPageChanged();
    void totalPagesChanged();
    void filterNameChanged();
    void countsChanged();
    void sortChanged();
    // Tasks lost their customer because it was deleted.
    void tasksChanged();
    // The page was read again after a change made elsewhere.
    void changedElsewhere();

private:
    // Signed out: the table and its counts are emptied at once.
    void forgetUser();
    bool isUsable() const;
    // The WHERE clause of the name filter (none without a filter) and its bound values.
    QString filterClause() const;
    void bindFilter(QSqlQuery &query) const;
    int countCustomers() const;
    QHash<int, QVariantList> loadContactsOf(const QList<int> &customerIds) const;
    bool saveContacts(int customerId, const QVariantList &contacts) const;

    int m_sortOrder = 1;
    QString m_filterName;
    int m_pageSize = 10;
    int m_currentPage = 1;
    int m_totalPages = 1;
    int m_totalCount = 0;
    bool m_countCapped = false;
    int m_sortColumn = 4;
    DbManager *m_db = nullptr;
    AuthService *m_auth = nullptr;
    CustomerTableModel *m_model = nullptr;
    QSettings m_settings{QString::fromLatin1(kSettingsOrganization),
                         QString::fromLatin1(kSettingsApplication)};
};
