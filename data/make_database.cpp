// Converts the readable constituent table into "Database.dbc" with the
// program's own writer: make_database <constituents.tsv> <Database.dbc>
#include "composition/database.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_database <constituents.tsv> <Database.dbc>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "make_database: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TUnivSet<TComponents> database;
    std::string error;
    if (!ParseDatabaseTable(text, database, error)) {
        std::fprintf(stderr, "make_database: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (!WriteDatabase(argv[2], database)) {
        std::fprintf(stderr, "make_database: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
