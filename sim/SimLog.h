#pragma once

#include <QLoggingCategory>

// Trace of the simulated gateway: QT_LOGGING_RULES="tarvik.sim.debug=true" shows every frame
// it takes and why it stays silent.
Q_DECLARE_LOGGING_CATEGORY(lcSim)
