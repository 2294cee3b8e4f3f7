#include "storage/SchemaExtras.h"

namespace SchemaExtras {

QList<Step> insightSteps()
{
    return {
        {QStringLiteral("contact index"),
         {QStringLiteral(
             "CREATE INDEX IF NOT EXISTS idx_contacts_customer ON customer_contacts (customer_id)")}},
    };
}

} // namespace SchemaExtras
