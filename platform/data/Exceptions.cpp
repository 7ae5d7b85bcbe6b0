#include "platform/data/Exceptions.h"

namespace zel {

void Abort()
{
    throw EAbort();
}

void DatabaseError(const QString& message)
{
    throw EDatabaseError(message);
}

} // namespace zel
