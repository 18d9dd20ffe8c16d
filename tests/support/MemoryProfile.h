#pragma once

#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "engine/Profile.h"

// A settings store in memory that keeps values with their type, as the registry does, and
// remembers the order of writes so tests can check it.
class MemoryProfile : public Profile {
public:
    using Value = std::variant<int, std::string, std::vector<std::uint8_t>>;
    using Key = std::pair<std::string, std::string>;

    int readInt(const std::string& section, const std::string& name, int defaultValue) override {
        auto it = values.find({section, name});
        if (it == values.end()) return defaultValue;
        if (auto* number = std::get_if<int>(&it->second)) return *number;
        return defaultValue;
    }
    std::string readString(const std::string& section, const std::string& name,
                           const std::string& defaultValue) override {
        auto it = values.find({section, name});
        if (it == values.end()) return defaultValue;
        if (auto* text = std::get_if<std::string>(&it->second)) return *text;
        return defaultValue;
    }
    bool readBinary(const std::string& section, const std::string& name,
                    std::vector<std::uint8_t>& out) override {
        out.clear();
        auto it = values.find({section, name});
        if (it == values.end()) return false;
        auto* bytes = std::get_if<std::vector<std::uint8_t>>(&it->second);
        if (!bytes) return false;
        out = *bytes;
        return true;
    }
    bool writeInt(const std::string& section, const std::string& name, int value) override {
        return store(section, name, value);
    }
    bool writeString(const std::string& section, const std::string& name,
                     const std::string& value) override {
        return store(section, name, value);
    }
    bool writeBinary(const std::string& section, const std::string& name,
                     const std::vector<std::uint8_t>& value) override {
        return store(section, name, value);
    }

    std::vector<std::string> valueNames(const std::string& section) override {
        std::vector<std::string> names;
        for (const auto& [key, value] : values)
            if (key.first == section) names.push_back(key.second);
        return names;
    }
    bool removeValue(const std::string& section, const std::string& name) override {
        values.erase({section, name});
        return true;
    }

    std::map<Key, Value> values;
    std::vector<std::string> writeOrder;  // "Section/Name" per write

private:
    bool store(const std::string& section, const std::string& name, Value value) {
        values[{section, name}] = std::move(value);
        writeOrder.push_back(section + "/" + name);
        return true;
    }
};
