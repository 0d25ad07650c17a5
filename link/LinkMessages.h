#pragma once

// Texts the gateway link shows to the user.
inline constexpr const char *kPortInactiveMessage = "Communication port is inactive.";
