// vrax1: VRAX1 with 1 MiB blocks. Its two routines are called directly: no identity record and
// no working memory, and block buffers of BLOCK_SIZE + 256 bytes.
#include "driver.h"
#include "vrax1.h"

int main(int argc, char** argv) {
    return vrax::run_direct_program<vrax1_compress, vrax1_decompress, 1u << 20>(argc, argv);
}
