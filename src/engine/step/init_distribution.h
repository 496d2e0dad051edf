// Initial distributions of a run: the level-2 concentration of every
// constituent at every node and the pK and mobility of each of its charged
// forms per node, from the constituent's segmentation mode and type.
#pragma once

class RunState;
struct RunGeometry;

// Nearest node of a position x (mm) on a grid of `count` intervals over the
// pending capillary length: round(0.001 x / CapLengthPending * count), halves
// to even. A NaN gives 0; results beyond the int range are clamped.
int PositionToNode(const RunGeometry& geometry, double x, int count);

// Node of the injection site: from the applied NX, CapLength, InjSite, or
// (pending = true) from their pending twins; halves to even.
int InjectionSiteNode(const RunState& st, bool pending);

// ZeroPosNode from the zero-position choice of the options (Options.ZeroPoint)
// on the pending grid, or (pending = false) on the applied grid of the run.
// "Another position" keeps the node typed last; no choice keeps the node.
void ApplyZeroPoint(RunState& st, bool pending = true);

// Writes C[2], PKaForm and UForm of constituents 1..NComp and their drawn
// profile (Arr.DrawnProfile). A constituent whose set-up cannot be laid out
// (segmentation mode outside 1..5, segments without length, missing segment
// values) is reported with "Error: Incorrent setup of <i>. constituent"; the
// engine arrays are then released and the result is false.
bool InitDistribution(RunState& st);
