#include "cli/manual/completion_scripts.h"

#include <string_view>
#include <vector>

#include "cli/command_table.h"

namespace lumivel_cli {

namespace {

// The values an option's argument can take, where there is a short list of them; a file
// name where the value is one; nothing to offer otherwise.
struct ValueHint {
    const char* option;
    const char* words;  // space-separated; nullptr: a file name
};

constexpr ValueHint kValueHints[] = {
    {"--format", "table tsv json"},
    {"--from", nullptr},
    {"--password-file", nullptr},
    {"--from-backup", "latest"},
    {"--monthly-week", "first second third fourth last"},
    {"--weekday", "mon tue wed thu fri sat sun"},
    {"--days", "mon tue wed thu fri sat sun"},
    {"--months", "all jan feb mar apr may jun jul aug sep oct nov dec"},
};

const ValueHint* hintOf(const OptionRow& row) {
    for (const ValueHint& hint : kValueHints)
        if (std::string_view(hint.option) == row.name) return &hint;
    return nullptr;
}

// The word in single quotes, for either shell.
std::string quoted(std::string_view text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::vector<std::string> namesOf(const OptionRow& row) {
    std::vector<std::string> names{row.name};
    if (row.shortName) names.emplace_back(row.shortName);
    return names;
}

std::string joined(const std::vector<std::string>& words, std::string_view separator) {
    std::string out;
    for (const std::string& word : words) out += (out.empty() ? "" : std::string(separator)) + word;
    return out;
}

// Every option that takes a value, as a case pattern: the word after it is no positional.
std::string valueOptionPattern() {
    std::vector<std::string> names;
    for (const OptionRow& row : OptionRows())
        if (row.value)
            for (const std::string& name : namesOf(row)) names.push_back(name);
    return joined(names, "|");
}

std::vector<std::string> commandWords() {
    std::vector<std::string> words;
    for (const CommandRow& row : CommandRows()) words.emplace_back(row.word);
    return words;
}

// What a command's positional words are: domains first, then tombstones of that domain for
// restore, and the actions of jobs.
constexpr const char* kPositionalCases =
    "        restore)\n"
    "            if (( ${#positional[@]} == 0 )); then _lumivel_ask domains \"$cur\"\n"
    "            else _lumivel_ask tombstones \"${positional[0]}\" \"$cur\"; fi ;;\n"
    "        jobs)\n"
    "            (( ${#positional[@]} == 0 )) && mapfile -t COMPREPLY < <(compgen -W 'delete run' -- \"$cur\") ;;\n";

}  // namespace

std::string BashCompletionScript() {
    std::string out =
        "# bash completion for lumivel, made from its command table.\n"
        "# Stored domains and listed tombstones come from 'lumivel __complete', which prints only\n"
        "# plain words, so nothing the directory holds is ever expanded by the shell.\n"
        "_lumivel_ask() {\n"
        "    mapfile -t COMPREPLY < <(lumivel __complete \"$@\" 2>/dev/null)\n"
        "}\n\n"
        "_lumivel() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=\n"
        "    (( COMP_CWORD > 0 )) && prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        "    local command= word i\n"
        "    local -a positional=()\n"
        "    COMPREPLY=()\n"
        "    for (( i = 1; i < COMP_CWORD; i++ )); do\n"
        "        word=${COMP_WORDS[i]}\n"
        "        if [[ -z $command ]]; then\n"
        "            case $word in\n"
        "                -v|--verbose) continue ;;\n"
        "                -*) return 0 ;;\n"
        "            esac\n"
        "            command=$word\n"
        "            continue\n"
        "        fi\n"
        "        case $word in\n"
        "            " + valueOptionPattern() + ") (( i++ )) ;;\n"
        "            -*) ;;\n"
        "            *) positional+=(\"$word\") ;;\n"
        "        esac\n"
        "    done\n"
        "    if [[ -z $command ]]; then\n"
        "        mapfile -t COMPREPLY < <(compgen -W " + quoted(joined(commandWords(), " ") + " -v --verbose --help --version") +
        " -- \"$cur\")\n"
        "        return 0\n"
        "    fi\n"
        "    case $prev in\n";
    for (const OptionRow& row : OptionRows()) {
        if (!row.value) continue;
        const ValueHint* hint = hintOf(row);
        out += "        " + joined(namesOf(row), "|") + ") ";
        if (!hint) out += "return 0 ;;\n";
        else if (!hint->words) out += "mapfile -t COMPREPLY < <(compgen -f -- \"$cur\"); return 0 ;;\n";
        else out += "mapfile -t COMPREPLY < <(compgen -W " + quoted(hint->words) + " -- \"$cur\"); return 0 ;;\n";
    }
    out += "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        case $command in\n";
    for (const CommandRow& command : CommandRows()) {
        std::vector<std::string> names;
        for (const OptionRow& row : OptionRows())
            if (row.commands.has(command.command))
                for (const std::string& name : namesOf(row)) names.push_back(name);
        out += std::string("            ") + command.word + ") mapfile -t COMPREPLY < <(compgen -W " +
               quoted(joined(names, " ")) + " -- \"$cur\") ;;\n";
    }
    out += "        esac\n"
           "        return 0\n"
           "    fi\n"
           "    case $command in\n"
           "        list|backup|backups|schedule|connect)\n"
           "            (( ${#positional[@]} == 0 )) && _lumivel_ask domains \"$cur\" ;;\n";
    out += kPositionalCases;
    out += "    esac\n"
           "    return 0\n"
           "}\n"
           "complete -F _lumivel lumivel\n";
    return out;
}

std::string ZshCompletionScript() {
    std::string out =
        "#compdef lumivel\n"
        "# zsh completion for lumivel, made from its command table. Stored domains and listed\n"
        "# tombstones come from 'lumivel __complete', which prints only plain words.\n"
        "_lumivel() {\n"
        "    local -a commands positional options found\n"
        "    commands=(\n";
    for (const CommandRow& row : CommandRows())
        out += "        " + quoted(std::string(row.word) + ":" + row.summary) + "\n";
    out += "    )\n"
           "    local command= word i\n"
           "    for (( i = 2; i < CURRENT; i++ )); do\n"
           "        word=${words[i]}\n"
           "        if [[ -z $command ]]; then\n"
           "            [[ $word == (-v|--verbose) ]] && continue\n"
           "            [[ $word == -* ]] && return 1\n"
           "            command=$word\n"
           "            continue\n"
           "        fi\n"
           "        case $word in\n"
           "            (" + valueOptionPattern() + ") (( i++ )) ;;\n"
           "            (-*) ;;\n"
           "            (*) positional+=(\"$word\") ;;\n"
           "        esac\n"
           "    done\n"
           "    if [[ -z $command ]]; then\n"
           "        if [[ $PREFIX == -* ]]; then compadd -- -v --verbose --help --version\n"
           "        else _describe -t commands 'lumivel command' commands; fi\n"
           "        return\n"
           "    fi\n"
           "    case ${words[CURRENT-1]} in\n";
    for (const OptionRow& row : OptionRows()) {
        if (!row.value) continue;
        const ValueHint* hint = hintOf(row);
        out += "        (" + joined(namesOf(row), "|") + ") ";
        if (!hint) out += "return 1 ;;\n";
        else if (!hint->words) out += "_files; return ;;\n";
        else out += std::string("compadd -- ") + hint->words + "; return ;;\n";
    }
    out += "    esac\n"
           "    if [[ $PREFIX == -* ]]; then\n"
           "        case $command in\n";
    for (const CommandRow& command : CommandRows()) {
        out += std::string("            (") + command.word + ") options=(";
        for (const OptionRow& row : OptionRows())
            if (row.commands.has(command.command))
                for (const std::string& name : namesOf(row)) out += " " + quoted(name + ":" + row.help);
        out += " ) ;;\n";
    }
    out += "        esac\n"
           "        _describe -t options option options\n"
           "        return\n"
           "    fi\n"
           "    case $command in\n"
           "        (list|backup|backups|schedule|connect)\n"
           "            (( ${#positional} == 0 )) && found=(${(f)\"$(lumivel __complete domains \"$PREFIX\" 2>/dev/null)\"}) ;;\n"
           "        (restore)\n"
           "            if (( ${#positional} == 0 )); then found=(${(f)\"$(lumivel __complete domains \"$PREFIX\" 2>/dev/null)\"})\n"
           "            else found=(${(f)\"$(lumivel __complete tombstones \"${positional[1]}\" \"$PREFIX\" 2>/dev/null)\"}); fi ;;\n"
           "        (jobs)\n"
           "            (( ${#positional} == 0 )) && found=(delete run) ;;\n"
           "    esac\n"
           // lumivel matches domains and tombstones without regard to case, as the directory
           // does; zsh's own matching of its answers must too, or LUM finds no lumivel.test.
           "    (( ${#found} )) && compadd -M 'm:{[:lower:][:upper:]}={[:upper:][:lower:]}' -a found\n"
           "}\n"
           "_lumivel \"$@\"\n";
    return out;
}

}  // namespace lumivel_cli
