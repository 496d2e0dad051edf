#include "files/example_project.h"

#include "engine/state/run_state.h"
#include "files/file_hooks.h"
#include "files/sna_file.h"

#include <exception>
#include <vector>

namespace {

constexpr int kAnalyte = 0, kBGE = 1;
constexpr double kStrongCation = 16.0;  // pK of the +1 form of a fully dissociated cation

}  // namespace

void ComposeExampleDemo(RunState& st)
{
    st.Composition.Empty();
    // Colours (0x00BBGGRR) differ from each other and from the window's own
    // curves: grey, orange, dark red, blue and green.
    // Background electrolyte: 20 mM acetic acid half neutralised by sodium (pH about 4.8).
    st.Composition.Add(TComponents::Uniform("Acetic acid", -1, 0, {4.756, 0.0}, {42.4, 0.0}, kBGE,
                                            20.0, 20.0, 0x808080));
    st.Composition.Add(TComponents::Uniform("Sodium", 0, 1, {0.0, kStrongCation}, {0.0, 51.9}, kBGE,
                                            10.0, 10.0, 0x00A5FF));
    // Analytes injected as one 1 mm zone: two strong cations and a weak base
    // (protonated in this buffer); all three pass the detector within a minute.
    // At 0.2 mM in the 10 mM buffer the zones keep nearly their own shape (the
    // boundaries that electromigration dispersion sharpens stay many nodes
    // wide), so the profiles need no grid finer than 25 um to stay free of
    // undershoots.
    st.Composition.Add(TComponents::Uniform("Potassium", 0, 1, {0.0, kStrongCation}, {0.0, 76.2},
                                            kAnalyte, 0.0, 0.2, 0x3030C0));
    st.Composition.Add(TComponents::Uniform("Lithium", 0, 1, {0.0, kStrongCation}, {0.0, 40.1},
                                            kAnalyte, 0.0, 0.2, 0xC06000));
    st.Composition.Add(TComponents::Uniform("Imidazole", 0, 1, {0.0, 6.95}, {0.0, 52.0}, kAnalyte,
                                            0.0, 0.2, 0x20A020));

    // A 25 mm capillary of 50 um at 250 V on 1000 nodes (25 um, a potential
    // drop of 0.25 V per node); the detector 20 mm from the inlet. The time
    // step follows the default error control.
    st.NXPending = 1000;
    st.CapLengthPending = 0.025;
    st.PeakWidthPending = 1.0;
    st.PeakEdgeWidthPending = 0.5;
    st.InjSitePending = 3.0;
    st.CapDiameter = 5e-5;
    st.Temperature = 298.15;
    st.rbVoltage = true;
    st.UI = 250;
    st.StopTime = 60;
    st.DetPosition = 20;
    st.cbDetectorOn = true;
    st.Loading = false;
    st.LoadingPsq = false;
}

bool WriteExampleDemo(const std::string& name, std::string& error)
{
    try {
        RunState st;
        ComposeExampleDemo(st);
        if (!RunInitCommand(st)) {
            error = "Init failed";
            return false;
        }
        if (!SaveSnaFile(st, name)) {
            error = "the project could not be saved";
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}
