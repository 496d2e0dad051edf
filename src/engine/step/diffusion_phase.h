// The diffusion (conditioning) phase of a run, shown as the "diffusion mode":
// the field is off, Time is frozen and the diffusion clock DiffClock runs until
// DiffTime. It is no mode of the mode table (it selects no derivatives; the
// field routines and the modes read DiffMode as they read the field): a phase
// of the run loop and the starter, started by Init, the Diff button and the initial-distribution
// tool, ended by its clock or by opening a project.
#pragma once

class RunState;

// Enters the mode for `duration` seconds: DiffClock := 0, DiffTime := duration,
// DT and ErrInc saved, ErrInc := 0.25, DiffMode := true, Restart := true; the
// listeners show the pressed button and the label "Diff. time (s)".
void StartDiffusionMode(RunState& st, double duration);

// Leaves the mode: DT and ErrInc restored, DiffMode := false, Restart := true;
// the listeners release the button and show "Time (s)".
void EndDiffusionMode(RunState& st);
