// A long random sequence of changes, filters, sorts and page moves, checked after every step against
// a plain in-memory reference of the same tasks.
#include "tst_taskservice.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>

#include <algorithm>
#include <optional>
#include <random>

namespace {

constexpr unsigned kSeed = 20260322;
constexpr int kSteps = 1500;

struct RefTask
{
    int id = 0;
    int userId = 0;
    QString name;
    int level = 1;
    bool done = false;
    std::optional<qint64> epoch;
    QString expireText; // the stored UTC text, empty for none
    int customerId = 0;
    QString createAt;
};

// The page the service should show, worked out from first principles.
struct Reference
{
    QList<RefTask> tasks;
    QHash<int, QString> customers;
    int userId = 0;
    QString name;
    int active = -1;
    int level = -1;
    QString from;
    QString to;
    int sortColumn = 5;
    int sortOrder = 1;
    int pageSize = 25;
    int page = 1;
    int totalPages = 1;
    QList<int> shown;

    static std::optional<qint64> minuteStart(const QString &text)
    {
        static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}$"));
        if (!form.match(text).hasMatch())
            return std::nullopt;
        const QDateTime dateTime = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
        return dateTime.isValid() ? std::optional<qint64>(dateTime.toSecsSinceEpoch()) : std::nullopt;
    }

    bool matches(const RefTask &task) const
    {
        if (task.userId != userId)
            return false;
        if (!name.isEmpty()) {
            const QString customer = customers.value(task.customerId);
            if (!task.name.contains(name, Qt::CaseInsensitive) &&
                !customer.contains(name, Qt::CaseInsensitive) && !QString::number(task.id).contains(name))
                return false;
        }
        if (active != -1 && int(task.done) != active)
            return false;
        if ((level == 20 && task.level > 20) || (level == 50 && (task.level <= 20 || task.level > 50)) ||
            (level == 51 && task.level <= 50))
            return false;
        if (!from.isEmpty()) {
            if (const auto bound = minuteStart(from)) {
                if (!task.epoch || *task.epoch < *bound)
                    return false;
            } else if (task.expireText.isEmpty() || task.expireText < from) {
                return false;
            }
        }
        if (!to.isEmpty()) {
            if (const auto bound = minuteStart(to)) {
                if (!task.epoch || *task.epoch > *bound + 59)
                    return false;
            } else if (task.expireText.isEmpty() || task.expireText > to) {
                return false;
            }
        }
        return true;
    }

    // Negative, zero or positive as a sorts before, with or after b on the sort column alone.
    int compareKeys(const RefTask &a, const RefTask &b) const
    {
        const auto cmp = [](const auto &x, const auto &y) {
            return x < y ? -1 : (y < x ? 1 : 0);
        };
        switch (sortColumn) {
        case 0:
            return cmp(a.id, b.id);
        case 1:
            return cmp(a.name.toLower(), b.name.toLower());
        case 2:
            return cmp(a.level, b.level);
        case 3:
            return cmp(int(a.done), int(b.done));
        case 4: // no expiry sorts lowest, as NULL does
            return cmp(a.epoch.value_or(std::numeric_limits<qint64>::min()),
                       b.epoch.value_or(std::numeric_limits<qint64>::min()));
        default:
            return cmp(a.createAt, b.createAt);
        }
    }

    void reload(int requested)
    {
        QList<RefTask> matching;
        for (const RefTask &task : tasks) {
            if (matches(task))
                matching.append(task);
        }
        std::sort(matching.begin(), matching.end(), [this](const RefTask &a, const RefTask &b) {
            const int keys = compareKeys(a, b) * (sortOrder ? -1 : 1);
            return keys != 0 ? keys < 0 : a.id < b.id;
        });
        totalPages = std::max(1, int((matching.size() + pageSize - 1) / pageSize));
        page = std::clamp(requested, 1, totalPages);
        shown.clear();
        for (qsizetype i = qsizetype(page - 1) * pageSize; i < matching.size() && shown.size() < pageSize;
             ++i)
            shown.append(matching.at(i).id);
    }

