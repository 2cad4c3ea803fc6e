// vrax3a: VRAX3-A with 1 MiB blocks.
#include "driver.h"
#include "vrax3a.h"

int main(int argc, char** argv) { return vrax::run_program<vrax3a_codec_call, 1u << 20>(argc, argv); }
