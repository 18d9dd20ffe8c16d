#include "cli/Arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

const OptionSpec* findOption(const std::vector<OptionSpec>& accepted, const std::string& name) {
    for (const OptionSpec& option : accepted) {
        if (option.name == name || (!option.alias.empty() && option.alias == name)) return &option;
    }
    return nullptr;
}

bool looksLikeOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

// Digits with an optional sign in front and, where allowed, one decimal point among them: the C
// library's readers would also take spaces, "0x10" (as 16), "inf", "nan" and exponents.
bool isPlainDecimal(const std::string& text, bool pointAllowed) {
    std::size_t at = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    bool digits = false;
    bool point = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && pointAllowed && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

}  // namespace

std::optional<Arguments> Arguments::parse(const std::vector<std::string>& args,
                                          const std::vector<OptionSpec>& accepted,
                                          std::string* error) {
    Arguments parsed;
    bool optionsEnded = false;
    for (std::size_t index = 0; index < args.size(); ++index) {
        const std::string& word = args[index];
        if (optionsEnded || !looksLikeOption(word)) {
            parsed.positionals_.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const OptionSpec* option = findOption(accepted, name);
        if (option == nullptr) {
            *error = "unknown option " + name;
            return std::nullopt;
        }
        if (!option->takesValue) {
            if (equals != std::string::npos) {
                *error = name + " takes no value";
                return std::nullopt;
            }
            parsed.flags_.insert(option->name);
            continue;
        }
        if (equals == std::string::npos && index + 1 >= args.size()) {
            *error = name + " needs a value";
            return std::nullopt;
        }
        const std::string value =
            equals != std::string::npos ? word.substr(equals + 1) : args[++index];
        parsed.values_[option->name] = value;
        parsed.allValues_[option->name].push_back(value);
    }
    return parsed;
}

bool Arguments::has(const std::string& name) const {
    return flags_.count(name) != 0 || values_.count(name) != 0;
}

std::vector<std::string> Arguments::values(const std::string& name) const {
    const auto found = allValues_.find(name);
    return found == allValues_.end() ? std::vector<std::string>{} : found->second;
}

std::optional<std::string> Arguments::value(const std::string& name) const {
    auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

std::optional<long long> parseInteger(const std::string& text, long long low, long long high) {
    if (!isPlainDecimal(text, false)) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || number < low || number > high) return std::nullopt;
    return number;
}

std::optional<double> parseDecimal(const std::string& text, double low, double high) {
    if (!isPlainDecimal(text, true)) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(number) || number < low || number > high) {
        return std::nullopt;
    }
    return number;
}
