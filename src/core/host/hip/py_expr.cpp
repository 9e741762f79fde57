#include "host/hip/py_expr.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/numbers.h"
#include "base/text.h"

namespace scanflow::hip {

namespace {

[[noreturn]] void refuse(const std::string& what) {
    throw ExprError("Python expression not evaluated outside the host application: " + what);
}

struct Token {
    enum Kind { Number, Text, Name, Op, End } kind = End;
    std::string text;
};

std::vector<Token> tokens_of(const std::string& code) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < code.size()) {
        char c = code[i];
        if (c == '\n' || c == ';') refuse("statements (only one expression is read)");
        if (c == '#') break;
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < code.size() &&
                    std::isdigit(static_cast<unsigned char>(code[i + 1])))) {
            size_t start = i;
            while (i < code.size() && (std::isalnum(static_cast<unsigned char>(code[i])) ||
                                       code[i] == '.' || code[i] == '_' ||
                                       ((code[i] == '+' || code[i] == '-') &&
                                        (code[i - 1] == 'e' || code[i - 1] == 'E'))))
                ++i;
            out.push_back({Token::Number, code.substr(start, i - start)});
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t start = i;
            while (i < code.size() &&
                   (std::isalnum(static_cast<unsigned char>(code[i])) || code[i] == '_'))
                ++i;
            std::string word = code.substr(start, i - start);
            if (i < code.size() && (code[i] == '"' || code[i] == '\'') && word.size() <= 2)
                refuse("a prefixed string literal (" + word + "'...')");
            out.push_back({Token::Name, word});
        } else if (c == '"' || c == '\'') {
            std::string text;
            for (++i; i < code.size() && code[i] != c; ++i) {
                if (code[i] == '\\' && i + 1 < code.size()) {
                    char e = code[++i];
                    text.push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e);
                } else {
                    text.push_back(code[i]);
                }
            }
            if (i >= code.size()) refuse("an unterminated string");
            ++i;
            out.push_back({Token::Text, text});
        } else {
            static const char* const two[] = {"==", "!=", "<=", ">=", "//", "**"};
            std::string op(1, c);
            for (const char* t : two)
                if (code.compare(i, 2, t) == 0) op = t;
            if (std::string("+-*/%<>()[],.:").find(c) == std::string::npos && op.size() == 1)
                refuse(std::string("the operator ") + c);
            i += op.size();
            out.push_back({Token::Op, op});
        }
    }
    out.push_back({Token::End, ""});
    return out;
}

// A value of the evaluation: what ExprValue holds, plus the objects of `hou` it can reach.
struct Val {
    enum Kind { None, Num, Str, Module, Node, Parm, Method } kind = None;
    double number = 0;
    std::string text;    // Str: the text; Module: its name; Node: its path; Parm: its path
    std::string method;  // Method: the bound method's name, on `text` of kind `owner`
    Kind owner = None;

    static Val num(double v) { return Val{Num, v, "", "", None}; }
    static Val str(std::string s) { return Val{Str, 0, std::move(s), "", None}; }
    static Val of(Kind k, std::string t) { return Val{k, 0, std::move(t), "", None}; }
};

std::string text_of(const Val& v) {
    if (v.kind == Val::Str) return v.text;
    if (v.kind == Val::Num) return number_text(v.number);
    if (v.kind == Val::None) return "None";
    if (v.kind == Val::Node || v.kind == Val::Parm) return v.text;
    refuse("text of a module or method");
}

double number_of(const Val& v) {
    if (v.kind == Val::Num) return v.number;
    if (v.kind == Val::Str) refuse("arithmetic on text ('" + v.text + "')");
    refuse("arithmetic on an object");
}

bool truth(const Val& v) {
    if (v.kind == Val::Num) return v.number != 0;
    if (v.kind == Val::Str) return !v.text.empty();
    return v.kind != Val::None;
}

bool same(const Val& a, const Val& b) {
    if (a.kind == Val::Num && b.kind == Val::Num) return a.number == b.number;
    if (a.kind != b.kind) return false;
    return a.text == b.text;
}

