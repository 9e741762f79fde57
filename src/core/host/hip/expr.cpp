#include "host/hip/expr.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>

#include "base/budgets.h"
#include "host/hip/expr_functions.h"

namespace scanflow::hip {

std::string number_text(double v) {
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", v);
        return buf;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string ExprValue::as_text() const {
    return is_string ? text : number_text(number);
}

double ExprValue::as_number() const {
    if (!is_string) return number;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    return end == text.c_str() ? 0 : v;
}

EvalBudget::Level::Level(EvalBudget& budget) : budget_(budget) {
    if (++budget_.depth_ > budget::kEvalDepth) {
        --budget_.depth_;
        throw ExprError("expressions and parameter references nested deeper than " +
                        std::to_string(budget::kEvalDepth) + " levels");
    }
}

void EvalBudget::step() {
    if (++steps_ > budget::kEvalSteps)
        throw ExprError("evaluation longer than " + std::to_string(budget::kEvalSteps) + " steps");
}

void EvalBudget::hold(size_t bytes) const {
    if (bytes > budget::kValueBytes)
        throw ExprError("a text value of " + std::to_string(bytes) + " bytes, beyond the " +
                        std::to_string(budget::kValueBytes) + " an evaluation may build");
}

namespace {

bool name_start(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

struct Token {
    enum Kind { End, Number, String, Name, Variable, Op } kind = End;
    std::string text;
    double number = 0;
    bool double_quoted = false;
};

class Parser {
public:
    Parser(const std::string& text, ExprScope& scope) : src_(text), scope_(scope) { advance(); }

    ExprValue run() {
        ExprValue v = at_op("{") ? block() : expression();
        if (tok_.kind != Token::End) fail("unexpected '" + tok_.text + "'");
        return v;
    }

private:
    [[noreturn]] void fail(const std::string& what) {
        throw ExprError(what + " in expression: " + src_);
    }

    void advance() {
        scope_.budget().step();
        while (pos_ < src_.size() && std::isspace(static_cast<unsigned char>(src_[pos_]))) ++pos_;
        tok_ = Token{};
        if (pos_ >= src_.size()) return;
        char c = src_[pos_];
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '.' && pos_ + 1 < src_.size() &&
             std::isdigit(static_cast<unsigned char>(src_[pos_ + 1])))) {
            char* end = nullptr;
            tok_.kind = Token::Number;
            tok_.number = std::strtod(src_.c_str() + pos_, &end);
            size_t len = static_cast<size_t>(end - (src_.c_str() + pos_));
            tok_.text = src_.substr(pos_, len);
            pos_ += len;
            return;
        }
        if (c == '"' || c == '\'') {
            tok_.kind = Token::String;
            tok_.double_quoted = c == '"';
            ++pos_;
            while (pos_ < src_.size() && src_[pos_] != c) {
                if (src_[pos_] == '\\' && pos_ + 1 < src_.size()) ++pos_;
                tok_.text.push_back(src_[pos_++]);
            }
            if (pos_ >= src_.size()) fail("unterminated string");
            ++pos_;
            return;
        }
        if (c == '$') {
            tok_.kind = Token::Variable;
            ++pos_;
            if (pos_ < src_.size() && src_[pos_] == '{') {
                size_t end = src_.find('}', pos_);
                if (end == std::string::npos) fail("unterminated ${");
                tok_.text = src_.substr(pos_ + 1, end - pos_ - 1);
                pos_ = end + 1;
            } else {
                while (pos_ < src_.size() && name_char(src_[pos_]))
                    tok_.text.push_back(src_[pos_++]);
            }
            return;
        }
        if (name_start(c)) {
            tok_.kind = Token::Name;
            while (pos_ < src_.size() && (name_char(src_[pos_]) || src_[pos_] == ':'))
                tok_.text.push_back(src_[pos_++]);
            return;
        }
        static const char* two[] = {"==", "!=", "<=", ">=", "&&", "||", "+=", "-=", "*=", "/="};
        for (const char* op : two) {
            if (src_.compare(pos_, 2, op) == 0) {
                tok_.kind = Token::Op;
                tok_.text = op;
                pos_ += 2;
                return;
            }
        }
        if (c == '@') fail("PDG attributes need the host application:");
        tok_.kind = Token::Op;
        tok_.text = std::string(1, c);
        ++pos_;
    }

    bool at_op(const char* op) const { return tok_.kind == Token::Op && tok_.text == op; }
    void expect_op(const char* op) {
        if (!at_op(op)) fail(std::string("expected '") + op + "'");
        advance();
    }

    struct Depth {
        int& d;
        EvalBudget::Level level;
        Depth(int& v, Parser* p) : d(++v), level(p->scope_.budget()) {
            if (d > 200) p->fail("expression nested too deeply");
        }
        ~Depth() { --d; }
    };

    // { statements } with local variables, if/else and return.
    ExprValue block() {
        Depth depth(depth_, this);
        expect_op("{");
        std::optional<ExprValue> result;
        while (!at_op("}")) {
            if (tok_.kind == Token::End) fail("unterminated block");
            if (auto v = statement()) {
                if (!result) result = v;
            }
        }
        expect_op("}");
        return result.value_or(ExprValue::num(0));
    }

    // A statement; a value when it returned (the rest of the block is still parsed but ignored).
    std::optional<ExprValue> statement() {
        Depth depth(depth_, this);  // an if's branch is a statement: nesting recurses here
        if (at_op(";")) {
            advance();
            return std::nullopt;
        }
        if (tok_.kind == Token::Name && (tok_.text == "float" || tok_.text == "string")) advance();
        if (tok_.kind == Token::Name && tok_.text == "return") {
            advance();
            ExprValue v = expression();
            if (at_op(";")) advance();
            if (skipping_ || returned_) return std::nullopt;
            returned_ = true;
            return v;
        }
        if (tok_.kind == Token::Name && tok_.text == "if") {
            advance();
            expect_op("(");
            bool cond = truth(expression());
            expect_op(")");
            std::optional<ExprValue> taken = branch(cond);
            if (tok_.kind == Token::Name && tok_.text == "else") {
                advance();
                auto other = branch(!cond);
                if (!taken) taken = other;
            }
            return taken;
        }
        if (tok_.kind == Token::Name) {
            // An assignment to a local variable, or an expression statement.
            size_t save_pos = pos_;
            Token save = tok_;
            std::string name = tok_.text;
            advance();
            if (at_op("=") || at_op("+=") || at_op("-=") || at_op("*=") || at_op("/=")) {
                std::string op = tok_.text;
                advance();
                ExprValue v = expression();
                if (!skipping_) {
                    ExprValue& slot = locals_[name];
                    if (op == "=")
                        slot = v;
                    else
                        slot = arithmetic(op.substr(0, 1), slot, v);
                }
                if (at_op(";")) advance();
                return std::nullopt;
            }
            pos_ = save_pos;
            tok_ = save;
        }
        expression();
        if (at_op(";")) advance();
        return std::nullopt;
    }

    std::optional<ExprValue> branch(bool taken) {
        bool was = skipping_;
        skipping_ = skipping_ || !taken;
        std::optional<ExprValue> result;
        if (at_op("{")) {
            advance();
            while (!at_op("}")) {
                if (tok_.kind == Token::End) fail("unterminated block");
                if (auto v = statement()) result = v;
            }
            advance();
        } else {
            result = statement();
        }
        skipping_ = was;
        return taken ? result : std::nullopt;
    }

    ExprValue expression() { return logical_or(); }

    ExprValue logical_or() {
        ExprValue left = logical_and();
        while (at_op("||")) {
            advance();
            ExprValue right = logical_and();
            left = ExprValue::num(truth(left) || truth(right));
        }
        return left;
    }
    ExprValue logical_and() {
        ExprValue left = equality();
        while (at_op("&&")) {
            advance();
            ExprValue right = equality();
            left = ExprValue::num(truth(left) && truth(right));
        }
        return left;
    }
    ExprValue equality() {
        ExprValue left = relational();
        while (at_op("==") || at_op("!=")) {
            bool eq = at_op("==");
            advance();
            ExprValue right = relational();
            bool same = left.is_string || right.is_string ? left.as_text() == right.as_text()
                                                          : left.number == right.number;
            left = ExprValue::num(same == eq);
        }
        return left;
    }
    ExprValue relational() {
        ExprValue left = additive();
        while (at_op("<") || at_op(">") || at_op("<=") || at_op(">=")) {
            std::string op = tok_.text;
            advance();
            double a = left.as_number(), b = additive().as_number();
            left = ExprValue::num(op == "<"    ? a < b
                                  : op == ">"  ? a > b
                                  : op == "<=" ? a <= b
                                               : a >= b);
        }
        return left;
    }
    ExprValue arithmetic(const std::string& op, const ExprValue& a, const ExprValue& b) {
        if (op == "+" && (a.is_string || b.is_string)) {
            std::string left = a.as_text(), right = b.as_text();
            scope_.budget().hold(left.size() + right.size());
            return ExprValue::str(left + right);
        }
        double x = a.as_number(), y = b.as_number();
        if (op == "+") return ExprValue::num(x + y);
        if (op == "-") return ExprValue::num(x - y);
        if (op == "*") return ExprValue::num(x * y);
        if (op == "/") return ExprValue::num(y == 0 ? 0 : x / y);
        if (op == "%") return ExprValue::num(y == 0 ? 0 : std::fmod(x, y));
        return ExprValue::num(std::pow(x, y));
    }
    ExprValue additive() {
        ExprValue left = multiplicative();
        while (at_op("+") || at_op("-")) {
            std::string op = tok_.text;
            advance();
            left = arithmetic(op, left, multiplicative());
        }
        return left;
    }
    ExprValue multiplicative() {
        ExprValue left = unary();
        while (at_op("*") || at_op("/") || at_op("%")) {
            std::string op = tok_.text;
            advance();
            left = arithmetic(op, left, unary());
        }
        return left;
    }
    ExprValue unary() {
        Depth depth(depth_, this);
        if (at_op("-")) {
            advance();
            return ExprValue::num(-unary().as_number());
        }
        if (at_op("+")) {
            advance();
            return ExprValue::num(unary().as_number());
        }
        if (at_op("!")) {
            advance();
            return ExprValue::num(!truth(unary()));
        }
        ExprValue base = primary();
        if (at_op("^")) {
            advance();
            return arithmetic("^", base, unary());
        }
        return base;
    }

    ExprValue primary() {
        Depth depth(depth_, this);
        if (tok_.kind == Token::Number) {
            double v = tok_.number;
            advance();
            return ExprValue::num(v);
        }
        if (tok_.kind == Token::String) {
            std::string text = tok_.text;
            bool expand_vars = tok_.double_quoted;
            advance();
            return ExprValue::str(expand_vars ? expand(text, scope_) : text);
        }
        if (tok_.kind == Token::Variable) {
            std::string name = tok_.text;
            advance();
            if (skipping_ || returned_) return ExprValue::num(0);
            auto v = scope_.variable(name);
            if (!v) fail("unknown variable $" + name);
            char* end = nullptr;
            double n = std::strtod(v->c_str(), &end);
            if (!v->empty() && end == v->c_str() + v->size()) return ExprValue::num(n);
            return ExprValue::str(*v);
        }
        if (at_op("(")) {
            advance();
            ExprValue v = expression();
            expect_op(")");
            return v;
        }
        if (tok_.kind == Token::Name) {
            std::string name = tok_.text;
            advance();
            if (at_op("(")) {
                advance();
                std::vector<ExprValue> args;
                while (!at_op(")")) {
                    if (tok_.kind == Token::End) fail("unterminated call of " + name);
                    args.push_back(expression());
                    if (at_op(","))
                        advance();
                    else if (!at_op(")"))
                        fail("expected ',' or ')' in " + name + "()");
                }
                advance();
                return call(name, args);
            }
            auto local = locals_.find(name);
            if (local != locals_.end()) return local->second;
            // Any other bare word is a string, as the host's own templates rely on
            // ("ch(vm_maxraysamples)" in the render node's defaults).
            return ExprValue::str(name);
        }
        fail(tok_.kind == Token::End ? "unexpected end" : "unexpected '" + tok_.text + "'");
    }

    ExprValue call(const std::string& name, const std::vector<ExprValue>& args) {
        if (skipping_ || returned_) return ExprValue::num(0);  // a branch not taken asks nothing
        try {
            return call_function(name, args, scope_);
        } catch (const FunctionError& e) {
            fail(e.what());
        }
    }

    const std::string& src_;
    ExprScope& scope_;
    size_t pos_ = 0;
    Token tok_;
    int depth_ = 0;
    bool skipping_ = false;
    bool returned_ = false;
    std::map<std::string, ExprValue> locals_;
};

}  // namespace

ExprValue evaluate(const std::string& expression, ExprScope& scope) {
    return Parser(expression, scope).run();
}

std::string expand(const std::string& text, ExprScope& scope) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '`' || text[i + 1] == '$')) {
            out.push_back(text[i + 1]);
            i += 2;
            continue;
        }
        if (c == '`') {
            size_t end = text.find('`', i + 1);
            if (end == std::string::npos) {
                out += text.substr(i);
                break;
            }
            out += evaluate(text.substr(i + 1, end - i - 1), scope).as_text();
            scope.budget().hold(out.size());
            i = end + 1;
            continue;
        }
        if (c == '$') {
            std::string name;
            size_t j = i + 1;
            if (j < text.size() && text[j] == '{') {
                size_t end = text.find('}', j);
                if (end != std::string::npos) {
                    name = text.substr(j + 1, end - j - 1);
                    j = end + 1;
                }
            } else {
                while (j < text.size() && name_char(text[j])) name.push_back(text[j++]);
            }
            auto value = name.empty() ? std::nullopt : scope.variable(name);
            if (value) {
                out += *value;
                scope.budget().hold(out.size());
            } else {
                out += text.substr(i, j - i);  // unknown variables stay as written
            }
            i = j == i + 1 && name.empty() ? i + 1 : j;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

}  // namespace scanflow::hip
