#include "storage/SchemaExtras.h"

namespace SchemaExtras {

QList<Step> taskPageSteps()
{
    return {
        {QStringLiteral("task indexes"),
         {
             QStringLiteral(
                 "CREATE INDEX IF NOT EXISTS idx_tasks_user_expire ON tasks (user_id, expire_at_epoch)"),
             QStringLiteral(
                 "CREATE INDEX IF NOT EXISTS idx_tasks_user_created ON tasks (user_id, create_at)"),
         }},
    };
}

} // namespace SchemaExtras
