// SPDX-License-Identifier: MIT
#include "platform/offline/profile.h"

#include <cstdint>

namespace sabrel::platform::offline::profile {

namespace {

enum class Kind { kBlank, kSection, kEntry, kOther };

struct Line {
    std::size_t begin = 0;       // first byte
    std::size_t contentEnd = 0;  // end of the text, before CR LF / LF
    std::size_t end = 0;         // after the line end
    Kind kind = Kind::kOther;
    std::string name;   // section name or key, trimmed
    std::string value;  // entry value, trimmed
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Position of `ch` in `s`, skipping trail bytes of double-byte characters.
std::size_t FindChar(const std::string& s, char ch, const CodePage& cp) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (cp.IsLeadByte(static_cast<std::uint8_t>(s[i]))) {
            ++i;
            continue;
        }
        if (s[i] == ch) return i;
    }
    return std::string::npos;
}

std::vector<Line> Split(const std::string& text, const CodePage& cp) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Line l;
        l.begin = pos;
        std::size_t lf = text.find('\n', pos);
        l.end = lf == std::string::npos ? text.size() : lf + 1;
        l.contentEnd = lf == std::string::npos ? text.size() : lf;
        if (l.contentEnd > l.begin && text[l.contentEnd - 1] == '\r') --l.contentEnd;
        std::string t = Trim(text.substr(l.begin, l.contentEnd - l.begin));
        if (t.empty()) {
            l.kind = Kind::kBlank;
        } else if (t[0] == '[') {
            l.kind = Kind::kSection;
            std::string inner = t.substr(1);
            std::size_t close = FindChar(inner, ']', cp);
            l.name = Trim(inner.substr(0, close));
        } else if (t[0] != ';') {
            std::size_t eq = FindChar(t, '=', cp);
            if (eq != std::string::npos) {
                l.kind = Kind::kEntry;
                l.name = Trim(t.substr(0, eq));
                l.value = Trim(t.substr(eq + 1));
            }
        }
        lines.push_back(std::move(l));
        pos = lines.back().end;
    }
    return lines;
}

// Index of the first header of `section`, or lines.size().
std::size_t FindSection(const std::vector<Line>& lines, const std::string& section,
                        const CodePage& cp) {
    std::string want = Trim(section);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == Kind::kSection && cp.EqualNoCase(lines[i].name, want)) return i;
    }
    return lines.size();
}

// One past the last line of the section whose header is at `header`.
std::size_t SectionEnd(const std::vector<Line>& lines, std::size_t header) {
    std::size_t i = header + 1;
    while (i < lines.size() && lines[i].kind != Kind::kSection) ++i;
    return i;
}

std::size_t FindKey(const std::vector<Line>& lines, std::size_t from, std::size_t to,
                    const std::string& key, const CodePage& cp) {
    std::string want = Trim(key);
    for (std::size_t i = from; i < to; ++i) {
        if (lines[i].kind == Kind::kEntry && cp.EqualNoCase(lines[i].name, want)) return i;
    }
    return to;
}

// Inserts `newLines` (each ending in CR LF) at byte `at`; when the line before
// has no line end (the end of the file), it gets one first.
void InsertAt(std::string* text, std::size_t at, const std::string& newLines) {
    std::string add = newLines;
    if (at > 0 && (*text)[at - 1] != '\n') add = "\r\n" + add;
    text->insert(at, add);
}

}  // namespace

bool Write(std::string* text, const std::string& section, const std::string* key,
           const std::string* value, const CodePage& cp) {
    std::vector<Line> lines = Split(*text, cp);
    std::size_t header = FindSection(lines, section, cp);
    if (header == lines.size()) {
        if (!key || !value) return false;
        InsertAt(text, text->size(), "[" + section + "]\r\n" + *key + "=" + *value + "\r\n");
        return true;
    }
    std::size_t end = SectionEnd(lines, header);
    if (!key) {
        std::size_t to = end < lines.size() ? lines[end].begin : text->size();
        text->erase(lines[header].begin, to - lines[header].begin);
        return true;
    }
    std::size_t at = FindKey(lines, header + 1, end, *key, cp);
    if (at < end) {
        const Line& l = lines[at];
        if (!value) {
            text->erase(l.begin, l.end - l.begin);
            return true;
        }
        std::string replaced = l.name + "=" + *value;
        if (text->compare(l.begin, l.contentEnd - l.begin, replaced) == 0) return false;
        text->replace(l.begin, l.contentEnd - l.begin, replaced);
        return true;
    }
    if (!value) return false;
    // After the last line of the section that is not blank.
    std::size_t last = header;
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines[i].kind != Kind::kBlank) last = i;
    }
    InsertAt(text, lines[last].end, *key + "=" + *value + "\r\n");
    return true;
}

bool Find(const std::string& text, const std::string& section, const std::string& key,
          std::string* value, const CodePage& cp) {
    std::vector<Line> lines = Split(text, cp);
    std::size_t header = FindSection(lines, section, cp);
    if (header == lines.size()) return false;
    std::size_t end = SectionEnd(lines, header);
    std::size_t at = FindKey(lines, header + 1, end, key, cp);
    if (at == end) return false;
    std::string v = lines[at].value;
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
    *value = v;
    return true;
}

std::vector<std::string> SectionNames(const std::string& text, const CodePage& cp) {
    std::vector<std::string> out;
    for (const Line& l : Split(text, cp)) {
        if (l.kind == Kind::kSection) out.push_back(l.name);
    }
    return out;
}

std::vector<std::string> KeyNames(const std::string& text, const std::string& section,
                                  const CodePage& cp) {
    std::vector<std::string> out;
    for (const auto& e : Entries(text, section, cp)) out.push_back(e.first);
    return out;
}

std::vector<std::pair<std::string, std::string>> Entries(const std::string& text,
                                                         const std::string& section,
                                                         const CodePage& cp) {
    std::vector<std::pair<std::string, std::string>> out;
    std::vector<Line> lines = Split(text, cp);
    std::size_t header = FindSection(lines, section, cp);
    if (header == lines.size()) return out;
    std::size_t end = SectionEnd(lines, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines[i].kind == Kind::kEntry) out.emplace_back(lines[i].name, lines[i].value);
    }
    return out;
}

}  // namespace sabrel::platform::offline::profile