// "%s %d %05.2f" % (values)
std::string formatted(const std::string& format, const std::vector<Val>& values) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out.push_back(format[i]);
            continue;
        }
        size_t j = i + 1;
        while (j < format.size() &&
               std::string("-+ #0123456789.").find(format[j]) != std::string::npos)
            ++j;
        if (j >= format.size()) refuse("a % format without a conversion");
        char conv = format[j];
        if (conv == '%') {
            out.push_back('%');
        } else {
            if (next >= values.size()) refuse("a % format with too few values");
            std::string spec = format.substr(i, j - i);
            if (spec.size() > 6) refuse("a % format this wide (" + spec + ")");
            char buf[128];
            const Val& v = values[next++];
            if (conv == 's' || conv == 'r') {
                std::snprintf(buf, sizeof buf, (spec + "s").c_str(), text_of(v).c_str());
            } else if (conv == 'd' || conv == 'i') {
                double n = std::trunc(number_of(v));
                if (!(std::fabs(n) < 9.2e18)) refuse("%d of a number out of range");
                std::snprintf(buf, sizeof buf, (spec + "lld").c_str(), static_cast<long long>(n));
            } else if (conv == 'f' || conv == 'g' || conv == 'e') {
                std::snprintf(buf, sizeof buf, (spec + conv).c_str(), number_of(v));
            } else {
                refuse(std::string("the % conversion ") + conv);
            }
            out += buf;
        }
        i = j;
    }
    return out;
}

class Evaluator {
public:
    Evaluator(std::vector<Token> tokens, ExprScope& scope) : t_(std::move(tokens)), scope_(scope) {}

    Val run() {
        Val v = conditional();
        if (t_[at_].kind != Token::End) refuse("'" + t_[at_].text + "' after the expression");
        return v;
    }

private:
    bool take(const std::string& op) {
        if ((t_[at_].kind == Token::Op || t_[at_].kind == Token::Name) && t_[at_].text == op) {
            ++at_;
            return true;
        }
        return false;
    }
    void expect(const std::string& op) {
        if (!take(op)) refuse("'" + op + "' expected before '" + t_[at_].text + "'");
    }

    // Nesting is bounded by the evaluation's budget, which the evaluators it calls and the
    // parameters it reads share: a hostile expression must not exhaust the stack.
    using Deeper = EvalBudget::Level;

