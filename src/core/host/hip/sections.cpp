#include "host/hip/sections.h"

#include <cctype>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string_view>

#include "base/errors.h"

namespace scanflow::hip {

namespace {

bool space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Each line of `text` without its newline, as reading line by line gives them: no empty line
// after a last newline.
template <typename Fn>
void for_each_line(std::string_view text, Fn&& fn) {
    while (!text.empty()) {
        size_t end = text.find('\n');
        fn(text.substr(0, end));
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + 1);
    }
}

// The next word of `words`, which is advanced past it; empty at the end.
std::string_view next_word(std::string_view& words) {
    auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    size_t start = 0;
    while (start < words.size() && blank(words[start])) ++start;
    size_t end = start;
    while (end < words.size() && !blank(words[end])) ++end;
    std::string_view word = words.substr(start, end - start);
    words.remove_prefix(end);
    return word;
}

// Whitespace-separated tokens; "..." tokens may span lines; \" and \\ are escapes in both
// quoted and bare tokens.
class Lexer {
public:
    Lexer(const std::string& text, std::string where) : text_(text), where_(std::move(where)) {}

    struct Token {
        std::string text;
        bool quoted = false;
        size_t offset = 0;
    };

    bool next(Token* token) {
        while (pos_ < text_.size() && space(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) return false;
        token->offset = pos_;
        token->text.clear();
        token->quoted = text_[pos_] == '"';
        if (token->quoted) {
            ++pos_;
            while (true) {
                if (pos_ >= text_.size())
                    throw ParseError(where_, static_cast<long long>(token->offset),
                                     "unterminated string");
                char c = text_[pos_++];
                if (c == '"') break;
                if (c == '\\' && pos_ < text_.size() && (text_[pos_] == '"' || text_[pos_] == '\\'))
                    c = text_[pos_++];
                token->text.push_back(c);
            }
            return true;
        }
        while (pos_ < text_.size() && !space(text_[pos_])) {
            char c = text_[pos_++];
            if (c == '\\' && pos_ < text_.size() && (text_[pos_] == '"' || text_[pos_] == '\\'))
                c = text_[pos_++];
            token->text.push_back(c);
        }
        return true;
    }

    Token expect(const char* what) {
        Token t;
        if (!next(&t))
            throw ParseError(where_, static_cast<long long>(pos_), std::string("expected ") + what);
        return t;
    }
    size_t pos() const { return pos_; }
    const std::string& where() const { return where_; }

private:
    const std::string& text_;
    std::string where_;
    size_t pos_ = 0;
};

bool numeric(const std::string& s) {
    if (s.empty()) return false;
    char* end = nullptr;
    std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size();
}

}  // namespace

std::vector<ParmEntry> parse_parms(const std::string& body, const std::string& where) {
    std::vector<ParmEntry> entries;
    Lexer lex(body, where);
    Lexer::Token t;
    auto fail = [&](size_t at, const std::string& what) {
        throw ParseError(where, static_cast<long long>(at), what);
    };
    if (!lex.next(&t)) return entries;
    if (t.text != "{") fail(t.offset, "expected {");
    while (true) {
        t = lex.expect("a parameter or }");
        if (!t.quoted && t.text == "}") break;
        Lexer::Token open = lex.expect("[");
        // The section's own "version 0.8" line, unless a parameter is called "version".
        if (!t.quoted && t.text == "version" && open.text != "[") continue;
        ParmEntry entry;
        entry.name = t.text;
        if (open.text != "[") fail(open.offset, "expected [ after " + entry.name);
        while (true) {
            Lexer::Token flag = lex.expect("]");
            if (!flag.quoted && flag.text == "]") break;
            if (flag.text.rfind("locks=", 0) == 0)
                entry.locks =
                    static_cast<unsigned>(std::strtoul(flag.text.c_str() + 6, nullptr, 10));
        }
        Lexer::Token paren = lex.expect("(");
        if (paren.text != "(") fail(paren.offset, "expected ( after " + entry.name);
        while (true) {
            Lexer::Token v = lex.expect("a value or )");
            if (!v.quoted && v.text == ")") break;
            Component c;
            if (!v.quoted && v.text == "[") {
                c.kind = Component::Channel;
                c.channel = lex.expect("a channel name").text;
                Lexer::Token cached = lex.expect("a cached value");
                if (cached.quoted || cached.text != "]") {
                    c.text = cached.text;
                    Lexer::Token close = lex.expect("]");
                    if (close.text != "]") fail(close.offset, "expected ] in " + entry.name);
                }
            } else if (v.quoted) {
                c.kind = Component::Quoted;
                c.text = v.text;
            } else {
                c.kind = numeric(v.text) ? Component::Number : Component::Bare;
                c.text = v.text;
            }
            entry.components.push_back(std::move(c));
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

namespace {

// The token list of a .chn section: channels with their keys and segments.
class ChannelReader {
public:
    ChannelReader(const std::string& body, const std::string& where) : where_(where) {
        Lexer lex(body, where);
        Lexer::Token t;
        while (lex.next(&t)) tokens_.push_back(t);
    }

    std::map<std::string, Channel> run() {
        std::map<std::string, Channel> channels;
        if (!structural(i_, "{")) {
            if (tokens_.empty()) return channels;
            throw ParseError(where_, static_cast<long long>(tokens_[0].offset), "expected {");
        }
        ++i_;
        while (i_ < tokens_.size() && !structural(i_, "}")) {
            if (!structural(i_, "channel") || i_ + 2 >= tokens_.size() || !structural(i_ + 2, "{"))
                throw ParseError(where_, static_cast<long long>(tokens_[i_].offset),
                                 "expected a channel");
            std::string name = tokens_[i_ + 1].text;
            i_ += 3;
            channels[name] = channel();
            ++i_;  // the channel's "}"
        }
        return channels;
    }

private:
    bool structural(size_t i, const char* s) const {
        return i < tokens_.size() && !tokens_[i].quoted && tokens_[i].text == s;
    }
    bool is_key(size_t i) const { return i + 1 < tokens_.size() && structural(i + 1, "="); }
    // The values of the key at the cursor: the tokens up to the next key or closing brace.
    std::vector<std::string> values() {
        std::vector<std::string> out;
        i_ += 2;
        while (i_ < tokens_.size() && !is_key(i_) && !structural(i_, "}") &&
               !structural(i_, "segment"))
            out.push_back(tokens_[i_++].text);
        return out;
    }
    void skip_block() {  // the cursor is on "{"
        int depth = 0;
        do {
            if (structural(i_, "{")) ++depth;
            if (structural(i_, "}")) --depth;
            ++i_;
        } while (i_ < tokens_.size() && depth > 0);
    }

    Channel channel() {
        Channel channel;
        while (i_ < tokens_.size() && !structural(i_, "}")) {
            if (structural(i_, "segment") && structural(i_ + 1, "{")) {
                i_ += 2;
                channel.segments.push_back(segment());
                ++i_;  // the segment's "}"
                continue;
            }
            if (!is_key(i_)) {
                ++i_;
                continue;
            }
            std::string key = tokens_[i_].text;
            auto vals = values();
            if (vals.empty()) continue;
            if (key == "start") channel.start = std::strtod(vals[0].c_str(), nullptr);
            if (key == "default") channel.default_value = std::strtod(vals[0].c_str(), nullptr);
            if (key == "defaultString") {
                std::string s = vals[0];
                if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
                    s = s.substr(1, s.size() - 2);
                channel.default_string = s;
            }
        }
        return channel;
    }

    Segment segment() {
        Segment seg;
        while (i_ < tokens_.size() && !structural(i_, "}")) {
            if (!is_key(i_)) {
                ++i_;
                continue;
            }
            std::string key = tokens_[i_].text;
            if (key == "options" && structural(i_ + 2, "{")) {
                i_ += 2;
                skip_block();
                continue;
            }
            auto vals = values();
            if (key == "length" && !vals.empty())
                seg.length = std::strtod(vals[0].c_str(), nullptr);
            if (key == "value")
                for (auto& v : vals) seg.value.push_back(std::strtod(v.c_str(), nullptr));
            if (key == "slope")
                for (auto& v : vals) seg.slope.push_back(std::strtod(v.c_str(), nullptr));
            if (key == "expr" && !vals.empty()) seg.expr = vals[0];
            if (key == "language" && !vals.empty()) seg.language = vals[0];
        }
        return seg;
    }

    const std::string& where_;
    std::vector<Lexer::Token> tokens_;
    size_t i_ = 0;
};

}  // namespace

std::map<std::string, Channel> parse_channels(const std::string& body, const std::string& where) {
    return ChannelReader(body, where).run();
}

NodeDef parse_def(const std::string& body) {
    NodeDef def;
    bool in_inputs = false;
    for_each_line(body, [&](std::string_view line) {
        if (line.substr(0, 7) == "flags =") {
            std::string_view words = line.substr(7);
            std::string_view key, value;
            while (!(key = next_word(words)).empty() && !(value = next_word(words)).empty())
                if (key == "bypass")
                    def.bypass = value == "on";
                else if (key == "exprlanguage")
                    def.exprlanguage = std::string(value);
        } else if (line.substr(0, 13) == "exprlanguage ") {
            def.exprlanguage = std::string(line.substr(13));
        } else if (line == "inputs") {
            in_inputs = true;
        } else if (in_inputs && line == "}") {
            in_inputs = false;
        } else if (in_inputs && line != "{") {
            std::istringstream words{std::string(line)};
            int index = 0;
            std::string source;
            if (words >> index >> source) def.inputs.emplace_back(index, source);
        }
    });
    return def;
}

std::string parse_init_type(const std::string& body) {
    std::optional<std::string> type;
    for_each_line(body, [&](std::string_view line) {
        if (!type && line.substr(0, 7) == "type = ") type = std::string(line.substr(7));
    });
    return type.value_or("");
}

std::vector<std::pair<std::string, std::string>> parse_variables(const std::string& body) {
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream in(body);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("set -g ", 0) != 0 && line.rfind("set -l ", 0) != 0) continue;
        size_t eq = line.find(" = ", 7);
        if (eq == std::string::npos) continue;
        std::string name = line.substr(7, eq - 7);
        std::string value = line.substr(eq + 3);
        if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
            value = value.substr(1, value.size() - 2);
        out.emplace_back(name, value);
    }
    return out;
}

std::vector<Take> parse_takes(const std::string& body, const std::string& where) {
    std::vector<Take> takes;
    std::map<long, std::string> strings;
    // Parents still owed children: (take index, children left).
    std::vector<std::pair<size_t, long>> open;
    size_t pos = body.find('\n');  // after "HoudiniTakeFile 1.0"
    if (pos == std::string::npos) return takes;
    ++pos;
    std::optional<std::pair<std::string, std::string>> pending;  // a "d" record awaiting its block
    while (pos < body.size()) {
        if (body.compare(pos, 10, "take name ") == 0) {
            size_t end = body.find('\n', pos);
            if (end == std::string::npos)
                throw ParseError(where, static_cast<long long>(pos), "take line without its end");
            std::istringstream line(body.substr(pos + 10, end - pos - 10));
            std::string name, kids_word;
            long kids = 0;
            line >> name >> kids_word >> kids;
            while (!open.empty() && open.back().second == 0) open.pop_back();
            Take take;
            take.name = name;
            if (!open.empty()) {
                take.parent = takes[open.back().first].name;
                --open.back().second;
            }
            takes.push_back(take);
            open.emplace_back(takes.size() - 1, kids);
            pos = end + 1;
            continue;
        }
        if (body.size() - pos < 4)
            throw ParseError(where, static_cast<long long>(pos), "truncated take record");
        uint32_t length = 0;
        for (int i = 0; i < 4; ++i)
            length = (length << 8) | static_cast<unsigned char>(body[pos + static_cast<size_t>(i)]);
        if (length > body.size() - pos - 4)
            throw ParseError(where, static_cast<long long>(pos), "truncated take record");
        std::string record = body.substr(pos + 4, length);
        pos += 4 + length;
        if (takes.empty()) continue;
        if (pending) {
            takes.back().overrides.emplace_back(pending->first, record);
            pending.reset();
            continue;
        }
        std::istringstream words(record);
        std::string kind;
        words >> kind;
        if (kind == "s") {
            long index = 0;
            std::string text;
            words >> index;
            std::getline(words >> std::ws, text);
            strings[index] = text;
        } else if (kind == "d") {
            long node = 0, parm = 0;
            words >> node >> parm;
            pending = std::make_pair(strings[node], strings[parm]);
        }
    }
    return takes;
}

std::string parse_current_take(const std::string& body) {
    std::istringstream in(body);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("takeset ", 0) == 0) return line.substr(8);
    return "";
}

Timeline parse_start(const std::string& body) {
    Timeline t;
    std::istringstream in(body);
    std::string line;
    bool have_frange = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "fps") words >> t.fps;
        if (key == "tcur") words >> t.tcur;
        if (key == "tset") words >> t.tstart >> t.tend;
        if (key == "frange") {
            words >> t.rfstart >> t.rfend;
            have_frange = true;
        }
    }
    if (!have_frange) {
        t.rfstart = t.tstart * t.fps + 1;
        t.rfend = t.tend * t.fps;
    }
    return t;
}

}  // namespace scanflow::hip
