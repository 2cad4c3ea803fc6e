// vrax3-64k: VRAX3 with 64 KiB blocks.
#include "driver.h"
#include "vrax3.h"

int main(int argc, char** argv) { return vrax::run_program<vrax3_codec_call, 1u << 16>(argc, argv); }
