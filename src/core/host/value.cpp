#include "host/value.h"

#include "base/console.h"
#include "base/numbers.h"

namespace scanflow {

long long Value::as_int() const {
    switch (kind_) {
        case Kind::Float:
            return static_cast<long long>(float_);
        case Kind::String:
            return int_from_text(text_);
        default:
            return int_;
    }
}

double Value::as_float() const {
    switch (kind_) {
        case Kind::Int:
            return static_cast<double>(int_);
        case Kind::String:
            return float_from_text(text_);
        default:
            return float_;
    }
}

std::string Value::str() const {
    switch (kind_) {
        case Kind::None:
            return "None";
        case Kind::Int:
            return std::to_string(int_);
        case Kind::Float:
            return console::float_text(float_);
        case Kind::String:
            return text_;
        case Kind::List: {
            std::string out = "(";
            for (size_t i = 0; i < items_.size(); ++i) {
                if (i) out += ", ";
                out += items_[i].is_string() ? "'" + items_[i].text_ + "'" : items_[i].str();
            }
            if (items_.size() == 1) out += ",";
            return out + ")";
        }
    }
    return {};
}

bool Value::operator==(const Value& other) const {
    if (is_number() && other.is_number()) return as_float() == other.as_float();
    if (kind_ != other.kind_) return false;
    if (kind_ == Kind::String) return text_ == other.text_;
    if (kind_ == Kind::List) return items_ == other.items_;
    return true;
}

}  // namespace scanflow
