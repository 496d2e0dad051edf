// The older options file written byte by byte from its layout, for the tests of
// its reader and of the older project that reads it.
#pragma once

#include "byte_builder.h"

#include <string>

struct OptValues {
    double DT = 2e-4, ErrOpt = 1e-10, StopTime = 120, UI = 300, EOFMob = 1e-9;
    int LeftWall = 3, RightWall = 90;
    bool cbIS = true, cbOptDt = false, cbDetectorOn = true, cbEnableEOF = true;
    int DetNode = 6;
    double ErrInc = 0.3, CondScale = 50, PeakWidth = 1.25, PeakEdgeWidth = 0.75;
    int InjNode = 40;
    double Temperature = 300.15, CapLength = 0.05;
    int EditsRef = 7;
    double CapDiameter = 7.5e-5;
    int NX = 200, GraphRef = 9, DetInput = 4;
    int ZeroPoint = 5, ZeroPosNode = 17;
    bool LWMove = false, RWMove = true, KeepDistance = false;
    double LW = 2e-12, RW = 3e-12;
    int WallInc = 25;
    double EpsCor1 = 0.05, EpsNew = 1e-11, EpsCor2 = 0.02;
    bool Voltage = false;
    std::string Dir = "/opt/kelvo";
};

inline std::string GoldenOpt(const OptValues& v, const std::string& trailer = "EOF")
{
    Bytes g;
    g.str("RAVO_CORE OPT FILE");
    g.f64(v.DT)
        .f64(v.ErrOpt)
        .f64(v.StopTime)
        .f64(v.UI)
        .f64(v.EOFMob)
        .i32(v.LeftWall)
        .i32(v.RightWall);
    g.u8(v.cbIS).u8(v.cbOptDt).u8(0).u8(0).u8(v.cbDetectorOn).u8(v.cbEnableEOF).i32(v.DetNode);
    g.f64(v.ErrInc).f64(v.CondScale).f64(v.PeakWidth).f64(v.PeakEdgeWidth).i32(v.InjNode);
    g.f64(v.Temperature)
        .f64(v.CapLength)
        .i32(v.EditsRef)
        .f64(v.CapDiameter)
        .i32(v.NX)
        .i32(v.GraphRef)
        .i32(v.DetInput);
    g.i32(v.ZeroPoint);
    if (v.ZeroPoint == 5) g.i32(v.ZeroPosNode);
    g.u8(v.LWMove).u8(v.RWMove).u8(v.KeepDistance).f64(v.LW).f64(v.RW).i32(v.WallInc);
    g.f64(v.EpsCor1).f64(v.EpsNew).f64(v.EpsCor2).u8(v.Voltage);
    for (int k = 0; k < 8; ++k) g.str(v.Dir);
    g.str(trailer);
    return g.b;
}
