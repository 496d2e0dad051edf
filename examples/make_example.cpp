// Writes the example project (and its composition) with the program's own
// project writer: make_example <path of Example_Demo.sna>
#include "files/example_project.h"
#include "foundation/errors.h"

#include <cstdio>
#include <string>

namespace {

// Build-time use: warnings go to standard error, questions are answered No.
class BuildSink : public MessageSink {
public:
    void Warning(const std::string& m) override { std::fprintf(stderr, "make_example: %s\n", m.c_str()); }
    bool Question(const std::string&) override { return false; }
    void Message(const std::string& m) override { std::fprintf(stderr, "make_example: %s\n", m.c_str()); }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_example <Example_Demo.sna>\n");
        return 2;
    }
    BuildSink sink;
    SetMessageSink(&sink);
    std::string error;
    const bool ok = WriteExampleDemo(argv[1], error);
    SetMessageSink(nullptr);
    if (!ok) {
        std::fprintf(stderr, "make_example: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
