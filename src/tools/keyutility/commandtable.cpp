#include "commandtable.h"

#include <algorithm>

namespace KeyUtility::CommandTable {

// The parser that reads this table is hand-written: QCommandLineParser cannot take the original two-word form
// "decrypt KEY LOG" whatever its words look like, nor answer a command line of no form without options with the
// usage text and status 0, nor give the messages the commands have always given.
const std::vector<Form>& forms()
{
    const Option passPhraseFile {"--passphrase-file", Value::File, "FILE",
                                 "the first line of FILE is the pass phrase of a protected key file; without it\n"
                                 "the terminal is asked"};
    static const std::vector<Form> table {
        {{"create"},
         Action::Create,
         Parsing::AsTheyAre,
         {},
         {{"SERVERUUID"}},
         /* operandsProblem */ nullptr,
         "Writes a new 4096-bit key pair of the server's protocol service into the current directory:\n"
         "protocolkey-private.key (mode 0600) and protocolkey-public.key."},
        // The first three usage lines are those of the original two forms, which scripts may know.
        {{"decrypt"}, Action::DecryptOne, Parsing::AsTheyAre, {}, {{"privatekey"}, {"infile"}}},
        {{"decrypt"},
         Action::Decrypt,
         Parsing::OptionsFirst,
         {{"-o", Value::FileOrStandardOutput, "OUTFILE", "write the one INFILE's plain log to OUTFILE instead",
           "write the plain logs to standard output, one after the other, each only once it\nis known to be sound"},
          {"-j", Value::Count, "JOBS", "decrypt up to JOBS logs at once (default: the number of online processors)"},
          passPhraseFile},
         {{"PRIVATEKEY"}, {"INFILE", /* repeated */ true}},
         "decrypt needs PRIVATEKEY and INFILE",
         "Decrypts each encrypted log file with the private key of the key file PRIVATEKEY into INFILE.decrypted."},
        {{"show"},
         Action::Show,
         Parsing::OptionsFirst,
         {{"--json"}},
         {{"FILE", /* repeated */ true}},
         "show needs a FILE",
         "Tells what each key file or encrypted log file is, without using a private key: \"name: value\" lines,\n"
         "or one JSON array with --json.",
         /* optionsInHelpHeading */ true},
        {{"rewrap"},
         Action::Rewrap,
         Parsing::OptionsFirst,
         // The help of rewrap has never described its option.
         {{passPhraseFile.name, passPhraseFile.value, passPhraseFile.valueName}},
         {{"PRIVATEKEY"}, {"PUBLICKEY"}, {"INFILE"}, {"OUTFILE"}},
         "rewrap needs PRIVATEKEY PUBLICKEY INFILE OUTFILE",
         "Writes OUTFILE: the log file INFILE with its key unwrapped with PRIVATEKEY and wrapped for the owner of\n"
         "the key file PUBLICKEY; the log data stays as it is."},
        {{"help", "--help", "-h"},
         Action::Help,
         Parsing::AsTheyAre,
         {},
         {},
         /* operandsProblem */ nullptr,
         "This text."},
        {{"--version"}, Action::Version, Parsing::AsTheyAre, {}, {}, /* operandsProblem */ nullptr, "The version."},
    };
    return table;
}

std::string synopsis(const Option& option)
{
    std::string name = option.name;
    switch (option.value) {
    case Value::None:
        return name;
    case Value::File:
    case Value::Count:
        return name + ' ' + option.valueName;
    case Value::FileOrStandardOutput:
        return name + ' ' + option.valueName + " | " + name + " -";
    }
    return name;
}

namespace {

std::string joined(const std::vector<const char*>& words, const char* separator)
{
    std::string text;
    for (const char* word : words)
        text += (text.empty() ? "" : separator) + std::string(word);
    return text;
}

// The names, then the options if wanted, then the operands: "show [--json] FILE...".
std::string formLine(const Form& form, const char* namesSeparator, bool withOptions)
{
    std::string line = joined(form.names, namesSeparator);
    for (const Option& option : form.options) {
        if (withOptions)
            line += " [" + synopsis(option) + ']';
    }
    for (const Operand& operand : form.operands)
        line += ' ' + std::string(operand.name) + (operand.repeated ? "..." : "");
    return line;
}

// Each line of text after indent; later lines after as many spaces as the first line's indent is long.
std::string indented(const std::string& indent, const std::string& text)
{
    std::string lines = indent;
    for (const char c : text)
        lines += c == '\n' ? "\n" + std::string(indent.size(), ' ') : std::string(1, c);
    return lines + '\n';
}

} // namespace

std::string usageTemplate()
{
    std::string text = "USAGE:\n";
    for (const Form& form : forms())
        text += "%1 " + formLine(form, " | ", /* withOptions */ true) + '\n';
    return text;
}

std::string helpBody()
{
    std::string text = "\n";
    for (const Form& form : forms()) {
        if (!form.help)
            continue;
        text += formLine(form, ", ", form.optionsInHelpHeading) + '\n' + indented("    ", form.help);
        // One column for the descriptions of the form's options, two spaces after the longest option.
        std::vector<std::pair<std::string, const char*>> rows;
        for (const Option& option : form.options) {
            if (option.help && option.value == Value::FileOrStandardOutput) {
                rows.emplace_back(std::string(option.name) + ' ' + option.valueName, option.help);
                rows.emplace_back(std::string(option.name) + " -", option.dashHelp);
            } else if (option.help) {
                rows.emplace_back(synopsis(option), option.help);
            }
        }
        std::size_t width = 0;
        for (const auto& row : rows)
            width = std::max(width, row.first.size() + 2);
        for (const auto& row : rows)
            text += indented("    " + row.first + std::string(width - row.first.size(), ' '), row.second);
    }
    return text;
}

} // namespace KeyUtility::CommandTable
