#include "startup.h"

int main(int argc, char** argv) { return fernwise::runFernwise(argc, argv); }
