#pragma once
// The exit statuses of every globaro command, one rule for all of them:
// 2 when the command line is refused before anything runs (an unknown
// option, a value out of range, an unknown projection, an output that cannot
// draw), 1 when the run itself failed (an input that cannot be read, a target
// that cannot be written, a full disk), 130 when a signal stopped it.

namespace globaro {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;  // what shells report for a run stopped by Ctrl-C

}  // namespace globaro
