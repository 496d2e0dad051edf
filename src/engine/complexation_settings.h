// Switches of the complexation window.
#pragma once

struct ComplexationSettings {
    bool cbComplex = false;
};
