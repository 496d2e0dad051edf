// Writes the example project (and its composition) with the program's own
// project writer: make_example <path of Example_Demo.sna>
#include "files/example_project.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_example <Example_Demo.sna>\n");
        return 2;
    }
    // Warnings go to standard error and questions are answered No (the default
    // message sink).
    std::string error;
    const bool ok = WriteExampleDemo(argv[1], error);
    if (!ok) {
        std::fprintf(stderr, "make_example: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
