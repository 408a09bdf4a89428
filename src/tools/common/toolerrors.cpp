#include "toolerrors.h"

#include "common/exceptions/reverizexception.h"

namespace ToolErrors {

int fail(QTextStream& err, const QString& message)
{
    err << message << '\n';
    err.flush();
    return 1;
}

QString describe(const ReverizException& e)
{
    QString text = e.errorMessage(ReverizException::FormatWithName);
    if (text.endsWith(QLatin1String(": ")))
        text.chop(2); // an exception that has a name only
    return text;
}

} // namespace ToolErrors