    Val conditional() {
        Deeper deeper(scope_.budget());
        Val v = either();
        if (!take("if")) return v;
        Val test = either();
        expect("else");
        Val other = conditional();
        return truth(test) ? v : other;
    }
    Val either() {
        Val v = both();
        while (take("or")) {
            Val w = both();
            if (!truth(v)) v = w;
        }
        return v;
    }
    Val both() {
        Val v = negation();
        while (take("and")) {
            Val w = negation();
            if (truth(v)) v = w;
        }
        return v;
    }
    Val negation() {
        Deeper deeper(scope_.budget());
        if (take("not")) return Val::num(truth(negation()) ? 0 : 1);
        return comparison();
    }
    Val comparison() {
        Val v = sum();
        for (;;) {
            const std::string op = t_[at_].text;
            if (op == "is") {
                ++at_;
                bool negated = take("not");
                Val w = sum();
                bool equal = v.kind == w.kind && (v.kind == Val::None || same(v, w));
                v = Val::num(equal != negated ? 1 : 0);
            } else if (op == "==" || op == "!=") {
                ++at_;
                Val w = sum();
                v = Val::num(same(v, w) == (op == "==") ? 1 : 0);
            } else if (op == "<" || op == ">" || op == "<=" || op == ">=") {
                ++at_;
                Val w = sum();
                bool r;
                if (v.kind == Val::Str && w.kind == Val::Str) {
                    int c = v.text.compare(w.text);
                    r = op == "<" ? c < 0 : op == ">" ? c > 0 : op == "<=" ? c <= 0 : c >= 0;
                } else {
                    double a = number_of(v), b = number_of(w);
                    r = op == "<" ? a < b : op == ">" ? a > b : op == "<=" ? a <= b : a >= b;
                }
                v = Val::num(r ? 1 : 0);
            } else if (op == "in" || (op == "not" && t_[at_ + 1].text == "in")) {
                at_ += op == "in" ? 1 : 2;
                Val w = sum();
                if (v.kind != Val::Str || w.kind != Val::Str) refuse("the operator in on no text");
                bool found = w.text.find(v.text) != std::string::npos;
                v = Val::num(found == (op == "in") ? 1 : 0);
            } else {
                return v;
            }
        }
    }
    Val sum() {
        Val v = product();
        for (;;) {
            if (take("+")) {
                Val w = product();
                if (v.kind == Val::Str && w.kind == Val::Str)
                    scope_.budget().hold(v.text.size() + w.text.size());
                v = v.kind == Val::Str || w.kind == Val::Str
                        ? (v.kind == w.kind ? Val::str(v.text + w.text)
                                            : (refuse("text added to a number"), Val()))
                        : Val::num(number_of(v) + number_of(w));
            } else if (take("-")) {
                v = Val::num(number_of(v) - number_of(product()));
            } else {
                return v;
            }
        }
    }
    Val product() {
        Val v = unary();
        for (;;) {
            if (take("*")) {
                v = Val::num(number_of(v) * number_of(unary()));
            } else if (take("//")) {
                v = Val::num(std::floor(number_of(v) / number_of(unary())));
            } else if (take("/")) {
                double d = number_of(unary());
                if (d == 0) refuse("a division by zero");
                v = Val::num(number_of(v) / d);
            } else if (take("%")) {
                Val w = unary();
                if (v.kind == Val::Str) {
                    v = Val::str(formatted(v.text, tuple_.empty() ? std::vector<Val>{w} : tuple_));
                    tuple_.clear();
                } else {
                    double a = number_of(v), b = number_of(w);
                    v = Val::num(a - b * std::floor(a / b));
                }
            } else {
                return v;
            }
        }
    }
    Val unary() {
        Deeper deeper(scope_.budget());
        if (take("-")) return Val::num(-number_of(unary()));
        if (take("+")) return Val::num(number_of(unary()));
        Val v = postfix(atom());
        if (take("**")) v = Val::num(std::pow(number_of(v), number_of(unary())));
        return v;
    }
    Val atom() {
        if (t_[at_].kind == Token::End) refuse("an expression that ends too soon");
        scope_.budget().step();
        const Token& tok = t_[at_++];
        if (tok.kind == Token::Number) {
            auto n = float_of_text(tok.text);
            if (!n) refuse("the number " + tok.text);
            return Val::num(*n);
        }
        if (tok.kind == Token::Text) {
            std::string text = tok.text;
            while (t_[at_].kind == Token::Text) {  // "a" "b"
                scope_.budget().hold(text.size() + t_[at_].text.size());
                text += t_[at_++].text;
            }
            return Val::str(text);
        }
        if (tok.kind == Token::Op && tok.text == "(") {
            Val v = conditional();
            if (take(",")) {  // a tuple, as the right side of a % format
                tuple_ = {v};
                do {
                    if (t_[at_].text == ")") break;
                    tuple_.push_back(conditional());
                } while (take(","));
                expect(")");
                return v;
            }
            expect(")");
            return v;
        }
        if (tok.kind == Token::Name) return name(tok.text);
        refuse("'" + tok.text + "'");
    }
    Val name(const std::string& word) {
        static const char* const statements[] = {"import", "from",   "def",   "class",  "lambda",
                                                 "while",  "for",    "with",  "global", "return",
                                                 "del",    "assert", "raise", "try",    "yield"};
        for (const char* keyword : statements)
            if (word == keyword) refuse(word + " (code is never run)");
        if (word == "None") return Val();
        if (word == "True") return Val::num(1);
        if (word == "False") return Val::num(0);
        if (word == "hou") return Val::of(Val::Module, "hou");
        // The expression's globals: a few builtins and the hou functions it may call unqualified.
        static const char* const builtins[] = {
            "str", "int", "float", "len",      "abs",  "min",  "max",   "round",
            "pwd", "ch",  "chs",   "evalParm", "parm", "node", "frame", "intFrame"};
        for (const char* b : builtins)
            if (word == b) return Val{Val::Method, 0, "", word, Val::Module};
        refuse("the name " + word);
    }

