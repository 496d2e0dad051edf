// The diffusion (conditioning) mode: the field is off, Time is frozen and the
// diffusion clock DiffClock runs until DiffTime.
#pragma once

class RunState;

// Enters the mode for `duration` seconds: DiffClock := 0, DiffTime := duration,
// DT and ErrInc saved, ErrInc := 0.25, DiffMode := true, Restart := true; the
// listeners show the pressed button and the label "Diff. time (s)".
void StartDiffusionMode(RunState& st, double duration);

// Leaves the mode: DT and ErrInc restored, DiffMode := false, Restart := true;
// the listeners release the button and show "Time (s)".
void EndDiffusionMode(RunState& st);
