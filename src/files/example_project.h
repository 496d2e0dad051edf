// The example project opened at the first start of the program
// ("Examples/Example_Demo.sna"): a zone electrophoresis of three cationic
// analytes in an acetate buffer, separated within a minute of model time. The
// build writes it with the program's own project writer.
#pragma once

#include <string>

class RunState;

// Puts the example's composition and run setup into `st` (pending geometry
// included); Init and saving are the caller's.
void ComposeExampleDemo(RunState& st);

// Composes the example, initialises it and saves it as `name` with its
// companions. False (with the reason in `error`) when it could not be built.
bool WriteExampleDemo(const std::string& name, std::string& error);
