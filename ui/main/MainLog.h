#pragma once

#include <QLoggingCategory>

// The main window's log: every error the application's handler receives.
Q_DECLARE_LOGGING_CATEGORY(lcMain)
