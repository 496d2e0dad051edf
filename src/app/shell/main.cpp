// Program entry.
#include "app/shell/app_main.h"

int main(int argc, char** argv)
{
    return RunKelvo(argc, argv);
}
