// Geometry of the run as pending (edited) / applied pairs; Init applies the
// pending values.
#pragma once

struct RunGeometry {
    int NXPending = 1000;
    int NX = 1000;  // last node index
    double PeakWidthPending = 2.0;
    double PeakWidth = 2.0;  // mm
    double PeakEdgeWidthPending = 0.5;
    double PeakEdgeWidth = 0.5;  // mm
    double InjSitePending = 3.0;
    double InjSite = 3.0;  // mm
    double CapLengthPending = 0.025;
    double CapLength = 0.025;  // m

    // Drops the pending edits: every pending value becomes the applied one.
    void DiscardPending()
    {
        NXPending = NX;
        PeakWidthPending = PeakWidth;
        PeakEdgeWidthPending = PeakEdgeWidth;
        InjSitePending = InjSite;
        CapLengthPending = CapLength;
    }
};
