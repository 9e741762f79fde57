// A parameter or attribute value as the scene host returns it.
#pragma once

#include <string>
#include <vector>

namespace scanflow {

class Value {
public:
    enum class Kind { None, Int, Float, String, List };

    Value() = default;
    static Value integer(long long v) {
        Value x;
        x.kind_ = Kind::Int;
        x.int_ = v;
        return x;
    }
    static Value real(double v) {
        Value x;
        x.kind_ = Kind::Float;
        x.float_ = v;
        return x;
    }
    static Value text(std::string v) {
        Value x;
        x.kind_ = Kind::String;
        x.text_ = std::move(v);
        return x;
    }
    static Value list(std::vector<Value> v) {
        Value x;
        x.kind_ = Kind::List;
        x.items_ = std::move(v);
        return x;
    }

    Kind kind() const { return kind_; }
    bool is_none() const { return kind_ == Kind::None; }
    bool is_string() const { return kind_ == Kind::String; }
    bool is_number() const { return kind_ == Kind::Int || kind_ == Kind::Float; }
    // A text converts as the interpreter's int() and float() convert it: "1" is 1, "3.5" is 3.5
    // as a float, and text that is no number is a ValueError, never 0.
    long long as_int() const;
    double as_float() const;
    const std::string& as_string() const { return text_; }
    const std::vector<Value>& items() const { return items_; }

    // The interpreter's str() of the value: 1, 2.5, text, (1, 2).
    std::string str() const;

    bool operator==(const Value& other) const;

private:
    Kind kind_ = Kind::None;
    long long int_ = 0;
    double float_ = 0;
    std::string text_;
    std::vector<Value> items_;
};

}  // namespace scanflow