    Val postfix(Val v) {
        for (;;) {
            if (take(".")) {
                if (t_[at_].kind != Token::Name) refuse("an attribute that is no name");
                const Token& tok = t_[at_++];
                v = attribute(v, tok.text);
            } else if (t_[at_].text == "(" && t_[at_].kind == Token::Op) {
                ++at_;
                std::vector<Val> args;
                if (!take(")")) {
                    do {
                        args.push_back(conditional());
                    } while (take(","));
                    expect(")");
                }
                v = call(v, args);
            } else if (take("[")) {
                v = subscript(v);
            } else {
                return v;
            }
        }
    }

    // text[i] and text[a:b] (without a step), counted as Python counts them.
    Val subscript(const Val& v) {
        if (v.kind != Val::Str) refuse("indexing of no text");
        const double n = static_cast<double>(v.text.size());
        auto index = [&]() -> std::optional<double> {
            if (t_[at_].text == ":" || t_[at_].text == "]") return std::nullopt;
            double i = std::trunc(number_of(conditional()));
            return i < 0 ? i + n : i;
        };
        std::optional<double> first = index();
        if (take("]")) {
            if (!first || *first < 0 || *first >= n) refuse("an index beyond the text");
            return Val::str(v.text.substr(static_cast<size_t>(*first), 1));
        }
        expect(":");
        std::optional<double> last = index();
        expect("]");
        double a = std::clamp(first.value_or(0), 0.0, n);
        double b = std::clamp(last.value_or(n), 0.0, n);
        return Val::str(b > a ? v.text.substr(static_cast<size_t>(a), static_cast<size_t>(b - a))
                              : "");
    }

    Val attribute(const Val& v, const std::string& name) {
        if (v.kind == Val::Method)  // an attribute of an attribute: hou.session.x and the like
            refuse("the attribute " + (v.text.empty() ? "" : v.text + ".") + v.method + "." + name);
        if (v.kind == Val::Module && v.text == "hou" && name == "hipFile")
            return Val::of(Val::Module, "hou.hipFile");
        return Val{Val::Method, 0, v.text, name, v.kind};
    }

    std::string node_of(const std::string& relative, const std::string& from) {
        std::string path = from.empty() ? relative : from + "/" + relative;
        if (!relative.empty() && relative[0] == '/') path = relative;
        auto found = scope_.node_path(path);
        if (!found) refuse("no node at " + relative);
        return *found;
    }

    Val parm_value(const std::string& path, bool as_string) {
        ExprValue e = as_string ? scope_.channel(path, true, false) : scope_.value(path);
        return e.is_string ? Val::str(e.text) : Val::num(e.number);
    }

    Val call(const Val& f, const std::vector<Val>& a) {
        if (f.kind != Val::Method) refuse("a call of something that is no function");
        auto arg = [&](size_t i) -> const Val& {
            if (i >= a.size()) refuse(f.method + "() with too few arguments");
            return a[i];
        };
        const std::string& m = f.method;
        if (f.owner == Val::Module && f.text == "hou.hipFile") {
            auto hip = scope_.variable("HIPFILE");
            if (m == "path" && hip) return Val::str(*hip);
            if (m == "basename" && hip) return Val::str(hip->substr(hip->rfind('/') + 1));
            refuse("hou.hipFile." + m + "()");
        }
        if (f.owner == Val::Module) return module_call(m, a, arg);
        if (f.owner == Val::Node) return node_call(f.text, m, arg);
        if (f.owner == Val::Parm) return parm_call(f.text, m);
        if (f.owner == Val::Str) return text_call(f.text, m, arg);
        refuse("the method " + m + "()");
    }

