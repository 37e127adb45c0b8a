#pragma once
// Puts every process-wide piece of the program back to its start state:
// application record, message log, call gate, clock and dialog port.
namespace spelvane::testing {

void resetProgramState();

}  // namespace spelvane::testing
