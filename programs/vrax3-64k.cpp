// vrax3-64k: VRAX3 with 64 KiB blocks.
#include "program_table.h"

int main(int argc, char** argv) {
    return vrax::run_listed_program<vrax::program_named("vrax3-64k")>(argc, argv);
}