    template <typename Arg>
    Val module_call(const std::string& m, const std::vector<Val>& a, Arg arg) {
        if (m == "pwd") return Val::of(Val::Node, node_of(".", ""));
        if (m == "node") return Val::of(Val::Node, node_of(text_of(arg(0)), node_of(".", "")));
        if (m == "ch" || m == "evalParm") return parm_value(text_of(arg(0)), false);
        if (m == "chs") return parm_value(text_of(arg(0)), true);
        if (m == "parm") return Val::of(Val::Parm, text_of(arg(0)));
        if (m == "frame" || m == "intFrame") {
            double f = std::strtod(scope_.variable("F").value_or("1").c_str(), nullptr);
            return Val::num(m == "intFrame" ? std::round(f) : f);
        }
        if (m == "getenv") {
            auto v = scope_.variable(text_of(arg(0)));
            return v ? Val::str(*v) : (a.size() > 1 ? a[1] : Val());
        }
        if (m == "expandString") return Val::str(expand(text_of(arg(0)), scope_));
        if (m == "str") return Val::str(text_of(arg(0)));
        if (m == "int") {
            const Val& v = arg(0);
            return Val::num(v.kind == Val::Str ? static_cast<double>(int_from_text(v.text))
                                               : std::trunc(number_of(v)));
        }
        if (m == "float") {
            const Val& v = arg(0);
            return Val::num(v.kind == Val::Str ? float_from_text(v.text) : number_of(v));
        }
        if (m == "len") return Val::num(static_cast<double>(text_of(arg(0)).size()));
        if (m == "abs") return Val::num(std::fabs(number_of(arg(0))));
        if (m == "round") return Val::num(std::nearbyint(number_of(arg(0))));
        if (m == "min" || m == "max") {
            double best = number_of(arg(0));
            for (const auto& v : a)
                best = m == "min" ? std::min(best, number_of(v)) : std::max(best, number_of(v));
            return Val::num(best);
        }
        refuse("hou." + m + "()");
    }

    template <typename Arg>
    Val node_call(const std::string& node, const std::string& m, Arg arg) {
        if (m == "parm") return Val::of(Val::Parm, node + "/" + text_of(arg(0)));
        if (m == "evalParm") return parm_value(node + "/" + text_of(arg(0)), false);
        if (m == "path") return Val::str(node);
        if (m == "name") return Val::str(node.substr(node.rfind('/') + 1));
        if (m == "parent") return Val::of(Val::Node, node_of("..", node));
        if (m == "node") return Val::of(Val::Node, node_of(text_of(arg(0)), node));
        refuse("the node method " + m + "()");
    }

    Val parm_call(const std::string& parm, const std::string& m) {
        if (m == "eval" || m == "evalAsFloat") return parm_value(parm, false);
        if (m == "evalAsInt") return Val::num(std::trunc(number_of(parm_value(parm, false))));
        if (m == "evalAsString") return parm_value(parm, true);
        if (m == "unexpandedString" || m == "rawValue") {
            ExprValue e = scope_.channel(parm, true, true);
            return Val::str(e.text);
        }
        if (m == "name") return Val::str(parm.substr(parm.rfind('/') + 1));
        refuse("the parameter method " + m + "()");
    }

    template <typename Arg>
    Val text_call(const std::string& s, const std::string& m, Arg arg) {
        if (m == "upper") return Val::str(ascii_upper(s));
        if (m == "lower") return Val::str(ascii_lower(s));
        if (m == "strip") return Val::str(strip_blanks(s));
        if (m == "replace") {
            std::string from = text_of(arg(0));
            if (from.empty()) refuse("replace() of an empty text");
            scope_.budget().hold(replaced_size(s, from, text_of(arg(1))));
            return Val::str(replace_all(s, from, text_of(arg(1))));
        }
        if (m == "startswith") return Val::num(starts_with(s, text_of(arg(0))) ? 1 : 0);
        if (m == "endswith") return Val::num(ends_with(s, text_of(arg(0))) ? 1 : 0);
        refuse("the text method " + m + "()");
    }

    const std::vector<Token> t_;
    ExprScope& scope_;
    size_t at_ = 0;
    std::vector<Val> tuple_;
};

}  // namespace

ExprValue evaluate_python(const std::string& code, ExprScope& scope) {
    std::string trimmed = code;
    while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back())))
        trimmed.pop_back();
    size_t start = trimmed.find_first_not_of(" \t\r\n");
    trimmed = start == std::string::npos ? "" : trimmed.substr(start);
    if (trimmed.find('\n') != std::string::npos) refuse("statements (only one expression is read)");
    Evaluator evaluator(tokens_of(trimmed), scope);
    Val v = evaluator.run();
    if (v.kind == Val::Num) return ExprValue::num(v.number);
    if (v.kind == Val::Str) return ExprValue::str(v.text);
    if (v.kind == Val::None) return ExprValue::str("");
    if (v.kind == Val::Node || v.kind == Val::Parm) return ExprValue::str(v.text);
    if (v.kind == Val::Method) refuse("the attribute " + v.text + "." + v.method + " (not called)");
    refuse("a value that is no number or text");
}

}  // namespace scanflow::hip
