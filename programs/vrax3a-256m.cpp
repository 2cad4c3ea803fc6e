// vrax3a-256m: VRAX3-A with 256 MiB blocks.
#include "driver.h"
#include "vrax3a.h"

int main(int argc, char** argv) { return vrax::run_program<vrax3a_codec_call, 1u << 28>(argc, argv); }
