#include "SerialTransport.h"

SerialTransport::~SerialTransport() = default;
