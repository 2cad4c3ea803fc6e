// vrax3a-256m: VRAX3-A with 256 MiB blocks.
#include "program_table.h"

int main(int argc, char** argv) {
    return vrax::run_listed_program<vrax::program_named("vrax3a-256m")>(argc, argv);
}
