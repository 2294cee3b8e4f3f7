// Fills a Duevia database with a demonstration account, customers and tasks around today, through
// the program's own services. Used by scripts/screenshots.sh.
//
// Usage: duevia-seed <database file> <username> <password>

#include "models/CustomerTableModel.h"
#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "services/CustomerService.h"
#include "services/TaskService.h"
#include "storage/DbManager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlQuery>
#include <QTextStream>

namespace {

struct SampleCustomer
{
    const char *name;
    const char *phone;
    const char *email;
};

struct SampleTask
{
    const char *name;
    int dayOffset;
    int hour;
    int minute;
    int level;
    bool done;
    int customer; // index into the customer list, -1 for none
};

constexpr SampleCustomer kCustomers[] = {
    {"Acme Logistics", "+1 555 0100", "office@acme.example"},
    {"Birchwood Bakery", "+1 555 0142", "orders@birchwood.example"},
    {"Corvid Studio", "+1 555 0177", "hello@corvid.example"},
    {"Delta Garden Supply", "+1 555 0190", "sales@deltagarden.example"},
};

constexpr SampleTask kTasks[] = {
    {"Send the quarterly invoice", -6, 9, 0, 30, true, 0},
    {"Call back about the delivery", -6, 14, 30, 10, true, 1},
    {"Review the shop window design", -4, 11, 0, 60, true, 2},
    {"Order flour for next week", -3, 8, 15, 20, false, 1},
    {"Prepare the contract draft", -2, 10, 0, 70, true, 0},
    {"Check the greenhouse quote", -2, 16, 45, 40, false, 3},
    {"Renew the domain", -1, 12, 0, 15, true, -1},
    {"Team stand-up notes", 0, 9, 30, 5, true, -1},
    {"Logo revisions, round two", 0, 13, 0, 55, false, 2},
    {"Pay the supplier", 0, 15, 30, 35, false, 0},
    {"Deliver the wedding cake", 1, 10, 0, 80, false, 1},
    {"Inventory count", 2, 17, 0, 25, false, 3},
    {"Print the brochures", 3, 11, 30, 45, false, 2},
    {"Quarterly tax return", 5, 9, 0, 90, false, -1},
    {"Visit the warehouse", 5, 14, 0, 30, false, 0},
    {"Seasonal catalogue", 5, 16, 0, 20, false, 3},
    {"Website photo shoot", 8, 10, 0, 50, false, 2},
    {"Annual maintenance check", 12, 8, 0, 15, false, -1},
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        err << "Usage: duevia-seed <database file> <username> <password>\n";
        return 2;
    }

    DbManager db;
    if (!db.open(args.at(1)) || !db.ensureSchema()) {
        err << "Cannot open " << args.at(1) << ": " << db.errorText() << "\n";
        return 1;
    }

    AuthService auth(&db);
    auth.registerUser(args.at(2), args.at(3), QStringLiteral("Demo User"));
    if (!auth.login(args.at(2), args.at(3))) {
        err << "Cannot sign in as " << args.at(2) << "\n";
        return 1;
    }

    TaskTableModel taskModel;
    CustomerTableModel customerModel;
    TaskService tasks(&db, &auth, &taskModel);
    CustomerService customers(&db, &auth, &customerModel);

    QList<int> customerIds;
    QSqlQuery lastId(db.database());
    for (const SampleCustomer &customer : kCustomers) {
        const QVariantList contacts{
            QVariantMap{{QStringLiteral("type"), QStringLiteral("phone")},
                        {QStringLiteral("value"), QString::fromUtf8(customer.phone)},
                        {QStringLiteral("label"), QStringLiteral("Office")}},
            QVariantMap{{QStringLiteral("type"), QStringLiteral("email")},
                        {QStringLiteral("value"), QString::fromUtf8(customer.email)},
                        {QStringLiteral("label"), QString()}},
        };
        if (!customers.createCustomer(QString::fromUtf8(customer.name), QString(), contacts)) {
            err << "Cannot create the customer " << customer.name << "\n";
            return 1;
        }
        lastId.exec(QStringLiteral("SELECT MAX(id) FROM customers"));
        customerIds.append(lastId.next() ? lastId.value(0).toInt() : -1);
    }

    const QDate today = QDate::currentDate();
    for (const SampleTask &task : kTasks) {
        const QDateTime expireAt(today.addDays(task.dayOffset), QTime(task.hour, task.minute));
        const int customerId = task.customer < 0 ? -1 : customerIds.at(task.customer);
        if (!tasks.createTask(QString::fromUtf8(task.name), expireAt, task.done, task.level, customerId)) {
            err << "Cannot create the task " << task.name << "\n";
            return 1;
        }
    }
    return 0;
}
