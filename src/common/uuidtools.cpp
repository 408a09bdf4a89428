#include "uuidtools.h"

#include "common/internal/wholetextmatch.h"

#include <QUuid>

using namespace Reveriz::Internal;

namespace UuidTools {

QString createUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
}

bool validateUuid(const QString& uuid)
{
    static const QRegularExpression loose =
        WholeTextMatch::expression(QStringLiteral("([0-9a-f]*)-([0-9a-f]*)-([0-9a-f]*)-([0-9a-f]*)-([0-9a-f]*)"));
    return WholeTextMatch::matches(loose, uuid);
}

} // namespace UuidTools
