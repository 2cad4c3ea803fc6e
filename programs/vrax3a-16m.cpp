// vrax3a-16m: VRAX3-A with 16 MiB blocks.
#include "program_table.h"

int main(int argc, char** argv) {
    return vrax::run_listed_program<vrax::program_named("vrax3a-16m")>(argc, argv);
}
