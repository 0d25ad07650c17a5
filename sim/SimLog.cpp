#include "SimLog.h"

Q_LOGGING_CATEGORY(lcSim, "tarvik.sim", QtInfoMsg)
