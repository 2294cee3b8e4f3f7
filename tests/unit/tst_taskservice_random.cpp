// A long random sequence of changes, filters, sorts and page moves, checked after every step against
// a plain in-memory reference of the same tasks.
#include "tst_taskservice.h"

#include <QDebug>
#include <QTest>

#include <algorithm>
#include <random>

using namespace Qt::StringLiterals;

namespace {

constexpr unsigned kSeed = 20260322;
constexpr int kSteps = 1500;

struct RefTask
{
    int id, userId, level, customerId;
    QString name, createAt;
    bool done;
    QDateTime expiry;
};

// A bound that reads as a local minute takes that whole minute; other text compares with the stored text.
bool withinBound(const QDateTime &expiry, const QString &bound, bool upper)
{
    if (bound.isEmpty() || !expiry.isValid())
        return bound.isEmpty();
    const QDateTime minute = QDateTime::fromString(bound, u"yyyy-MM-dd HH:mm"_s);
    const QString text = expiry.toUTC().toString(Qt::ISODateWithMs);
    if (!minute.isValid())
        return upper ? text <= bound : text >= bound;
    return upper ? expiry < minute.addSecs(60) : expiry >= minute;
}

QString sortKey(const RefTask &t, int column)
{
    const QString keys[] = {u"%1"_s.arg(t.id, 8, 10, QLatin1Char('0')),
                            t.name.toLower(),
                            u"%1"_s.arg(t.level, 3, 10, QLatin1Char('0')),
                            QString::number(t.done),
                            t.expiry.isValid() ? QString::number(t.expiry.toSecsSinceEpoch()) : QString(),
                            t.createAt};
    return keys[column];
}

} // namespace

