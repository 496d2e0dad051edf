// The run loop: Milne predictor, equilibrium, derivatives and an iterated
// Hamming corrector over the computation window, step after step, until the
// stop time or a stop request; followed after every step by the step services.
#pragma once

class RunState;

// Runs the loop. Refuses (warning, nothing changed) in complexation mode
// without complexation data, without constituents, and when Time has reached
// StopTime. Ends when Time + DT would reach StopTime (the last step is never
// shortened) or on Stop. A step in which a numerical failure occurs is not
// accepted: level 2 stays the last good state and the run stops.
void RunCalc(RunState& st);

// Disables the run-setup edits of the node count and the geometry.
void DisableRunSetup(RunState& st);
// Enables them again, sets Stop, clears Running and refreshes the status.
void StopCalc(RunState& st);
