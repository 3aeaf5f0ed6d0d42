#include "recipe_file.h"

#include <filesystem>
#include <memory>
#include <sstream>
#include "input_file.h"
#include "pack_error.h"

namespace velmor {
namespace {

// Recipes are a few lines; anything larger is not one.
constexpr uint64_t kMaxRecipeSize = 1 << 20;

std::string Relative(const std::filesystem::path &folder, const std::string &value)
{
    if (value.empty() || std::filesystem::path(value).is_absolute())
        return value;
    return (folder / value).lexically_normal().string();
}

} // namespace

void ApplyRecipe(CLI::App &cmd, const std::string &path, const RecipeRules &rules)
{
    std::string text = ReadWholeFile(path, kMaxRecipeSize);
    std::unique_ptr<CLI::Config> format;
    if (std::filesystem::path(path).extension() == ".ini")
        format = std::make_unique<CLI::ConfigINI>();
    else
        format = std::make_unique<CLI::ConfigTOML>();
    std::istringstream in(text);
    std::vector<CLI::ConfigItem> items = format->from_config(in);
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    auto refuse = [&path](const std::string &why) { throw UsageError(path + ": " + why); };

    for (const CLI::ConfigItem &item : items) {
        if (item.name == "++" || item.name == "--")
            continue; // a section begins or ends
        if (!item.parents.empty() && item.parents != std::vector<std::string>{cmd.get_name()})
            refuse("section [" + item.parents.front() + "] is not read; give the options of " + cmd.get_name() +
                   " at the top or in [" + cmd.get_name() + "]");
        auto positional = rules.positionalKeys.find(item.name);
        CLI::Option *option = nullptr;
        if (positional != rules.positionalKeys.end())
            option = cmd.get_option_no_throw(positional->second);
        else if (!item.name.empty() && item.name[0] != '-' && !rules.refusedKeys.count(item.name))
            option = cmd.get_option_no_throw((item.name.size() == 1 ? "-" : "--") + item.name);
        if (option == nullptr || option == cmd.get_help_ptr())
            refuse("'" + item.name + "' is not an option a recipe of " + cmd.get_name() + " can set");
        if (option->count() > 0)
            continue; // the command line has the last word
        try {
            if (option->get_expected_min() == 0) {
                option->add_result(option->get_flag_value(item.name, format->to_flag(item)));
            } else {
                std::vector<std::string> values = item.inputs;
                if (option->get_expected_max() == 1 && values.size() != 1)
                    refuse("'" + item.name + "' takes one value; put a value with spaces in quotes");
                if (rules.pathKeys.count(item.name)) {
                    for (std::string &value : values)
                        value = Relative(folder, value);
                }
                option->add_result(values);
            }
            option->run_callback();
        } catch (const CLI::Error &e) {
            refuse("'" + item.name + "': " + e.what());
        }
    }
}

} // namespace velmor
