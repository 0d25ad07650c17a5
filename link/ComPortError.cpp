#include "ComPortError.h"

ComPortError::ComPortError(const QString &message, const QString &componentName)
    : std::runtime_error(QStringLiteral("%1 - %2 ").arg(message, componentName).toStdString()),
      m_message(message)
{
}
