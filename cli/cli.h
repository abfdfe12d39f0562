// zentiq-cli: the headless front end of the engine.
//
//   zentiq-cli info   MOVIE.swf
//   zentiq-cli run    MOVIE.swf --frames N
//   zentiq-cli render MOVIE.swf --frames N -o OUT.png [--width W --height H]
//   zentiq-cli bench  MOVIE.swf --frames N [--width W --height H] [--threads T]
//
// `run` writes the movie's trace lines, and nothing else, to `out`; errors go
// to `err` and give a non-zero exit status.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zf::cli {

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace zf::cli
