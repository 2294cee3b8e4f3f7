#include "services/CustomerService.h"

#include "models/CustomerTableModel.h"
#include "services/AuthService.h"
#include "services/InputLimits.h"
#include "storage/DbManager.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QHash>
#include <QSqlQuery>

#include <algorithm>
#include <functional>

namespace {

const QString kPageSizeKey = QStringLiteral("customerPageSize");
const QString kSortColumnKey = QStringLiteral("customerSortColumn");
const QString kSortOrderKey = QStringLiteral("customerSortOrder");
const QString kFilterNameKey = QStringLiteral("customerFilterName");

constexpr int kColumnCount = 5;
// Ids bound into one IN list; well below SQLite's smallest limit on host parameters (999).
constexpr int kIdsPerStatement = 500;

// Matches the name, the id written in decimal, or the value of any contact. The user's % and _ act
// as wildcards on purpose. Each customer looks up its own contacts, and only when its name and id
// do not match, so that a page or a capped count stops as soon as it has its rows. (A scalar
// subquery, because PostgreSQL answers an EXISTS here by matching every contact first.)
QString matchClause(const SqlDialect &dialect)
{
    const QString name = QStringLiteral(":name");
    return QStringLiteral("(%1 or %2 or (SELECT 1 FROM customer_contacts"
                          " WHERE customer_id = customers.id AND %3 LIMIT 1) IS NOT NULL)")
        .arg(dialect.like(QStringLiteral("name"), name),
             dialect.like(QStringLiteral("CAST(id AS TEXT)"), name),
             dialect.like(QStringLiteral("value"), name));
}

// A filter of one or two characters has no trigram to narrow it down: its matches are counted up
// to here (a common text matches most customers, and counting them all takes longer than a frame).
constexpr int kCountCap = 1000;

// Phone and e-mail sort by creation: the database has no cheap order for them. Equal keys follow in
// the order of the index that serves the sort, so that pages neither repeat nor skip a customer.
QStringList sortTerms(int column)
{
    switch (column) {
    case 0:
        return {QStringLiteral("id")};
    case 1:
        return {QStringLiteral("name"), QStringLiteral("id")};
    default:
        return {QStringLiteral("create_at"), QStringLiteral("name"), QStringLiteral("id")};
    }
}

QVariantMap contactFromQuery(const QSqlQuery &query)
{
    return {{QStringLiteral("type"), query.value(QStringLiteral("type")).toString()},
            {QStringLiteral("value"), query.value(QStringLiteral("value")).toString()},
            {QStringLiteral("label"), query.value(QStringLiteral("label")).toString()}};
}

// Name, notes and contacts as they will be stored fit the limits.
bool customerFits(const QString &name, const QString &notes, const QVariantList &contacts)
{
    if (name.size() > InputLimits::kNameLength || notes.trimmed().size() > InputLimits::kNotesLength ||
        contacts.size() > InputLimits::kContactsPerCustomer)
        return false;
    return std::all_of(contacts.cbegin(), contacts.cend(), [](const QVariant &item) {
        const QVariantMap contact = item.toMap();
        for (const char *key : {"type", "value", "label"}) {
            if (contact.value(QLatin1String(key)).toString().size() > InputLimits::kContactFieldLength)
                return false;
        }
        return true;
    });
}

} // namespace

CustomerService::CustomerService(DbManager *db, AuthService *auth, CustomerTableModel *model, QObject *parent)
    : QObject(parent), m_db(db), m_auth(auth), m_model(model)
{
    m_pageSize = std::max(1, m_settings.value(kPageSizeKey, 10).toInt());
    const int column = m_settings.value(kSortColumnKey, 4).toInt();
    if (column >= 0 && column < kColumnCount)
        m_sortColumn = column;
    m_sortOrder = m_settings.value(kSortOrderKey, 1).toInt() != 0 ? 1 : 0;
    m_filterName = InputLimits::searchText(m_settings.value(kFilterNameKey, QString()).toString());
    if (m_auth)
        connect(m_auth, &AuthService::loggedOut, this, &CustomerService::forgetUser);
}

