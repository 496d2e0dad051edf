// The computation window: the nodes LeftWall..RightWall that the time step
// integrates. Outside it the profiles are flat. The walls move outward when a
// profile starts to change near a wall and inward (during a run) when every
// profile is flat near it; the decision reads the profile as last drawn.
// While a reaction acts or the temperature is integrated, the window is the
// whole grid.
#pragma once

class RunState;
struct RunCounters;

// Holds the computation window of a scope: the walls found on entry come back
// when the scope ends, by a return or by an exception. Every routine that
// moves the walls for a while (to work on the whole grid) goes through it.
class ComputationWindowScope {
public:
    explicit ComputationWindowScope(RunCounters& counters);
    ~ComputationWindowScope();
    ComputationWindowScope(const ComputationWindowScope&) = delete;
    ComputationWindowScope& operator=(const ComputationWindowScope&) = delete;

    // Opens the window over nodes 0..lastNode until the scope ends.
    void WholeGrid(int lastNode);
    // The walls found on entry.
    int SavedLeft() const { return left_; }
    int SavedRight() const { return right_; }

private:
    RunCounters& counters_;
    const int left_, right_;
};

// Last node of the grid the arrays hold: min(NX, Nn - 1); NX before allocation.
int LastGridNode(const RunState& st);

// Clamps both walls into 0..NX; a window of fewer than 3 nodes becomes the
// whole grid. Every routine that works on the window calls it first.
void ClampComputationWindow(RunState& st);

// While the selected mode reacts everywhere or a mode integrates the node
// temperatures (ModeNeedsWholeGrid), opens the window over the whole grid
// (drawing the wall lines when they moved) and answers true: a flat profile
// changes by the reaction too, and a flat column heats; nodes outside the
// window would neither react nor heat. Called between steps only (the run loop before
// each step, UpdateComputationWindow), so a step integrates one window
// throughout.
bool WholeGridWhileReacting(RunState& st);

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
