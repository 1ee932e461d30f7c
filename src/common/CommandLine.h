#pragma once
// The command line of both programs, as GNU and Qt programs read theirs:
// options before "--", file names after it (and before it, those that do
// not begin with "-").

#include <string>
#include <vector>

namespace common {

enum class CommandLineAction { Run, Help, Version, UnknownOption };

struct CommandLineParse {
    CommandLineAction action = CommandLineAction::Run;
    // The option not understood, for UnknownOption.
    std::string option;
    std::vector<std::string> files;
};

// "-h"/"--help" and "-v"/"--version" win wherever they stand before "--";
// any other argument there that begins with "-" (but "-" alone) is unknown.
CommandLineParse ParseCommandLine(const std::vector<std::string> &arguments);

} // namespace common
