// A recipe: the options of a command kept in a TOML or INI file, so that a package's
// build can live in version control.
#ifndef VELMOR_RECIPE_FILE_H
#define VELMOR_RECIPE_FILE_H

#include <map>
#include <set>
#include <string>
#include <vector>
#include <CLI/CLI.hpp>

namespace velmor {

// One setting of a recipe, with its place in the file for messages.
struct RecipeItem {
    enum class Type { String, Boolean, Integer, Array, Other };
    std::string key;
    std::string section;             // "" at the top of the file
    Type type = Type::String;
    std::vector<std::string> values; // one, or an array's strings
    unsigned line = 0;
    std::string typeName;            // as the format calls it, for messages
};

// The settings of a TOML recipe (TOML 1.0: every string form, duplicate keys and
// tables refused), each with its TOML type. Throws UsageError "path:line:column: ..."
// for text that is not TOML, or a value that is neither a string, a boolean, an
// integer nor an array of strings.
std::vector<RecipeItem> ReadTomlRecipe(const std::string &text, const std::string &path);

// The settings of an INI recipe, read as the Windows profile functions read INI files
// (names and values trimmed, one pair of quotes around a value removed), all of them
// strings. Lines that begin with ';' or '#' are comments. Throws UsageError
// "path:line: ..." for a line that is neither a section, a key with '=' nor a comment.
std::vector<RecipeItem> ReadIniRecipe(const std::string &text, const std::string &path);

struct RecipeRules {
    // Keys that name positional arguments, such as "source" for SOURCE_DIR.
    std::map<std::string, std::string> positionalKeys;
    // Keys whose values are paths: taken relative to the recipe's folder, under any
    // name of their option (o as well as output).
    std::set<std::string> pathKeys;
    // Keys whose values are whole numbers: TOML integers.
    std::set<std::string> integerKeys;
    // Keys of options that a recipe may not set.
    std::set<std::string> refusedKeys;
};

// Reads the recipe at path (".ini": INI, anything else: TOML) and sets each option of
// cmd that it names and the command line left unset, as if given there: the command
// line has the last word. Keys are the long option names without their dashes, at the
// top of the file or in a section named after the command. In TOML, a flag takes a
// boolean, a key of integerKeys an integer, an option of several values an array of
// strings (or one string), and any other option a string. Throws UsageError naming the
// file and line for a key that names no option (with the key probably meant, where
// one is near), is given twice, or has a value of the wrong type, one with a NUL
// character or one the option refuses, and for a section of another name; PackError
// when the file cannot be read.
void ApplyRecipe(CLI::App &cmd, const std::string &path, const RecipeRules &rules);

} // namespace velmor

#endif
