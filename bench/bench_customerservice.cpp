// The customer page of 100 rows: each order both ways, and filtered.
#include "BenchDatabase.h"

QList<BenchCase> customerCases(BenchDatabase &bench)
{
    CustomerService &customers = bench.customers();
    QList<BenchCase> cases;
    auto firstPage = [&customers] {
        customers.loadPage(1);
    };
    // Columns 0, 1 and 4 have orders of their own; the others sort by creation.
    const std::pair<int, const char *> orders[] = {{0, "id"}, {1, "name"}, {4, "creation"}};
    for (const auto &[column, label] : orders) {
        for (const int order : {0, 1}) {
            cases.append(
                {QStringLiteral("customers/page1/sort:%1/%2")
                     .arg(QLatin1String(label), order ? QStringLiteral("desc") : QStringLiteral("asc")),
                 firstPage, [&customers, column = column, order] { customers.sort(column, order); },
                 [&customers] {
                     customers.sort(4, 1);
                 }});
        }
    }
    // "2" matches most ids and names, so the pages are full; the name matches one customer, the
    // start of an e-mail address a few contacts.
    for (const char *filter : {"2", "Halvorsen", "c123@"}) {
        const QString text = QString::fromUtf8(filter);
        cases.append({QStringLiteral("customers/filter:%1").arg(text), firstPage,
                      [&customers, text] { customers.setFilterName(text); },
                      [&customers] {
                          customers.setFilterName(QString());
                      }});
    }
    return cases;
}
