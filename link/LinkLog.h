#pragma once

#include <QLoggingCategory>

// Trace of the gateway link; QT_LOGGING_RULES="tarvik.link.debug=true" turns on a hex dump of
// every frame in the field.
Q_DECLARE_LOGGING_CATEGORY(lcLink)
