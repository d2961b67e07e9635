// The entry point of the catalogue server program Varsvc: the server module
// run with the compiler library's type compiler for every project.
#include "server/MorvalTypeCompiler.h"
#include "server/ServerModule.h"

int main(int argc, char** argv) { return VarsvcRun(argc, argv, MorvalTypeCompilers()); }
