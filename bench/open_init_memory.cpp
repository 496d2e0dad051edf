// Files of many constituents and large companions, for the peak memory of
// opening them (measured from outside, e.g. the maximum resident set size of
// `/usr/bin/time -v`):
//
//   open_init_memory make <dir> <constituents>   writes <dir>/many.sna with its
//       composition of that many strong ions on 10 nodes, initialised
//   open_init_memory open <project.sna>          opens the project (its Init
//       included) and prints the constituents of the run
//   open_init_memory table <project.sna> <MB>    writes a complexation table
//       file of that many megabytes (a table of the composition followed by
//       lines of junk) beside the project, then opens the project
//   open_init_memory limit <project.sna>         writes the complexation table
//       that takes the most memory the reader allows: just under the byte
//       limit of the project's composition, as many table lines of as many
//       fields as it takes, each field as long as the bytes allow; then opens
//       the project
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "composition/cmp_file.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "files/complex_file.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "support/test_compositions.h"

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: open_init_memory make <dir> <constituents> | open <project.sna> | "
                 "table <project.sna> <MB> | limit <project.sna>\n");
    return 2;
}

// Cations and anions in turn, 1 mM each (an even count is electroneutral).
int Make(const std::filesystem::path& dir, int count)
{
    std::filesystem::create_directories(dir);
    RunState st;
    TUnivSet<TComponents> comp;
    for (int k = 1; k <= count; ++k) {
        const std::string name = "Ion " + std::to_string(k);
        comp.Add(k % 2 ? testcomp::StrongCation(name, 30.0 + k % 17, testcomp::BGE, 1.0, 1.0)
                       : testcomp::StrongAnion(name, 30.0 + k % 13, testcomp::BGE, 1.0, 1.0));
    }
    testcomp::PrepareRun(st, comp, 10);
    if (!InitCalc(st)) return 1;
    const std::string name = (dir / "many.sna").string();
    if (!SaveSnaFile(st, name)) return 1;
    std::printf("%s: %d constituents on %d nodes\n", name.c_str(), st.NComp, st.NX + 1);
    return 0;
}

int Open(const std::string& name)
{
    RunState st;
    if (!OpenProject(st, std::filesystem::absolute(name).string())) {
        std::fprintf(stderr, "%s: not opened\n", name.c_str());
        return 1;
    }
    std::printf("%s: opened, %d constituents initialised on %d nodes\n", name.c_str(), st.NComp,
                st.NX + 1);
    return 0;
}

int Table(const std::string& project, double megabytes)
{
    const std::string txt = std::filesystem::path(project).replace_extension(".txt").string();
    {
        std::ofstream out(txt, std::ios::binary);
        out << "0\t0\r\nNone\r\n20\r\n14\t362.5\t205.5\r\n1\r\n";
        const std::string junk = std::string(62, 'x') + "\r\n";
        for (double written = 0; written < megabytes * 1e6; written += junk.size()) out << junk;
    }
    std::printf("%s: %.0f bytes\n", txt.c_str(),
                static_cast<double>(std::filesystem::file_size(txt)));
    return Open(project);
}

// The composition of the project beside `project` (its ".cmp").
TUnivSet<TComponents> CompositionOf(const std::string& project)
{
    TUnivSet<TComponents> comp;
    LoadCompositionFile(std::filesystem::path(project).replace_extension(".cmp").string(), comp);
    return comp;
}

int Limit(const std::string& project)
{
    const TUnivSet<TComponents> comp = CompositionOf(project);
    // The limit of the composition; a larger text file than any table is the
    // user's own and is not read as one.
    const std::int64_t bytes = std::min(ComplexTableByteLimit(comp), kComplexTableMaxBytes) - 4096;
    const std::int64_t lines = ComplexTableLineLimit(comp);
    constexpr std::int64_t kFields = 2 * kMaxLigandCharge + 1;
    const std::string txt = std::filesystem::path(project).replace_extension(".txt").string();
    {
        std::ofstream out(txt, std::ios::binary);
        std::string head = "-32\t32\r\n";
        std::int64_t written = static_cast<std::int64_t>(head.size());
        out << head;
        // Fields as long as the bytes allow over every line the reader takes
        // (no numbers: the reader takes them, the set-up lists them).
        const std::int64_t width =
            std::max<std::int64_t>(1, (bytes - written) / (kFields * lines) - 1);
        const std::string field(static_cast<std::size_t>(width), 'x');
        for (std::int64_t line = 2; line <= lines; ++line) {
            const std::int64_t fields = line == 2   ? kFields - 1
                                        : line == 4 ? 3
                                        : line == 5 ? 1
                                                    : kFields;
            std::string text;
            for (std::int64_t k = 0; k < fields; ++k) text += (k ? "\t" : "") + field;
            text += "\r\n";
            if (written + static_cast<std::int64_t>(text.size()) > bytes) break;
            out << text;
            written += static_cast<std::int64_t>(text.size());
        }
    }
    std::printf("%s: %.0f bytes (limit %lld), %lld table lines at most\n", txt.c_str(),
                static_cast<double>(std::filesystem::file_size(txt)),
                static_cast<long long>(bytes + 4096), static_cast<long long>(lines));
    return Open(project);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return Usage();
    const std::string what = argv[1];
    try {
        if (what == "make" && argc == 4) return Make(argv[2], std::atoi(argv[3]));
        if (what == "open" && argc == 3) return Open(argv[2]);
        if (what == "table" && argc == 4) return Table(argv[2], std::atof(argv[3]));
        if (what == "limit" && argc == 3) return Limit(argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return Usage();
}
