#pragma once

// How long the gateway may stay silent before what was last read from it counts as old: the
// window dims its values and the command line's bridge reports the gateway offline.
namespace Freshness {
inline constexpr int StaleAfterMs = 10000;
}
