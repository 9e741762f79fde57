#include "nested/ass_reader.h"

#include <set>

#include "base/errors.h"
#include "util/stream_reader.h"

namespace scanflow {

namespace {

struct Token {
    std::string text;
    bool quoted = false;
    bool line_start = false;  // the first token of its line
    uint64_t offset = 0;
};

constexpr size_t kMaxToken = 64u << 20;

// A byte after which a new token begins.
bool boundary(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '{';
}

// The first quote or '#' before `limit` that begins a token (`at_start`: the first byte does).
size_t token_start_special(std::string_view buf, size_t limit, bool at_start) {
    size_t best = limit;
    for (char special : {'"', '#'}) {
        size_t at = buf.substr(0, best).find(special);
        while (at != std::string_view::npos) {
            if (at == 0 ? at_start : boundary(buf[at - 1])) {
                best = at;
                break;
            }
            at = buf.substr(0, best).find(special, at + 1);
        }
    }
    return best;
}

bool blank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool bare(unsigned char c) {
    return !(c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '{' || c == '}');
}

// Tokens of the .ass text, read as a stream: quoted strings may span lines and hold '#' and
// braces; '#' starts a comment elsewhere; braces stand alone. The text of a token is kept only
// when asked for: most of a big scene file is geometry that nobody reads.
class AssLexer {
public:
    explicit AssLexer(StreamReader& in) : in_(in) {}

    bool next(Token* t, bool keep_text) {
        bool newline = in_.offset() == 0;
        int c = skip_blanks(newline);
        if (c == -1) return false;
        t->text.clear();
        t->line_start = newline;
        t->offset = in_.offset();
        t->quoted = c == '"';
        if (t->quoted) {
            quoted(t, keep_text);
        } else if (c == '{' || c == '}') {
            t->text = static_cast<char>(in_.get());
        } else if (in_.take_while(bare, keep_text ? &t->text : nullptr, kMaxToken) == -2) {
            too_long(t);
        }
        return true;
    }

    // Past the rest of a node's block, up to and including its closing brace, without making
    // tokens of it; false when the input ends first. The brace is found with a byte search; a
    // quote or '#' before it matters only where it begins a token.
    bool skip_block() {
        bool at_start = true;  // the first buffered byte begins a token
        while (true) {
            std::string_view buf = in_.buffered();
            if (buf.empty()) return false;
            size_t brace = buf.find('}');
            size_t limit = brace == std::string_view::npos ? buf.size() : brace;
            size_t special = token_start_special(buf, limit, at_start);
            if (special < limit) {
                in_.consume(special);
                if (buf[special] == '#') {
                    in_.take_while([](unsigned char ch) { return ch != '\n'; }, nullptr);
                } else {
                    Token skipped;
                    skipped.offset = in_.offset();
                    quoted(&skipped, false);
                }
                at_start = true;
                continue;
            }
            if (brace != std::string_view::npos) {
                in_.consume(brace + 1);
                return true;
            }
            at_start = boundary(buf.back());
            in_.consume(buf.size());
        }
    }

private:
    // Past blanks, line ends and comments; the first byte of the next token, or -1.
    int skip_blanks(bool& newline) {
        while (true) {
            int c = in_.take_while(blank, nullptr);
            if (c == '\n') {
                newline = true;
                in_.get();
            } else if (c == '#') {
                in_.take_while([](unsigned char ch) { return ch != '\n'; }, nullptr);
            } else {
                return c;
            }
        }
    }

    void quoted(Token* t, bool keep_text) {
        in_.get();
        std::string* text = keep_text ? &t->text : nullptr;
        while (true) {
            int c = in_.take_while([](unsigned char ch) { return ch != '"' && ch != '\\'; }, text,
                                   kMaxToken);
            if (c == -2) too_long(t);
            if (c == -1)
                throw ParseError(in_.path(), static_cast<long long>(t->offset),
                                 "unterminated string");
            in_.get();
            if (c == '"') return;
            // A back slash escapes a quote or a back slash; before anything else it is itself.
            int next = in_.peek();
            char kept = next == '"' || next == '\\' ? static_cast<char>(in_.get()) : '\\';
            if (text) text->push_back(kept);
        }
    }

    [[noreturn]] void too_long(const Token* t) {
        throw ParseError(in_.path(), static_cast<long long>(t->offset), "token longer than 64 MB");
    }

    StreamReader& in_;
};

}  // namespace

std::vector<std::string> read_ass_file_names(const std::string& path) {
    StreamReader in(path);
    static const std::set<std::string> kinds{"MayaFile", "image", "procedural", "alembic"};
    std::vector<std::string> names;
    std::set<std::string> seen;
    AssLexer lex(in);
    Token t;
    while (lex.next(&t, true)) {
        // A node: its type, then a block.
        std::string type = t.text;
        Token open;
        if (!lex.next(&open, true)) break;
        if (open.quoted || open.text != "{")
            throw ParseError(path, static_cast<long long>(open.offset),
                             "expected { after node type " + type);
        bool wanted = kinds.count(type) > 0;
        Token p;
        bool closed = !wanted && lex.skip_block();
        while (wanted && lex.next(&p, true)) {
            if (!p.quoted && p.text == "}") {
                closed = true;
                break;
            }
            if (!wanted || p.quoted || !p.line_start || p.text != "filename") continue;
            Token value;
            if (!lex.next(&value, true)) break;
            if (!value.quoted && value.text == "}") {
                closed = true;
                break;
            }
            if (!value.text.empty() && seen.insert(value.text).second) names.push_back(value.text);
        }
        if (!closed)
            throw ParseError(path, static_cast<long long>(t.offset),
                             "node " + type + " is not closed");
    }
    return names;
}

std::vector<std::string> get_ass_path(const std::string& ass, const ArnoldReader& arnold) {
    if (arnold) return arnold(ass);
    return read_ass_file_names(ass);
}

}  // namespace scanflow
