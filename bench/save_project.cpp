// The time of a project save: opens a project once, then saves it again and
// again into a folder of its own (each save over the one before) and prints
// the median, the least and the most seconds of a save.
//
//   save_project <project.sna> <folder> [saves]   (default 9 saves)
//
// Projects: the example project (Examples/Example_Demo.sna beside the
// program) and one of many constituents (`open_init_memory make`).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/state/run_state.h"
#include "files/sna_file.h"
#include "foundation/errors.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: save_project <project.sna> <folder> [saves]\n");
        return 2;
    }
    const int saves = argc > 3 ? std::max(1, std::atoi(argv[3])) : 9;
    try {
        RunState st;
        if (!OpenProject(st, std::filesystem::absolute(argv[1]).string())) return 1;
        std::filesystem::create_directories(argv[2]);
        const std::string name = (std::filesystem::path(argv[2]) / "saved.sna").string();
        std::vector<double> seconds;
        for (int k = 0; k < saves; ++k) {
            const auto start = std::chrono::steady_clock::now();
            if (!SaveSnaFile(st, name, true)) return 1;
            seconds.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(seconds.begin(), seconds.end());
        std::printf(
            "%s: %d constituents, %d nodes; save median %.6f s (min %.6f, max %.6f) of %d\n",
            argv[1], st.NComp, st.NX + 1, seconds[seconds.size() / 2], seconds.front(),
            seconds.back(), saves);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