void TstTaskService::randomSequenceMatchesReference()
{
    std::mt19937 random(kSeed);
    const auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    const auto pickOf = [&](const QStringList &texts) {
        return texts.at(pick(0, int(texts.size()) - 1));
    };

    // The reference: every task, the view state and the page it should show.
    QList<RefTask> tasks;
    const QHash<int, QString> customers = {{1, u"Acme"_s}, {2, u"beta co"_s}, {3, u"Zed 1"_s}};
    QVERIFY(execSql(*m_db, u"INSERT INTO customers (id, user_id, name)"
                           " VALUES (1, 1, 'Acme'), (2, 1, 'beta co'), (3, 1, 'Zed 1')"_s));
    QString nameFilter, fromFilter, toFilter;
    int activeFilter = -1, levelFilter = -1, sortColumn = 5, sortOrder = 1, pageSize = 25, page = 1,
        pages = 1;
    QList<int> shown;
    const auto matches = [&](const RefTask &t) {
        const auto has = [&](const QString &text) {
            return text.contains(nameFilter, Qt::CaseInsensitive);
        };
        const int bucket = t.level <= 20 ? 20 : t.level <= 50 ? 50 : 51;
        return t.userId == m_alice && (activeFilter == -1 || int(t.done) == activeFilter) &&
               (levelFilter == -1 || bucket == levelFilter) &&
               (has(t.name) || has(customers.value(t.customerId)) || has(QString::number(t.id))) &&
               withinBound(t.expiry, fromFilter, false) && withinBound(t.expiry, toFilter, true);
    };
    const auto reload = [&](int requested) {
        QList<RefTask> matching;
        std::copy_if(tasks.cbegin(), tasks.cend(), std::back_inserter(matching), matches);
        std::sort(matching.begin(), matching.end(), [&](const RefTask &a, const RefTask &b) {
            const QString ka = sortKey(a, sortColumn), kb = sortKey(b, sortColumn);
            return ka != kb ? (ka < kb) != bool(sortOrder) : a.id < b.id;
        });
        pages = std::max(1, int((matching.size() + pageSize - 1) / pageSize));
        page = std::clamp(requested, 1, pages);
        shown.clear();
        for (const RefTask &t : matching.mid(qsizetype(page - 1) * pageSize, pageSize))
            shown.append(t.id);
    };
    const auto count = [&](bool (*predicate)(const RefTask &)) {
        return int(std::count_if(tasks.cbegin(), tasks.cend(),
                                 [&](const RefTask &t) { return t.userId == m_alice && predicate(t); }));
    };

    // Coarse times, so that bounds and expiries often meet on the same minute.
    const auto randomExpiry = [&]() -> QDateTime {
        if (pick(0, 9) == 0)
            return {};
        const int hour = QList<int>{0, 9, 23}.at(pick(0, 2));
        return QDateTime(QDate(2026, 6, pick(1, 4)), QTime(hour, pick(0, 1) * 59, pick(0, 1) * 59));
    };
    const auto randomBound = [&]() -> QString {
        const int kind = pick(0, 5);
        if (kind < 2)
            return kind == 0 ? QString() : pickOf({u"2026-06-02"_s, u"2026-06-03T0"_s, u"2026"_s});
        const QString hour = pickOf({u"00"_s, u"09"_s, u"23"_s});
        return u"2026-06-0%1 %2:%3"_s.arg(pick(1, 4)).arg(hour, pickOf({u"00"_s, u"59"_s}));
    };
    const QStringList names = {u"alpha"_s,    u"Alpha"_s, u"beta"_s, u"Call 12"_s,
                               u" spaced "_s, u"zulu"_s,  u"  "_s};
    for (int i = 0; i < 6; ++i) { // bob's tasks, which alice must never see nor change
        const QDateTime expiry = randomExpiry();
        const int id = insertTask(m_bob, names.at(i), expiry, i % 2, 10 * i, i % 4);
        tasks.append({id, m_bob, 10 * i, i % 4, names.at(i).trimmed(), QString(), bool(i % 2), expiry});
    }
    const QString bobsRows = u"SELECT group_concat(id || name || active || level || expire_at) FROM tasks"
                             " WHERE user_id = %1"_s.arg(m_bob);
    const QString bobsBefore = scalar(bobsRows).toString();

    for (int step = 0; step < kSteps; ++step) {
        const int operation = pick(0, 11);
        // An existing task (sometimes bob's), a missing one or id 0.
        const bool existing = !tasks.isEmpty() && pick(0, 9) != 0;
        const int id = existing ? tasks.at(pick(0, int(tasks.size()) - 1)).id : pick(0, 1) * 99999;
        const QString name = pickOf(names);
        const QDateTime expiry = randomExpiry();
        const bool done = pick(0, 1);
        const int level = pick(1, 100);
        const int customer = pick(-1, 3);
        const auto own = std::find_if(tasks.begin(), tasks.end(),
                                      [&](const RefTask &t) { return t.id == id && t.userId == m_alice; });
        if (operation <= 1) {
            QCOMPARE(m_service->createTask(name, expiry, done, level, customer), !name.trimmed().isEmpty());
            if (!name.trimmed().isEmpty()) {
                // Creation times days apart, so that sorting by them is more than the id tie-break.
                const int newId = scalar(u"SELECT MAX(id) FROM tasks"_s).toInt();
                const QString createAt = u"2026-01-0%1 10:00:00"_s.arg(pick(1, 3));
                execSql(*m_db, u"UPDATE tasks SET create_at = '%1' WHERE id = %2"_s.arg(createAt).arg(newId));
                tasks.append({newId, m_alice, level, customer, name.trimmed(), createAt, done, expiry});
                m_service->onTasksChanged();
                reload(page);
            }
        } else if (operation <= 4) {
            const bool ok = operation == 2   ? m_service->updateTask(id, name, done, expiry, level, customer)
                            : operation == 3 ? m_service->updateTaskDone(id, done)
                                             : m_service->deleteTask(id);
            QCOMPARE(ok, id >= 1);
            if (own != tasks.end() && operation == 2)
                *own = {id, m_alice, level, customer, name.trimmed(), own->createAt, done, expiry};
            else if (own != tasks.end() && operation == 3)
                own->done = done;
            else if (own != tasks.end())
                tasks.erase(own);
            if (id >= 1)
                reload(page);
        } else if (operation == 5) {
            if (pick(0, 9) != 0)
                continue;
            QVERIFY(m_service->deleteAllInactive());
            tasks.removeIf([&](const RefTask &t) { return t.done && t.userId == m_alice; });
            reload(page);
        } else if (operation <= 8) {
            const QList<QVariant> before = {nameFilter, activeFilter, levelFilter, fromFilter, toFilter};
            if (operation == 6) {
                const QString text = pickOf({QString(), u"a"_s, u"B"_s, u"1"_s, u" co "_s, u"12"_s, u"zz"_s});
                m_service->setFilterName(text);
                nameFilter = text.trimmed();
            } else if (operation == 7) {
                const int active = pick(-1, 2);
                const int bucket = QList<int>{-1, 20, 50, 51, 30}.at(pick(0, 4));
                m_service->setFilterActive(active);
                m_service->setFilterLevel(bucket);
                activeFilter = active == 2 ? -1 : active;
                levelFilter = bucket == 30 ? -1 : bucket;
            } else {
                fromFilter = randomBound();
                toFilter = pick(0, 2) ? randomBound() : QString();
                m_service->setFilterExpireFrom(fromFilter);
                m_service->setFilterExpireTo(toFilter);
            }
            const QList<QVariant> after = {nameFilter, activeFilter, levelFilter, fromFilter, toFilter};
            if (before != after)
                reload(1);
        } else if (operation == 9) {
            const int column = pick(-1, 6);
            const int order = pick(0, 2);
            m_service->sort(column, order);
            if (column >= 0 && column <= 5) {
                sortColumn = column;
                sortOrder = order == 1 ? 1 : 0;
                reload(page);
            }
        } else if (operation == 10) {
            const int requested = pick(-1, pages + 1);
            m_service->loadPage(requested);
            reload(requested);
        } else {
            const int size = QList<int>{0, 1, 2, 3, 5, 10}.at(pick(0, 5));
            m_service->setPageSize(size); // takes effect at the next load
            pageSize = std::max(1, size);
        }
        const QList<int> expected = QList<int>(shown)
                                    << -1 << page << pages << count([](const RefTask &) { return true; })
                                    << count([](const RefTask &t) { return t.done; })
                                    << count([](const RefTask &t) {
                                           return !t.done && t.level > 20 && t.level <= 50;
                                       });
        const QList<int> actual = shownIds() << -1 << m_service->currentPage() << m_service->totalPages()
                                             << m_service->totalCount() << m_service->activeCount()
                                             << m_service->midLevelCount();
        QString lists; // ids, -1, page, pages, total, done, open medium
        QDebug(&lists) << "seed" << kSeed << "step" << step << ":" << actual << "instead of" << expected;
        QVERIFY2(actual == expected, qPrintable(lists));
    }
    QCOMPARE(scalar(bobsRows).toString(), bobsBefore);
}
