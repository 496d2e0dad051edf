// The computation window: the nodes LeftWall..RightWall that the time step
// integrates. Outside it the profiles are flat. The walls move outward when a
// profile starts to change near a wall and inward (during a run) when every
// profile is flat near it; the decision reads the profile as last drawn.
#pragma once

class RunState;

// Last node of the grid the arrays hold: min(NX, Nn - 1); NX before allocation.
int LastGridNode(const RunState& st);

// Clamps both walls into 0..NX; a window of fewer than 3 nodes becomes the
// whole grid. Every routine that works on the window calls it first.
void ClampComputationWindow(RunState& st);

// Moves the walls by the profile last drawn (Arr.DrawnProfile), then places the
// wall marker lines through the DrawWindowLines event.
void UpdateComputationWindow(RunState& st);

// The wall marker lines at the current walls (DrawWindowLines event).
void DrawWindowLines(RunState& st);

// The engine part of the chart refresh: unless the chart is frozen (not
// initialised, or the initial-distribution preview), copies level 2 of every
// constituent into the drawn profile (constituents left out of the integration
// are skipped while a run is active), then emits RedrawGraph.
void RedrawGraph(RunState& st);
