// A recipe: the options of a command kept in an INI or TOML file (read by CLI11's
// config parsers), so that a package's build can live in version control.
#ifndef VELMOR_RECIPE_FILE_H
#define VELMOR_RECIPE_FILE_H

#include <map>
#include <set>
#include <string>
#include <CLI/CLI.hpp>

namespace velmor {

struct RecipeRules {
    // Keys that name positional arguments, such as "source" for SOURCE_DIR.
    std::map<std::string, std::string> positionalKeys;
    // Keys whose values are paths: taken relative to the recipe's folder.
    std::set<std::string> pathKeys;
    // Keys of options that a recipe may not set.
    std::set<std::string> refusedKeys;
};

// Reads the recipe at path (".ini": INI, anything else: TOML) and sets each option of
// cmd that it names and the command line left unset, as if given there. Keys are
// the long option names without their dashes, at the top of the file or in a section
// named after the command. Throws UsageError for a key that names no option, a value
// the option refuses, or a section of another name; PackError when the file cannot
// be read.
void ApplyRecipe(CLI::App &cmd, const std::string &path, const RecipeRules &rules);

} // namespace velmor

#endif
