// vrax5: VRAX5 with 64 KiB blocks.
#include "driver.h"
#include "vrax5.h"

int main(int argc, char** argv) { return vrax::run_program<vrax5_codec_call, 1u << 16>(argc, argv); }
