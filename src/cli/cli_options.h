#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace framolo {

// A command line the tool cannot take: the tool prints the message and the
// overview, and exits with status 2.
class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TOptionKind { Flag, Number, Word };

// One option of a command, as the parser checks it and the help lists it.
struct TCliOption {
    std::string Name;
    TOptionKind Kind = TOptionKind::Flag;
    // What the help calls the value ("N", "MS", "METHOD"); empty for a flag.
    std::string Value;
    // The values a number may take.
    std::int64_t Min = 0;
    std::int64_t Max = INT32_MAX;
    // The help text; its lines after the first stand under the first.
    std::string Help;
};

// A command of the tool: what its help says, what it takes.
struct TCliCommand {
    std::string Name;
    // What follows the command's name on its usage line.
    std::string Synopsis;
    // The paragraphs between the usage line and the options.
    std::string Description;
    std::vector<TCliOption> Options;
    // A closing paragraph after the options; empty for none.
    std::string Epilogue;
    // How many arguments that are not options it takes, and what it says
    // when it gets another number of them.
    std::size_t Positionals = 0;
    std::string PositionalsMessage;
    // A flag with which the last positional argument may be left out; empty for none.
    std::string LastPositionalOptionalWith;
};

// The commands avi2gif, gif2avi (also as gif2video) and info; null for any other name.
const TCliCommand* FindCommand(const std::string& name);

// A command's help: usage line, description, its options from the table
// (with -h, --help last) and the closing paragraph.
std::string CommandHelp(const TCliCommand& command);

// What a command line gives.
class TCliArgs {
public:
    std::vector<std::string> Positional;

    bool Has(const std::string& option) const { return values_.count(option) != 0; }
    // The text given to a word option, or fallback.
    std::string Word(const std::string& option, const std::string& fallback) const;
    // The value given to a number option (checked against its range), or fallback.
    std::int32_t Number(const std::string& option, std::int32_t fallback) const;

private:
    friend TCliArgs ParseCommandLine(const TCliCommand&, const std::vector<std::string>&);
    std::map<std::string, std::string> values_;
};

// Reads the arguments after the command's name: "--name VALUE" for numbers
// and words, "--name" alone for flags, anything else is positional, and so is
// everything after a "--" (the value of an option is never taken for one). A number
// is digits only, as the window's fields take, and must lie in its option's
// range. Raises EUsage for an unknown option, a missing value, a number that
// is none or out of range, and a wrong count of positional arguments.
TCliArgs ParseCommandLine(const TCliCommand& command, const std::vector<std::string>& args);

} // namespace framolo
