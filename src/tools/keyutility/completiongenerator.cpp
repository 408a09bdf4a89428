// Writes the bash completion of keyutility from its command table into the file named by the one argument.

#include "commandtable.h"

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

using namespace KeyUtility::CommandTable;

namespace {

void addOnce(std::vector<std::string>& words, const std::string& word)
{
    for (const std::string& known : words) {
        if (known == word)
            return;
    }
    words.push_back(word);
}

std::string joined(const std::vector<std::string>& words, const char* separator)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : separator) + word;
    return text;
}

// The names of the options of the forms with options whose value is of kind.
std::vector<std::string> optionsTaking(Value kind)
{
    std::vector<std::string> names;
    for (const Form& form : forms()) {
        for (const Option& option : form.options) {
            if (option.value == kind)
                addOnce(names, option.name);
        }
    }
    return names;
}

std::string completion()
{
    std::vector<std::string> commands;
    for (const Form& form : forms()) {
        for (const char* name : form.names)
            addOnce(commands, name);
    }
    std::string script =
        R"(# Bash completion of keyutility(1): the commands, each command's options, and file names for file operands.
# Installed as share/bash-completion/completions/keyutility, where bash-completion loads it on first use.
# Written from keyutility's command table when keyutility is built.

_keyutility()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} command=${COMP_WORDS[1]}
    COMPREPLY=()
    if [ "$COMP_CWORD" -eq 1 ]; then
        mapfile -t COMPREPLY < <(compgen -W ')"
        + joined(commands, " ") + R"(' -- "$cur")
        return
    fi

    # The options each command takes, and those of them that take a value.
    local options valued
    case $command in
)";
    for (const Form& form : forms()) {
        if (form.parsing != Parsing::OptionsFirst)
            continue;
        std::vector<std::string> options;
        std::vector<std::string> valued;
        for (const Option& option : form.options) {
            options.emplace_back(option.name);
            if (option.value != Value::None)
                valued.emplace_back(option.name);
        }
        options.emplace_back("--");
        script += "    " + joined({form.names.cbegin(), form.names.cend()}, "|") + ")\n        options='"
            + joined(options, " ") + "'\n        valued=' " + joined(valued, " ") + (valued.empty() ? "'\n" : " '\n")
            + "        ;;\n";
    }
    script += R"(    *) return ;; # the other commands take no file names
    esac

    # Options come before the operands: up to "--" or the first other word; a lone "-" is an operand.
    local i word operands=0
    for ((i = 2; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == -- || $word == - || $word != -* ]]; then
            operands=1
            break
        fi
        [[ $valued == *" $word "* ]] && ((i++))
    done

    if ((!operands)) && [[ $valued == *" $prev "* ]]; then
        case $prev in
)";
    if (const std::vector<std::string> counts = optionsTaking(Value::Count); !counts.empty())
        script += "        " + joined(counts, "|") + ") return ;; # a number\n";
    if (const std::vector<std::string> outputs = optionsTaking(Value::FileOrStandardOutput); !outputs.empty())
        script += "        " + joined(outputs, "|") + R"() [[ - == "$cur"* ]] && COMPREPLY=(-) ;; # standard output
)";
    script += R"(        esac
    elif ((!operands)) && [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    compopt -o filenames 2>/dev/null
    local file
    while IFS= read -r file; do
        COMPREPLY+=("$file")
    done < <(compgen -f -- "$cur")
}
complete -F _keyutility keyutility
)";
    return script;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " OUTFILE\n";
        return 2;
    }
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file << completion();
    file.close();
    if (!file) {
        std::cerr << argv[0] << ": cannot write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