void CustomerService::setPageSize(int size)
{
    const int normalized = std::max(1, size);
    if (normalized == m_pageSize)
        return;
    m_pageSize = normalized;
    m_settings.setValue(kPageSizeKey, normalized);
    emit pageSizeChanged();
}

void CustomerService::setFilterName(const QString &name)
{
    const QString normalized = InputLimits::searchText(name);
    if (normalized == m_filterName)
        return;
    m_filterName = normalized;
    m_settings.setValue(kFilterNameKey, normalized);
    emit filterNameChanged();
    loadPage(1);
}

void CustomerService::forgetUser()
{
    if (m_model)
        m_model->setCustomers({});
    m_currentPage = 1;
    m_totalPages = 1;
    m_totalCount = 0;
    m_countCapped = false;
    emit currentPageChanged();
    emit totalPagesChanged();
    emit countsChanged();
}

bool CustomerService::isUsable() const
{
    return m_db && m_db->isPrepared() && m_auth && m_auth->loggedIn();
}

QString CustomerService::filterClause() const
{
    if (m_filterName.isEmpty())
        return {};
    // Three characters or more: the search index narrows the customers down to the candidates.
    const QString match = matchClause(m_db->dialect());
    return SqlSupport::likeTrigrams(m_filterName).isEmpty()
               ? QStringLiteral(" WHERE ") + match
               : QStringLiteral(" WHERE id IN (%1) AND %2").arg(m_db->dialect().customerCandidates(), match);
}

void CustomerService::bindFilter(QSqlQuery &query) const
{
    if (m_filterName.isEmpty())
        return;
    query.bindValue(QStringLiteral(":name"), QString(QLatin1Char('%') + m_filterName + QLatin1Char('%')));
    const QString trigrams = SqlSupport::likeTrigrams(m_filterName);
    if (!trigrams.isEmpty())
        SqlSupport::bindIfUsed(query, QStringLiteral(":trigrams"), trigrams);
}

int CustomerService::countCustomers() const
{
    const bool capped = !m_filterName.isEmpty() && SqlSupport::likeTrigrams(m_filterName).isEmpty();
    QSqlQuery query = SqlSupport::prepare(
        m_db, capped ? QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM customers%1 LIMIT %2) AS matches")
                           .arg(filterClause())
                           .arg(kCountCap + 1)
                     : QStringLiteral("SELECT COUNT(*) FROM customers") + filterClause());
    bindFilter(query);
    if (!query.exec() || !query.next())
        return 0;
    return query.value(0).toInt();
}

