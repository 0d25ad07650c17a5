#include "GatewayLine.h"

GatewayLine::~GatewayLine() = default;
