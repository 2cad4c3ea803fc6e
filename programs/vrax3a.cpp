// vrax3a: VRAX3-A with 1 MiB blocks.
#include "program_table.h"

int main(int argc, char** argv) {
    return vrax::run_listed_program<vrax::program_named("vrax3a")>(argc, argv);
}
