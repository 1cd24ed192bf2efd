// The terminal's restore routine, shared by every way out of the program.
#pragma once

namespace ehi {

/// Puts the terminal back as the program found it: mouse reporting off,
/// the saved settings, cursor shown, colours reset. Idempotent and safe to
/// call from a signal handler.
void RestoreTerminal();

}  // namespace ehi
