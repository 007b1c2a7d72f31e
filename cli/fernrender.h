#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace fernwise {

struct SaveStop;

// The whole batch renderer: parses the arguments, renders and writes the
// output. Returns the exit status; messages go to `err`, help to `out`.
// `stop`, set by a signal handler, ends the write early with the earlier
// file kept.
int runFernrender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, SaveStop* stop = nullptr);

}  // namespace fernwise
