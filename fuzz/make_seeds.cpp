// Writes the seed corpus of the fuzz targets into the directory given.
#include "fuzz_support.h"
#include "seed_corpus.h"

#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: make_seeds <corpus dir>\n";
        return 2;
    }
    QuietMessages();
    return WriteSeedCorpus(argv[1]) ? 0 : 1;
}
