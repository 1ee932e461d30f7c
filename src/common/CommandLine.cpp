#include "common/CommandLine.h"

#include <algorithm>

namespace common {

CommandLineParse ParseCommandLine(const std::vector<std::string> &arguments)
{
    CommandLineParse parse;
    const auto end = std::find(arguments.begin(), arguments.end(), "--");
    for (auto argument = arguments.begin(); argument != end; ++argument) {
        if (*argument == "-h" || *argument == "--help")
            return {CommandLineAction::Help, {}, {}};
        if (*argument == "-v" || *argument == "--version")
            return {CommandLineAction::Version, {}, {}};
    }
    for (auto argument = arguments.begin(); argument != end; ++argument) {
        if (argument->size() > 1 && argument->front() == '-') {
            if (parse.action == CommandLineAction::Run)
                parse = {CommandLineAction::UnknownOption, *argument, {}};
        } else {
            parse.files.push_back(*argument);
        }
    }
    if (end != arguments.end())
        parse.files.insert(parse.files.end(), end + 1, arguments.end());
    return parse;
}

} // namespace common
