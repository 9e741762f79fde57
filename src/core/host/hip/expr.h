// The host's expression language (hscript) as far as scenes use it in paths and ranges:
// variables, backtick substitution, arithmetic, string concatenation, multi-line blocks and the
// common functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"

namespace scanflow::hip {

struct ExprValue {
    bool is_string = false;
    double number = 0;
    std::string text;

    static ExprValue num(double v) { return ExprValue{false, v, {}}; }
    static ExprValue str(std::string s) { return ExprValue{true, 0, std::move(s)}; }
    std::string as_text() const;
    double as_number() const;
};

// What one evaluation of a parameter may spend, shared by every expression and parameter
// reference it reaches (hscript, Python, references into other parameters), so that a chain of
// them is bounded as a whole: nesting, work and the size of the values it builds.
class EvalBudget {
public:
    // One level deeper for as long as it lives.
    class Level {
    public:
        explicit Level(EvalBudget& budget);
        ~Level() { --budget_.depth_; }
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;

    private:
        EvalBudget& budget_;
    };
    void step();
    // Refuses a text value of `bytes` before it is built.
    void hold(size_t bytes) const;

private:
    int depth_ = 0;
    uint64_t steps_ = 0;
};

// What an expression can ask of the scene it is evaluated in.
class ExprScope {
public:
    virtual ~ExprScope() = default;
    // The budget of the evaluation this scope belongs to.
    virtual EvalBudget& budget() { return own_budget_; }
    virtual std::optional<std::string> variable(const std::string& name) = 0;
    // ch()/chs()/chsraw() of a parameter path relative to the evaluating node.
    virtual ExprValue channel(const std::string& path, bool as_string, bool raw) = 0;
    // A parameter's value as it is: text for a text parameter, a number otherwise (what
    // Python's evalParm gives).
    virtual ExprValue value(const std::string& path) { return channel(path, false, false); }
    // A node path relative to the evaluating node, made absolute; nullopt when no node has it.
    virtual std::optional<std::string> node_path(const std::string& path) = 0;
    virtual std::optional<std::string> input_path(const std::string& path, int index) = 0;

private:
    EvalBudget own_budget_;
};

// Evaluation that needs the host application (Python, geometry, PDG attributes) or a malformed
// expression.
class ExprError : public Error {
public:
    explicit ExprError(const std::string& message) : Error(message, "hou.OperationFailed") {}
};

ExprValue evaluate(const std::string& expression, ExprScope& scope);
// A parameter's string value: backtick expressions substituted, then variables expanded.
std::string expand(const std::string& text, ExprScope& scope);
// Number text as the host writes it in strings: 3, 2.5.
std::string number_text(double v);

}  // namespace scanflow::hip
