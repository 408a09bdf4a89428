#ifndef REVERIZ_TOOLS_KEYUTILITY_COMMANDTABLE_H
#define REVERIZ_TOOLS_KEYUTILITY_COMMANDTABLE_H

#include <string>
#include <vector>

// The command line forms of keyutility, in one table that drives the parser, the usage and help texts and the
// bash completion. Plain C++ without Qt, so that the completion generator needs nothing else.
namespace KeyUtility::CommandTable {

/** What an option's value is: any file, a file or "-" for standard output, or a positive decimal number. */
enum class Value { None, File, FileOrStandardOutput, Count };

struct Option
{
    const char* name;
    Value value = Value::None;
    /** The value's name in the texts, as in "-j JOBS". */
    const char* valueName = nullptr;
    /** The help lines of the option ('\n' between them), or none; for "-" of FileOrStandardOutput, dashHelp. */
    const char* help = nullptr;
    const char* dashHelp = nullptr;
};

struct Operand
{
    const char* name;
    /** One or more of it: only the last operand repeats. */
    bool repeated = false;
};

/**
 * How a form takes the words after its name. With options first, it parses them, and a command line of the form's
 * name that uses an option is either of the form or misused. As they are, any word may start with '-', and the
 * form takes exactly as many as it has operands.
 */
enum class Parsing { AsTheyAre, OptionsFirst };

/** What a form does once its words are known. */
enum class Action { Create, DecryptOne, Decrypt, Show, Rewrap, Help, Version };

struct Form
{
    /** The command word and its aliases, compared whole and case-sensitively. */
    std::vector<const char*> names;
    Action action;
    Parsing parsing;
    std::vector<Option> options;
    std::vector<Operand> operands;
    /** The message for too few or too many operands once an option is used. */
    const char* operandsProblem = nullptr;
    /** The form's lines in the full help ('\n' between them), or none for a form that is not described. */
    const char* help = nullptr;
    /** The help heading names the options too, for forms whose options the description covers. */
    bool optionsInHelpHeading = false;
};

/** The forms in the order of the usage text; a command line takes the first form that accepts it. */
const std::vector<Form>& forms();

/** "-j JOBS", "--json", "-o OUTFILE | -o -": the option as the usage text shows it. */
std::string synopsis(const Option& option);

/** The usage text with "%1" for the program name: "USAGE:", then one line per form. */
std::string usageTemplate();

/** What the full help adds to the usage text: each described form and its options. */
std::string helpBody();

} // namespace KeyUtility::CommandTable

#endif
