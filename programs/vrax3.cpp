// vrax3: VRAX3 with 1 MiB blocks.
#include "driver.h"
#include "vrax3.h"

int main(int argc, char** argv) { return vrax::run_program<vrax3_codec_call, 1u << 20>(argc, argv); }
