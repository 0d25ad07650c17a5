#include "MainLog.h"

Q_LOGGING_CATEGORY(lcMain, "tarvik.main", QtInfoMsg)
