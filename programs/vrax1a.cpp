// vrax1a: VRAX1-A with 1 MiB blocks.
#include "program_table.h"

int main(int argc, char** argv) {
    return vrax::run_listed_program<vrax::program_named("vrax1a")>(argc, argv);
}
