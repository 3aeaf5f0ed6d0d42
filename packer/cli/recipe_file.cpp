#include "recipe_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include "codepage.h"
#include "input_file.h"
#include "pack_error.h"
#include "profile_file.h"
#include "utf8_path.h"

// toml++ is compiled into this file alone, so that velmor-pack loads no library for it.
#define TOML_HEADER_ONLY 1
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

namespace velmor {
namespace {

// Recipes are a few lines; anything larger is not one.
constexpr uint64_t kMaxRecipeSize = 1 << 20;

std::string Relative(const std::filesystem::path &folder, const std::string &value)
{
    if (value.empty() || PathOf(value).is_absolute())
        return value;
    return TextOf((folder / PathOf(value)).lexically_normal());
}

std::string Place(const std::string &path, unsigned line, unsigned column = 0)
{
    return path + ":" + std::to_string(line) + (column ? ":" + std::to_string(column) : "") + ": ";
}

const char *TomlTypeName(toml::node_type type)
{
    switch (type) {
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a floating-point number";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::date: return "a date";
    case toml::node_type::time: return "a time";
    case toml::node_type::date_time: return "a date-time";
    case toml::node_type::array: return "an array";
    case toml::node_type::table: return "a table";
    default: return "no value";
    }
}

// Every key of table, below section; a table within is a section of its own, and
// reported as such (with an empty key) even when it holds nothing.
void CollectToml(const toml::table &table, const std::string &section, std::vector<RecipeItem> &items)
{
    for (const auto &[key, node] : table) {
        RecipeItem item;
        item.key = std::string(key.str());
        item.section = section;
        item.line = static_cast<unsigned>(key.source().begin.line);
        item.typeName = TomlTypeName(node.type());
        if (const toml::table *inner = node.as_table()) {
            std::string name = section.empty() ? item.key : section + "." + item.key;
            items.push_back({"", name, RecipeItem::Type::Other, {}, item.line, item.typeName});
            CollectToml(*inner, name, items);
            continue;
        }
        if (const toml::value<std::string> *text = node.as_string()) {
            item.type = RecipeItem::Type::String;
            item.values = {text->get()};
        } else if (const toml::value<bool> *flag = node.as_boolean()) {
            item.type = RecipeItem::Type::Boolean;
            item.values = {flag->get() ? "true" : "false"};
        } else if (const toml::value<int64_t> *number = node.as_integer()) {
            item.type = RecipeItem::Type::Integer;
            item.values = {std::to_string(number->get())};
        } else if (const toml::array *array = node.as_array(); array && array->is_homogeneous<std::string>()) {
            item.type = RecipeItem::Type::Array;
            for (const toml::node &element : *array)
                item.values.push_back(element.as_string()->get());
            item.typeName = "an array of strings";
        } else {
            item.type = RecipeItem::Type::Other;
            if (node.is_array())
                item.typeName = "an array of more than strings";
        }
        items.push_back(std::move(item));
    }
}

void SortByLine(std::vector<RecipeItem> &items)
{
    std::stable_sort(items.begin(), items.end(),
                     [](const RecipeItem &a, const RecipeItem &b) { return a.line < b.line; });
}

// The option a recipe key names: a positional argument's key, or a long or short
// option's name without its dashes; nullptr for none a recipe may set.
CLI::Option *OptionOfKey(CLI::App &cmd, const RecipeRules &rules, const std::string &key)
{
    CLI::Option *option = nullptr;
    auto positional = rules.positionalKeys.find(key);
    if (positional != rules.positionalKeys.end())
        option = cmd.get_option_no_throw(positional->second);
    else if (!key.empty() && key[0] != '-' && !rules.refusedKeys.count(key))
        option = cmd.get_option_no_throw((key.size() == 1 ? "-" : "--") + key);
    return option == cmd.get_help_ptr() ? nullptr : option;
}

// Other tools' words for options, which their spelling alone would not lead to.
const std::pair<const char *, const char *> kKeySynonyms[] = {
    {"destination", "folder"}, {"dest", "folder"}, {"target", "folder"}, {"install-dir", "folder"},
    {"src", "source"},         {"input", "source"}, {"out", "output"},   {"program", "run"},
    {"setup", "run"},          {"title", "description"}, {"threads", "jobs"},
};

size_t EditDistance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The key a recipe of cmd may set that an unknown key was probably meant as: another
// tool's word for it, or the nearest spelling; "" when none is near.
std::string SuggestedKey(CLI::App &cmd, const RecipeRules &rules, const std::string &key)
{
    std::string typed;
    for (char c : key)
        typed += c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto &[word, meant] : kKeySynonyms) {
        if (typed == word && OptionOfKey(cmd, rules, meant))
            return meant;
    }
    std::vector<std::string> keys;
    for (const auto &[positionalKey, name] : rules.positionalKeys)
        keys.push_back(positionalKey);
    for (const CLI::Option *option : cmd.get_options()) {
        for (const std::string &name : option->get_lnames())
            keys.push_back(name);
    }
    std::string best;
    size_t bestDistance = std::max<size_t>(1, typed.size() / 3) + 1;
    for (const std::string &candidate : keys) {
        size_t distance = EditDistance(typed, candidate);
        if (distance < bestDistance && OptionOfKey(cmd, rules, candidate)) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace

std::vector<RecipeItem> ReadTomlRecipe(const std::string &text, const std::string &path)
{
    std::string_view document = std::string_view(text).substr(Utf8ByteOrderMarkLength(text));
    toml::table root;
    try {
        root = toml::parse(document, path);
    } catch (const toml::parse_error &e) {
        std::string what(e.description());
        // Windows paths are where a backslash is typed most.
        if (what.find("escape sequence") != std::string::npos)
            what += "; in a \"...\" string a backslash begins an escape: write a Windows path in single quotes "
                    "('C:\\Acme') or double each backslash (\"C:\\\\Acme\")";
        throw UsageError(Place(path, static_cast<unsigned>(e.source().begin.line),
                               static_cast<unsigned>(e.source().begin.column)) +
                         what);
    }
    std::vector<RecipeItem> items;
    CollectToml(root, "", items);
    SortByLine(items);
    return items;
}

std::vector<RecipeItem> ReadIniRecipe(const std::string &text, const std::string &path)
{
    std::vector<RecipeItem> items;
    std::string section;
    for (const ProfileLine &line : ProfileFile::Lines(text)) {
        if (line.opensSection) {
            section = line.name;
            items.push_back({"", section, RecipeItem::Type::Other, {}, line.number, "a section"});
        } else if (line.name.empty()) {
            throw UsageError(Place(path, line.number) + "a value without a key");
        } else if (line.name[0] == ';' || line.name[0] == '#') {
            continue;
        } else if (!line.hasEquals) {
            throw UsageError(Place(path, line.number) + "'" + line.name +
                             "' is neither a [section], a key = value nor a comment");
        } else {
            items.push_back({line.name, section, RecipeItem::Type::String, {ProfileFile::Unquoted(line.value)},
                             line.number, "a string"});
        }
    }
    return items;
}

void ApplyRecipe(CLI::App &cmd, const std::string &path, const RecipeRules &rules)
{
    std::string text = ReadWholeFile(path, kMaxRecipeSize);
    bool ini = PathOf(path).extension() == ".ini";
    std::vector<RecipeItem> items = ini ? ReadIniRecipe(text, path) : ReadTomlRecipe(text, path);
    std::filesystem::path folder = PathOf(path).parent_path();
    const std::string &command = cmd.get_name();
    std::map<const CLI::Option *, std::pair<unsigned, std::string>> seen; // where each was set
    // Paths are the recipe's under every name of their options (o as well as output).
    std::set<const CLI::Option *> pathOptions;
    for (const std::string &key : rules.pathKeys)
        pathOptions.insert(OptionOfKey(cmd, rules, key));

    for (RecipeItem &item : items) {
        auto refuse = [&](const std::string &why) { throw UsageError(Place(path, item.line) + why); };
        if (!item.section.empty() && item.section != command)
            refuse("section [" + item.section + "] is not read; give the options of " + command + " at the top or in [" +
                   command + "]");
        if (item.key.empty())
            continue; // the section itself
        CLI::Option *option = OptionOfKey(cmd, rules, item.key);
        if (option == nullptr) {
            std::string meant = SuggestedKey(cmd, rules, item.key);
            refuse("'" + item.key + "' is not an option a recipe of " + command + " can set" +
                   (meant.empty() || meant == item.key ? "" : "; did you mean '" + meant + "'?"));
        }
        if (auto first = seen.emplace(option, std::pair{item.line, item.key}); !first.second) {
            const auto &[line, key] = first.first->second;
            refuse(key == item.key ? "'" + key + "' is given twice, on lines " + std::to_string(line) + " and " +
                                         std::to_string(item.line) + "; keep one"
                                   : "'" + item.key + "' sets what '" + key + "' on line " + std::to_string(line) +
                                         " sets; keep one");
        }

        bool flag = option->get_expected_min() == 0;
        bool several = option->get_expected_max() > 1;
        bool integer = rules.integerKeys.count(item.key) > 0;
        if (!ini) {
            RecipeItem::Type wanted = flag      ? RecipeItem::Type::Boolean
                                      : integer ? RecipeItem::Type::Integer
                                                : RecipeItem::Type::String;
            bool fits = item.type == wanted || (several && item.type == RecipeItem::Type::Array);
            if (!fits)
                refuse("'" + item.key + "' takes " +
                       (flag ? "true or false" : integer ? "an integer" : several ? "strings" : "a string") +
                       ", found " + item.typeName);
        }
        // No command line can carry one, and no field of a package holds one.
        for (const std::string &value : item.values) {
            if (value.find('\0') != std::string::npos)
                refuse("'" + item.key + "' holds a NUL character (\\u0000), which no option can take");
        }
        if (option->count() > 0)
            continue; // the command line has the last word
        try {
            if (flag) {
                option->add_result(option->get_flag_value(item.key, item.values.front()));
            } else {
                if (pathOptions.count(option)) {
                    for (std::string &value : item.values)
                        value = Relative(folder, value);
                }
                option->add_result(item.values);
            }
            option->run_callback();
        } catch (const CLI::Error &e) {
            refuse("'" + item.key + "': " + e.what());
        }
    }
}

} // namespace velmor
