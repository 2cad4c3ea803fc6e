// vrax1: VRAX1 with 1 MiB blocks, its two routines called directly (no identity record, no
// working memory) with block buffers of BLOCK_SIZE + 256 bytes.
#include "program_table.h"

int main(int argc, char** argv) {
    return vrax::run_listed_program<vrax::program_named("vrax1")>(argc, argv);
}
