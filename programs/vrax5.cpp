// vrax5: VRAX5 with 64 KiB blocks.
#include "program_table.h"

int main(int argc, char** argv) {
    return vrax::run_listed_program<vrax::program_named("vrax5")>(argc, argv);
}
