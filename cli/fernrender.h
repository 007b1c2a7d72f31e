#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace fernwise {

// The whole batch renderer: parses the arguments, renders and writes the
// output. Returns the exit status; messages go to `err`, help to `out`.
int runFernrender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace fernwise
