#include <iostream>
#include <string>
#include <vector>

#include "fernrender.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return fernwise::runFernrender(args, std::cout, std::cerr);
}
