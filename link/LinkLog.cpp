#include "LinkLog.h"

Q_LOGGING_CATEGORY(lcLink, "tarvik.link", QtInfoMsg)
