// vrax1a: VRAX1-A with 1 MiB blocks.
#include "driver.h"
#include "vrax1a.h"

int main(int argc, char** argv) { return vrax::run_program<vrax1a_codec_call, 1u << 20>(argc, argv); }
