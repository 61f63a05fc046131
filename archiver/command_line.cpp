// SPDX-License-Identifier: MIT
#include "archiver/command_line.h"

#include "common/paths.h"

namespace sabrel::archiver {

namespace {

struct Token {
    std::string text;
    bool quoted = false;
    std::size_t begin = 0;  // span in the line, quotes included
    std::size_t end = 0;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool Tokenize(const std::string& s, std::vector<Token>* out) {
    std::size_t i = 0;
    while (true) {
        while (i < s.size() && IsBlank(s[i])) ++i;
        if (i >= s.size()) return true;
        Token t;
        t.begin = i;
        bool inQuote = false;
        while (i < s.size() && (inQuote || !IsBlank(s[i]))) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            if (c == '"') {
                inQuote = !inQuote;
                t.quoted = true;
                ++i;
                continue;
            }
            t.text.push_back(s[i++]);
            // A Shift-JIS trail byte is never a quote or a blank.
            if (IsSjisLeadByte(c) && i < s.size()) t.text.push_back(s[i++]);
        }
        if (inQuote) return false;
        t.end = i;
        out->push_back(std::move(t));
    }
}

bool EndsWithLzh(const std::string& s) {
    if (s.size() < 4) return false;
    std::string ext = s.substr(s.size() - 4);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return ext == ".LZH";
}

}  // namespace

bool ParseCommandLine(const std::string& text, CommandLine* out) {
    *out = CommandLine{};
    std::vector<Token> tokens;
    if (!Tokenize(text, &tokens) || tokens.empty()) return false;
    out->command = tokens[0].text;
    for (char& c : out->command)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);

    std::vector<const Token*> paths;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        if (!tokens[i].quoted && tokens[i].text.size() > 1 && tokens[i].text[0] == '-')
            out->switches.push_back(tokens[i].text);
        else
            paths.push_back(&tokens[i]);
    }

    // More than two unquoted paths: blanks inside unquoted paths. Rejoin from
    // the line itself so that runs of blanks survive.
    bool anyQuoted = false;
    for (const Token* t : paths) anyQuoted = anyQuoted || t->quoted;
    if (paths.size() > 2 && !anyQuoted) {
        std::size_t split = 0;
        while (split < paths.size() && !EndsWithLzh(paths[split]->text)) ++split;
        if (split + 1 < paths.size()) {
            out->paths.push_back(text.substr(paths[0]->begin, paths[split]->end - paths[0]->begin));
            out->paths.push_back(
                text.substr(paths[split + 1]->begin, paths.back()->end - paths[split + 1]->begin));
            return true;
        }
    }
    for (const Token* t : paths) out->paths.push_back(t->text);
    return true;
}

}  // namespace sabrel::archiver