void CustomerService::loadPage(int page)
{
    if (!isUsable())
        return;

    const int counted = countCustomers();
    m_countCapped = counted > kCountCap;
    m_totalCount = std::min(counted, kCountCap);
    emit countsChanged();

    // 64-bit arithmetic: a huge stored page size must not overflow.
    const qint64 pages = (qint64(m_totalCount) + m_pageSize - 1) / m_pageSize;
    m_totalPages = int(std::max<qint64>(1, pages));
    emit totalPagesChanged();

    const int target = std::max(1, std::min(page, m_totalPages));
    if (target != m_currentPage) {
        m_currentPage = target;
        emit currentPageChanged();
    }

    // Phone and e-mail come from the contacts read below: per-row sub-selects would scan the contacts
    // of every customer before the LIMIT applies.
    QString sql = QStringLiteral(R"(
    SELECT id, name, notes, create_at
    FROM customers
    )");
    sql += filterClause();
    sql += QStringLiteral(" ORDER BY ") +
           sortTerms(m_sortColumn)
               .join(m_sortOrder == 1 ? QStringLiteral(" DESC, ") : QStringLiteral(" ASC, ")) +
           (m_sortOrder == 1 ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    sql += QStringLiteral(R"(
    LIMIT :lim OFFSET :off
    )");

    QSqlQuery query = SqlSupport::prepare(m_db, sql);
    bindFilter(query);
    query.bindValue(QStringLiteral(":lim"), m_pageSize);
    query.bindValue(QStringLiteral(":off"), qint64(m_currentPage - 1) * m_pageSize);

    QList<CustomerRow> rows;
    if (query.exec()) {
        while (query.next()) {
            CustomerRow row;
            row.id = query.value(QStringLiteral("id")).toInt();
            row.name = query.value(QStringLiteral("name")).toString();
            row.notes = query.value(QStringLiteral("notes")).toString();
            row.createAt = SqlSupport::localFromUtcText(query.value(QStringLiteral("create_at")));
            rows.append(row);
        }
    }
    query.finish();

    QList<int> ids;
    ids.reserve(rows.size());
    for (const CustomerRow &row : std::as_const(rows))
        ids.append(row.id);
    const QHash<int, QVariantList> contacts = loadContactsOf(ids);
    for (CustomerRow &row : rows) {
        row.contacts = contacts.value(row.id);
        // The last phone and the last e-mail in stored order are the ones the table shows.
        for (const QVariant &item : std::as_const(row.contacts)) {
            const QVariantMap contact = item.toMap();
            const QString type = contact.value(QStringLiteral("type")).toString();
            if (type == QLatin1String("phone"))
                row.phone = contact.value(QStringLiteral("value")).toString();
            else if (type == QLatin1String("email"))
                row.email = contact.value(QStringLiteral("value")).toString();
        }
    }

    if (m_model)
        m_model->setCustomers(std::move(rows));
}

void CustomerService::onChangedElsewhere()
{
    if (!isUsable())
        return;
    loadPage(m_currentPage);
    emit changedElsewhere();
}

QVariantMap CustomerService::customerById(int id) const
{
    if (!isUsable() || id < 1)
        return {};
    // One statement, so that a save committed meanwhile shows as a whole or not at all.
    QSqlQuery query = SqlSupport::prepare(m_db, QStringLiteral(R"(
        SELECT customers.id, name, notes, type, value, label
        FROM customers LEFT JOIN customer_contacts ON customer_contacts.customer_id = customers.id
        WHERE customers.id = :id
        ORDER BY customer_contacts.id ASC
    )"));
    query.bindValue(QStringLiteral(":id"), id);
    if (!query.exec() || !query.next())
        return {};
    QVariantMap customer{{QStringLiteral("id"), query.value(QStringLiteral("id")).toInt()},
                         {QStringLiteral("name"), query.value(QStringLiteral("name")).toString()},
                         {QStringLiteral("notes"), query.value(QStringLiteral("notes")).toString()}};
    QVariantList contacts;
    do {
        if (!query.value(QStringLiteral("type")).isNull())
            contacts.append(contactFromQuery(query));
    } while (query.next());
    customer.insert(QStringLiteral("contacts"), contacts);
    return customer;
}

bool CustomerService::createCustomer(const QString &name, const QString &notes, const QVariantList &contacts)
{
    const QString trimmedName = name.trimmed();
    if (!isUsable() || trimmedName.isEmpty() || !customerFits(trimmedName, notes, contacts))
        return false;

    const bool saved = SqlSupport::runInTransaction(m_db, [&] {
        QSqlQuery insert = SqlSupport::prepare(
            m_db,
            QStringLiteral("INSERT INTO customers (user_id,name,notes) VALUES ( :user_id, :name, :notes)"
                           " RETURNING id"));
        insert.bindValue(QStringLiteral(":user_id"), m_auth->userId());
        insert.bindValue(QStringLiteral(":name"), trimmedName);
        insert.bindValue(QStringLiteral(":notes"), notes.trimmed());
        if (!insert.exec())
            return false;
        if (!insert.next())
            return false;
        const int id = insert.value(0).toInt();
        insert.finish();
        return saveContacts(id, contacts);
    });
    if (!saved)
        return false;
    loadPage(m_currentPage);
    return true;
}

bool CustomerService::updateCustomer(int id, const QString &name, const QString &notes,
                                     const QVariantList &contacts)
{
    const QString trimmedName = name.trimmed();
    if (!isUsable() || trimmedName.isEmpty() || !customerFits(trimmedName, notes, contacts))
        return false;

    const bool saved = SqlSupport::runInTransaction(m_db, [&] {
        QSqlQuery update = SqlSupport::prepare(
            m_db, QStringLiteral("UPDATE customers SET name = :name, notes = :notes WHERE id = :id"));
        update.bindValue(QStringLiteral(":name"), trimmedName);
        update.bindValue(QStringLiteral(":notes"), notes.trimmed());
        update.bindValue(QStringLiteral(":id"), id);
        // No such customer (deleted meanwhile): nothing is saved, and no contacts without a customer.
        if (!update.exec() || update.numRowsAffected() < 1)
            return false;
        update.finish();
        return saveContacts(id, contacts);
    });
    if (!saved)
        return false;
    loadPage(m_currentPage);
    return true;
}

bool CustomerService::deleteCustomer(int id)
{
    if (!isUsable() || id < 1)
        return false;

    // The customer, its contacts and the link from its tasks (of every user) go together or not at all.
    const bool deleted = SqlSupport::runInTransaction(m_db, [&] {
        QSqlQuery query = SqlSupport::prepare(m_db, QStringLiteral("DELETE FROM customers WHERE id = :id"));
        query.bindValue(QStringLiteral(":id"), id);
        if (!query.exec())
            return false;
        query.prepare(QStringLiteral("DELETE FROM customer_contacts WHERE customer_id = :customer_id"));
        query.bindValue(QStringLiteral(":customer_id"), id);
        if (!query.exec())
            return false;
        query.prepare(QStringLiteral("UPDATE tasks SET customer_id = 0 WHERE customer_id = :customer_id"));
        query.bindValue(QStringLiteral(":customer_id"), id);
        if (!query.exec())
            return false;
        query.finish();
        return true;
    });
    if (!deleted)
        return false;
    emit tasksChanged();
    loadPage(m_currentPage);
    return true;
}

void CustomerService::sort(int column, int order)
{
    if (column < 0 || column >= kColumnCount)
        return;
    const int normalizedOrder = order == 1 ? 1 : 0;
    const bool changed = column != m_sortColumn || normalizedOrder != m_sortOrder;
    m_sortColumn = column;
    m_sortOrder = normalizedOrder;
    m_settings.setValue(kSortColumnKey, column);
    m_settings.setValue(kSortOrderKey, normalizedOrder);
    if (changed)
        emit sortChanged();
    loadPage(m_currentPage);
}

QHash<int, QVariantList> CustomerService::loadContactsOf(const QList<int> &customerIds) const
{
    QHash<int, QVariantList> contacts;
    if (!SqlSupport::isOpen(m_db))
        return contacts;
    QList<int> ids;
    for (int id : customerIds) {
        if (id >= 1)
            ids.append(id);
    }

    for (qsizetype start = 0; start < ids.size(); start += kIdsPerStatement) {
        const QList<int> chunk = ids.mid(start, kIdsPerStatement);
        QStringList placeholders;
        placeholders.fill(QStringLiteral("?"), chunk.size());
        const QString sql = QStringLiteral(R"(
        SELECT customer_id, type, value, label
        FROM customer_contacts
        WHERE customer_id IN (%1)
        ORDER BY id ASC
    )");
        QSqlQuery query = SqlSupport::prepare(m_db, sql.arg(placeholders.join(QLatin1Char(','))));
        for (int id : chunk)
            query.addBindValue(id);
        if (!query.exec())
            continue;
        while (query.next())
            contacts[query.value(QStringLiteral("customer_id")).toInt()].append(contactFromQuery(query));
    }
    return contacts;
}

bool CustomerService::saveContacts(int customerId, const QVariantList &contacts) const
{
    QSqlQuery query = SqlSupport::prepare(
        m_db, QStringLiteral("DELETE FROM customer_contacts WHERE customer_id = :customer_id"));
    query.bindValue(QStringLiteral(":customer_id"), customerId);
    if (!query.exec())
        return false;
    if (contacts.isEmpty())
        return true;

    query.prepare(QStringLiteral("INSERT INTO customer_contacts (customer_id, type, value, label) VALUES "
                                 "(:customer_id, :type, :value, :label)"));
    for (const QVariant &item : contacts) {
        const QVariantMap contact = item.toMap();
        query.bindValue(QStringLiteral(":customer_id"), customerId);
        query.bindValue(QStringLiteral(":type"), contact.value(QStringLiteral("type")).toString());
        query.bindValue(QStringLiteral(":value"), contact.value(QStringLiteral("value")).toString());
        query.bindValue(QStringLiteral(":label"), contact.value(QStringLiteral("label")).toString());
        if (!query.exec())
            return false;
    }
    return true;
}