    int count(const std::function<bool(const RefTask &)> &predicate) const
    {
        return int(std::count_if(tasks.cbegin(), tasks.cend(), [&](const RefTask &task) {
            return task.userId == userId && predicate(task);
        }));
    }
};

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

    Reference ref;
    ref.userId = m_alice;
    ref.customers = {
        {1, QStringLiteral("Acme")}, {2, QStringLiteral("beta co")}, {3, QStringLiteral("Zed 1")}};
    for (auto it = ref.customers.cbegin(); it != ref.customers.cend(); ++it)
        insertCustomer(it.value(), it.key());
    ref.pageSize = m_service->pageSize();
    ref.sortColumn = m_service->sortColumn();
    ref.sortOrder = m_service->sortOrder();

    // Coarse times, so that bounds and expiries often meet on the same minute.
    const auto randomExpiry = [&]() -> QDateTime {
        if (pick(0, 9) == 0)
            return {};
        return QDateTime(QDate(2026, 6, pick(1, 4)),
                         QTime(QList<int>{0, 9, 23}.at(pick(0, 2)), pick(0, 1) * 59, pick(0, 1) * 59));
    };
    const auto randomBound = [&]() -> QString {
        switch (pick(0, 5)) {
        case 0:
            return {};
        case 1:
            return pickOf(
                {QStringLiteral("2026-06-02"), QStringLiteral("2026-06-03T0"), QStringLiteral("2026")});
        default:
            return QStringLiteral("2026-06-0%1 %2:%3")
                .arg(pick(1, 4))
                .arg(pickOf({QStringLiteral("00"), QStringLiteral("09"), QStringLiteral("23")}))
                .arg(pickOf({QStringLiteral("00"), QStringLiteral("59")}));
        }
    };
    const auto addRef = [&](int id, int userId, const QString &name, const QDateTime &expiry, bool done,
                            int level, int customerId) {
        RefTask task;
        task.id = id;
        task.userId = userId;
        task.name = name.trimmed();
        task.level = level;
        task.done = done;
        if (expiry.isValid()) {
            task.epoch = expiry.toSecsSinceEpoch();
            task.expireText = expiry.toUTC().toString(Qt::ISODateWithMs);
        }
        task.customerId = customerId;
        task.createAt =
            scalar(QStringLiteral("SELECT create_at FROM tasks WHERE id = %1").arg(id)).toString();
        ref.tasks.append(task);
    };
    const QStringList names = {QStringLiteral("alpha"),      QStringLiteral("Alpha"),
                               QStringLiteral("beta"),       QStringLiteral("Call 12"),
                               QStringLiteral("  spaced  "), QStringLiteral("zulu"),
                               QStringLiteral("   ")};
    for (int i = 0; i < 6; ++i) {
        const QDateTime expiry = randomExpiry();
        addRef(insertTask(m_bob, names.at(i % 6), expiry, i % 2, 10 * i, i % 4), m_bob, names.at(i % 6),
               expiry, i % 2, 10 * i, i % 4);
    }
    const auto randomTaskId = [&]() {
        if (ref.tasks.isEmpty() || pick(0, 9) == 0)
            return pick(0, 1) ? 99999 : 0;
        return ref.tasks.at(pick(0, int(ref.tasks.size()) - 1)).id; // sometimes bob's
    };
    const auto findRef = [&](int id) -> RefTask * {
        for (RefTask &task : ref.tasks) {
            if (task.id == id && task.userId == m_alice)
                return &task;
        }
        return nullptr;
    };

    QStringList log;
    for (int step = 0; step < kSteps; ++step) {
        QString op;
        switch (pick(0, 11)) {
        case 0:
        case 1: {
            const QString name = pickOf(names);
            const QDateTime expiry = randomExpiry();
            const bool done = pick(0, 1);
            const int level = pick(1, 100);
            const int customer = pick(-1, 3);
            op = QStringLiteral("create '%1' %2").arg(name, expiry.toString(Qt::ISODate));
            const bool ok = m_service->createTask(name, expiry, done, level, customer);
            QCOMPARE(ok, !name.trimmed().isEmpty());
            if (ok) {
                addRef(scalar(QStringLiteral("SELECT MAX(id) FROM tasks")).toInt(), m_alice, name, expiry,
                       done, level, customer);
                ref.reload(ref.page);
            }
            break;
        }
        case 2: {
            const int id = randomTaskId();
            const QString name = pickOf(names);
            const QDateTime expiry = randomExpiry();
            const bool done = pick(0, 1);
            const int level = pick(1, 100);
            const int customer = pick(0, 3);
            op = QStringLiteral("update %1 '%2'").arg(id).arg(name);
            QCOMPARE(m_service->updateTask(id, name, done, expiry, level, customer), id >= 1);
            if (RefTask *task = findRef(id)) {
                task->name = name.trimmed();
                task->done = done;
                task->level = level;
                task->customerId = customer;
                task->epoch =
                    expiry.isValid() ? std::optional<qint64>(expiry.toSecsSinceEpoch()) : std::nullopt;
                task->expireText = expiry.isValid() ? expiry.toUTC().toString(Qt::ISODateWithMs) : QString();
            }
            if (id >= 1)
                ref.reload(ref.page);
            break;
        }
        case 3: {
            const int id = randomTaskId();
            const bool done = pick(0, 1);
            op = QStringLiteral("done %1 %2").arg(id).arg(done);
            QCOMPARE(m_service->updateTaskDone(id, done), id >= 1);
            if (RefTask *task = findRef(id))
                task->done = done;
            if (id >= 1)
                ref.reload(ref.page);
            break;
        }
        case 4: {
            const int id = randomTaskId();
            op = QStringLiteral("delete %1").arg(id);
            QCOMPARE(m_service->deleteTask(id), id >= 1);
            ref.tasks.removeIf([&](const RefTask &task) { return task.id == id && task.userId == m_alice; });
            if (id >= 1)
                ref.reload(ref.page);
            break;
        }
        case 5: {
            if (pick(0, 9) != 0)
                continue;
            op = QStringLiteral("delete all done");
            QVERIFY(m_service->deleteAllInactive());
            ref.tasks.removeIf([&](const RefTask &task) { return task.done && task.userId == m_alice; });
            ref.reload(ref.page);
            break;
        }
        case 6: {
            const QString name =
                pickOf({QString(), QStringLiteral("a"), QStringLiteral("B"), QStringLiteral("1"),
                        QStringLiteral(" co "), QStringLiteral("12"), QStringLiteral("zz")});
            op = QStringLiteral("filter name '%1'").arg(name);
            m_service->setFilterName(name);
            if (name.trimmed() != ref.name) {
                ref.name = name.trimmed();
                ref.reload(1);
            }
            break;
        }
        case 7: {
            const int active = pick(-1, 2);
            const int level = QList<int>{-1, 20, 50, 51, 30}.at(pick(0, 4));
            op = QStringLiteral("filter done %1 level %2").arg(active).arg(level);
            m_service->setFilterActive(active);
            m_service->setFilterLevel(level);
            const int normalizedActive = active == 2 ? -1 : active;
            const int normalizedLevel = level == 30 ? -1 : level;
            if (normalizedActive != ref.active || normalizedLevel != ref.level) {
                ref.active = normalizedActive;
                ref.level = normalizedLevel;
                ref.reload(1);
            }
            break;
        }
        case 8: {
            const QString from = randomBound();
            const QString to = pick(0, 2) ? randomBound() : QString();
            op = QStringLiteral("filter from '%1' to '%2'").arg(from, to);
            m_service->setFilterExpireFrom(from);
            m_service->setFilterExpireTo(to);
            if (from != ref.from || to != ref.to) {
                ref.from = from;
                ref.to = to;
                ref.reload(1);
            }
            break;
        }
        case 9: {
            const int column = pick(-1, 6);
            const int order = pick(0, 2);
            op = QStringLiteral("sort %1 %2").arg(column).arg(order);
            m_service->sort(column, order);
            if (column >= 0 && column <= 5) {
                ref.sortColumn = column;
                ref.sortOrder = order == 1 ? 1 : 0;
                ref.reload(ref.page);
            }
            break;
        }
        case 10: {
            const int page = pick(-1, ref.totalPages + 1);
            op = QStringLiteral("page %1").arg(page);
            m_service->loadPage(page);
            ref.reload(page);
            break;
        }
        default: {
            if (pick(0, 1)) {
                const int size = QList<int>{0, 1, 2, 3, 5, 10}.at(pick(0, 5));
                op = QStringLiteral("page size %1").arg(size);
                m_service->setPageSize(size);
                ref.pageSize = std::max(1, size);
            } else {
                const int id = randomTaskId();
                const QString createAt = QStringLiteral("2026-01-0%1 10:00:00").arg(pick(1, 3));
                op = QStringLiteral("touch %1 and reload").arg(id);
                execSql(
                    *m_db,
                    QStringLiteral("UPDATE tasks SET create_at = '%1' WHERE id = %2").arg(createAt).arg(id));
                for (RefTask &task : ref.tasks) {
                    if (task.id == id)
                        task.createAt = createAt;
                }
                m_service->onTasksChanged();
                ref.reload(ref.page);
            }
            break;
        }
        }
        log.append(QStringLiteral("%1: %2").arg(step).arg(op));
        const QString context = QStringLiteral("seed %1, step %2; last steps:\n%3")
                                    .arg(kSeed)
                                    .arg(step)
                                    .arg(log.mid(log.size() - 8).join('\n'));
        QVERIFY2(shownIds() == ref.shown, qPrintable(context));
        QVERIFY2(m_service->currentPage() == ref.page && m_service->totalPages() == ref.totalPages,
                 qPrintable(context));
        QVERIFY2(m_service->totalCount() == ref.count([](const RefTask &) { return true; }) &&
                     m_service->activeCount() == ref.count([](const RefTask &t) { return t.done; }) &&
                     m_service->midLevelCount() ==
                         ref.count([](const RefTask &t) { return !t.done && t.level > 20 && t.level <= 50; }),
                 qPrintable(context));
    }
}
