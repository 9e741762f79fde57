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

// Tokens of the .ass text, read as a stream: quoted strings may span lines and hold '#' and
// braces; '#' starts a comment elsewhere; braces stand alone.
class AssLexer {
public:
    explicit AssLexer(StreamReader& in) : in_(in) {}

    bool next(Token* t) {
        bool newline = in_.offset() == 0;
        int c;
        while ((c = in_.peek()) != -1) {
            if (c == '\n') {
                newline = true;
                in_.get();
            } else if (c == ' ' || c == '\t' || c == '\r') {
                in_.get();
            } else if (c == '#') {
                while ((c = in_.peek()) != -1 && c != '\n') in_.get();
            } else {
                break;
            }
        }
        if (c == -1) return false;
        t->text.clear();
        t->line_start = newline;
        t->offset = in_.offset();
        t->quoted = c == '"';
        if (t->quoted) {
            in_.get();
            while (true) {
                int ch = in_.get();
                if (ch == -1)
                    throw ParseError(in_.path(), static_cast<long long>(t->offset),
                                     "unterminated string");
                if (ch == '"') break;
                if (ch == '\\' && (in_.peek() == '"' || in_.peek() == '\\')) ch = in_.get();
                push(t, ch);
            }
            return true;
        }
        if (c == '{' || c == '}') {
            t->text = static_cast<char>(in_.get());
            return true;
        }
        while ((c = in_.peek()) != -1) {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '{' || c == '}') break;
            push(t, in_.get());
        }
        return true;
    }

private:
    // One token is bounded, so that no input makes memory grow with the file.
    void push(Token* t, int ch) {
        if (t->text.size() >= (64u << 20))
            throw ParseError(in_.path(), static_cast<long long>(t->offset),
                             "token longer than 64 MB");
        t->text.push_back(static_cast<char>(ch));
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
    while (lex.next(&t)) {
        // A node: its type, then a block.
        std::string type = t.text;
        Token open;
        if (!lex.next(&open)) break;
        if (open.quoted || open.text != "{")
            throw ParseError(path, static_cast<long long>(open.offset),
                             "expected { after node type " + type);
        bool wanted = kinds.count(type) > 0;
        Token p;
        bool closed = false;
        while (lex.next(&p)) {
            if (!p.quoted && p.text == "}") {
                closed = true;
                break;
            }
            if (!wanted || p.quoted || !p.line_start || p.text != "filename") continue;
            Token value;
            if (!lex.next(&value)) break;
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
