#pragma once

// The command line of one command, read against what the command accepts: positional
// arguments, options with a value ("--baud 9600", "--baud=9600", "-o OUT"), and flags
// ("--json"). "--" ends the options; "-" alone is a value (standard input or output).

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct OptionSpec {
    std::string name;  // "--baud", "-o"
    bool takesValue = false;
    std::string alias;  // another spelling of the same option ("--output" for "-o"), or empty
};

class Arguments {
public:
    // Reads args (the words after the command's name). On a mistake returns nothing and says it
    // in *error in one line, e.g. "unknown option --bad" or "--baud needs a value".
    static std::optional<Arguments> parse(const std::vector<std::string>& args,
                                          const std::vector<OptionSpec>& accepted,
                                          std::string* error);

    const std::vector<std::string>& positionals() const { return positionals_; }
    bool has(const std::string& name) const;
    // The option's value when it was given (the last one counts when given twice).
    std::optional<std::string> value(const std::string& name) const;
    // Every value the option was given, in the order given (an option that may name several
    // ports, say); none when it was not given.
    std::vector<std::string> values(const std::string& name) const;

private:
    std::vector<std::string> positionals_;
    std::map<std::string, std::string> values_;
    std::map<std::string, std::vector<std::string>> allValues_;
    std::set<std::string> flags_;
};

// Numbers as the options take them: the whole text must be the number, in decimal digits (with
// a sign, and for parseDecimal one point), within [low, high].
std::optional<long long> parseInteger(const std::string& text, long long low, long long high);
std::optional<double> parseDecimal(const std::string& text, double low, double high);
