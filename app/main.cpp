#include "Server.h"

int main(int argc, char** argv) { return serverMain(argc, argv); }
