// vrax2: VRAX2 with 1 MiB blocks.
#include "driver.h"
#include "vrax2.h"

int main(int argc, char** argv) {
    return vrax::run_program<vrax2_codec_call, 1u << 20>(argc, argv);
}
