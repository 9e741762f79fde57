#include "host/hip/expr_functions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "host/hip/py_expr.h"
#include "util/paths.h"

namespace scanflow::hip {

namespace {

// The arguments of one call, read by position, and the scene they are evaluated in.
class Args {
public:
    Args(const std::string& name, const std::vector<ExprValue>& values, ExprScope& scope)
        : name_(name), values_(values), scope_(scope) {}
    const ExprValue& operator[](size_t i) const {
        if (i >= values_.size()) throw FunctionError(name_ + "() needs more arguments");
        return values_[i];
    }
    void need(size_t count) const {
        if (values_.size() < count) throw FunctionError(name_ + "() needs more arguments");
    }
    double num(size_t i) const { return (*this)[i].as_number(); }
    std::string text(size_t i) const { return (*this)[i].as_text(); }
    const std::string& name() const { return name_; }
    ExprScope& scope() const { return scope_; }

private:
    const std::string& name_;
    const std::vector<ExprValue>& values_;
    ExprScope& scope_;
};

using Function = ExprValue (*)(const Args&);
using Table = std::unordered_map<std::string, Function>;

ExprValue num(double v) {
    return ExprValue::num(v);
}
ExprValue str(std::string s) {
    return ExprValue::str(std::move(s));
}

void add_channel_functions(Table& t) {
    t["ch"] = t["chf"] = [](const Args& a) {
        return num(a.scope().channel(a.text(0), false, false).as_number());
    };
    t["chs"] = [](const Args& a) {
        return str(a.scope().channel(a.text(0), true, false).as_text());
    };
    t["chsraw"] = [](const Args& a) {
        return str(a.scope().channel(a.text(0), true, true).as_text());
    };
    t["chsop"] = [](const Args& a) {
        std::string path = a.scope().channel(a.text(0), true, false).as_text();
        return str(a.scope().node_path(path).value_or(path));
    };
    t["lock"] = [](const Args& a) { return a[0]; };  // a locked channel holds its value
    t["property"] = t["propertys"] = [](const Args& a) {
        ExprValue v = a.scope().channel(a.text(0), a.name() == "propertys", false);
        bool missing = v.is_string ? v.text.empty() : false;
        return missing ? a[1] : v;
    };
}

// The trailing digits of a node's name (or of the text when it names no node).
double op_digits(const Args& a) {
    std::string s = a.text(0);
    auto path = a.scope().node_path(s);
    if (path) s = path->substr(path->rfind('/') + 1);
    size_t end = s.size();
    while (end > 0 && !std::isdigit(static_cast<unsigned char>(s[end - 1]))) --end;
    size_t start = end;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(s[start - 1]))) --start;
    return start == end ? 0 : std::stod(s.substr(start, end - start));
}

// A count (a width, a number of decimals, an input index) from an expression's number: within
// what a count can be, whatever the scene wrote.
int count_of(double v) {
    if (!(v > -1000)) return -1000;  // NaN too
    if (v > 1000) return 1000;
    return static_cast<int>(v);
}

void add_node_functions(Table& t) {
    t["opname"] = [](const Args& a) {
        auto path = a.scope().node_path(a.text(0));
        return str(path ? path->substr(path->rfind('/') + 1) : "");
    };
    t["opfullpath"] = [](const Args& a) {
        return str(a.scope().node_path(a.text(0)).value_or(""));
    };
    t["opinput"] = [](const Args& a) {  // the input node's name; "" when unconnected
        std::string path = a.scope().input_path(a.text(0), count_of(a.num(1))).value_or("");
        return str(path.substr(path.rfind('/') + 1));
    };
    // The network that holds the node: its creator for every node not made by an asset.
    t["opcreator"] = [](const Args& a) {
        std::string path = a.scope().node_path(a.text(0)).value_or("");
        size_t slash = path.rfind('/');
        return str(slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash));
    };
    // Outside a copy loop a stamp gives its default, as in the host.
    t["stamp"] = [](const Args& a) { return a[2]; };
    t["stamps"] = [](const Args& a) { return str(a.text(2)); };
    t["opinputpath"] = [](const Args& a) {
        return str(a.scope().input_path(a.text(0), count_of(a.num(1))).value_or(""));
    };
    t["oppwf"] = [](const Args&) { return str("/"); };
    t["opdigits"] = [](const Args& a) { return num(op_digits(a)); };
}

std::string zero_padded(int width, double v, int decimals) {
    char buf[64];
    if (decimals > 0) {
        std::snprintf(buf, sizeof buf, "%0*.*f", std::min(width, 60), std::min(decimals, 30), v);
    } else if (std::fabs(v) < 9.2e18) {
        std::snprintf(buf, sizeof buf, "%0*lld", std::min(width, 60),
                      static_cast<long long>(std::floor(v)));
    } else {
        std::snprintf(buf, sizeof buf, "%0*.0f", std::min(width, 60), std::floor(v));
    }
    return buf;
}

// The words of an argument list as the command language splits it: on white space, with
// double-quoted words kept whole.
std::vector<std::string> words_of(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        if (i >= text.size()) break;
        std::string word;
        bool quoted = false;
        for (; i < text.size(); ++i) {
            char c = text[i];
            if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && std::isspace(static_cast<unsigned char>(c))) {
                break;
            } else {
                word.push_back(c);
            }
        }
        words.push_back(word);
    }
    return words;
}

// Work item attributes exist only while the task graph cooks. Read outside a cook, as a scene
// does when it is loaded or analysed, the host answers with empty values (the shipped file cache
// asset evaluates "pdgattrib" this way in every scene that uses it), so these do too.
void add_work_item_functions(Table& t) {
    t["pdgattrib"] = t["pdgattribsize"] = t["haspdgattrib"] = [](const Args& a) {
        a.need(1);
        return num(0);
    };
    t["pdgattribs"] = t["pdgattribvals"] = [](const Args& a) {
        a.need(1);
        return str("");
    };
    t["pdgattribtype"] = [](const Args& a) {
        a.need(1);
        return num(-1);
    };
}

void add_string_functions(Table& t) {
    t["padzero"] = [](const Args& a) { return str(zero_padded(count_of(a.num(0)), a.num(1), 0)); };
    t["fpadzero"] = [](const Args& a) {
        return str(zero_padded(count_of(a.num(0)), a.num(2), count_of(a.num(1))));
    };
    t["ifs"] = [](const Args& a) { return str(truth(a[0]) ? a.text(1) : a.text(2)); };
    t["strcat"] = [](const Args& a) {
        a.scope().budget().hold(a.text(0).size() + a.text(1).size());
        return str(a.text(0) + a.text(1));
    };
    t["strreplace"] = [](const Args& a) {
        std::string text = a.text(0), from = a.text(1), to = a.text(2);
        a.scope().budget().hold(replaced_size(text, from, to));
        return str(replace_all(text, from, to));
    };
    t["strcmp"] = [](const Args& a) {
        return num(a.text(0).compare(a.text(1)) < 0 ? -1 : a.text(0) == a.text(1) ? 0 : 1);
    };
    t["strlen"] = [](const Args& a) { return num(static_cast<double>(a.text(0).size())); };
    t["substr"] = [](const Args& a) {
        std::string s = a.text(0);
        size_t start = static_cast<size_t>(std::min(std::max(0.0, a.num(1)), 1e15));
        size_t len = static_cast<size_t>(std::min(std::max(0.0, a.num(2)), 1e15));
        return str(start < s.size() ? s.substr(start, len) : "");
    };
    t["toupper"] = [](const Args& a) { return str(ascii_upper(a.text(0))); };
    t["argc"] = [](const Args& a) { return num(static_cast<double>(words_of(a.text(0)).size())); };
    t["arg"] = [](const Args& a) {
        auto words = words_of(a.text(0));
        double i = a.num(1);
        return str(i >= 0 && i < static_cast<double>(words.size()) ? words[static_cast<size_t>(i)]
                                                                   : "");
    };
    t["strmatch"] = [](const Args& a) {
        return num(fnmatch(a.text(1), a.text(0), Flavour{}) ? 1 : 0);
    };
    t["atof"] = [](const Args& a) { return num(std::atof(a.text(0).c_str())); };
    t["tolower"] = [](const Args& a) { return str(ascii_lower(a.text(0))); };
}

// The non-empty pieces of `s` between any of the characters of `separators` (white space when
// there are none).
std::vector<std::string> pieces_of(const std::string& s, std::string separators) {
    if (separators.empty()) separators = " \t\n\r\f\v";
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        size_t start = s.find_first_not_of(separators, i);
        if (start == std::string::npos) break;
        size_t end = s.find_first_of(separators, start);
        if (end == std::string::npos) end = s.size();
        out.push_back(s.substr(start, end - start));
        i = end;
    }
    return out;
}

void add_split_functions(Table& t) {
    t["strsplitcount"] = [](const Args& a) {
        return num(static_cast<double>(pieces_of(a.text(0), a.text(1)).size()));
    };
    // A negative component counts from the last piece; one out of range is empty.
    t["strsplit"] = [](const Args& a) {
        auto pieces = pieces_of(a.text(0), a.text(1));
        double n = static_cast<double>(pieces.size());
        double i = std::trunc(a.num(2));
        if (i < 0) i += n;
        return str(i >= 0 && i < n ? pieces[static_cast<size_t>(i)] : "");
    };
}

// The expression language measures angles in degrees.
void add_trigonometry(Table& t) {
    constexpr double kPerDegree = 3.14159265358979323846 / 180.0;
    t["sin"] = [](const Args& a) { return num(std::sin(a.num(0) * kPerDegree)); };
    t["cos"] = [](const Args& a) { return num(std::cos(a.num(0) * kPerDegree)); };
    t["tan"] = [](const Args& a) { return num(std::tan(a.num(0) * kPerDegree)); };
    t["asin"] = [](const Args& a) { return num(std::asin(a.num(0)) / kPerDegree); };
    t["acos"] = [](const Args& a) { return num(std::acos(a.num(0)) / kPerDegree); };
    t["atan"] = [](const Args& a) { return num(std::atan(a.num(0)) / kPerDegree); };
    t["atan2"] = [](const Args& a) { return num(std::atan2(a.num(0), a.num(1)) / kPerDegree); };
    t["sinh"] = [](const Args& a) { return num(std::sinh(a.num(0))); };
    t["cosh"] = [](const Args& a) { return num(std::cosh(a.num(0))); };
    t["tanh"] = [](const Args& a) { return num(std::tanh(a.num(0))); };
    t["rad"] = [](const Args& a) { return num(a.num(0) * kPerDegree); };
    t["deg"] = [](const Args& a) { return num(a.num(0) / kPerDegree); };
}

double fit(double v, double omin, double omax, double nmin, double nmax) {
    double t = omax == omin ? 0 : std::min(std::max((v - omin) / (omax - omin), 0.0), 1.0);
    return nmin + t * (nmax - nmin);
}

void add_math_functions(Table& t) {
    t["if"] = [](const Args& a) { return truth(a[0]) ? a[1] : a[2]; };
    t["floor"] = [](const Args& a) { return num(std::floor(a.num(0))); };
    t["ceil"] = [](const Args& a) { return num(std::ceil(a.num(0))); };
    t["rint"] = [](const Args& a) { return num(std::nearbyint(a.num(0))); };
    t["int"] = [](const Args& a) { return num(std::trunc(a.num(0))); };
    t["abs"] = [](const Args& a) { return num(std::fabs(a.num(0))); };
    t["min"] = [](const Args& a) { return num(std::min(a.num(0), a.num(1))); };
    t["max"] = [](const Args& a) { return num(std::max(a.num(0), a.num(1))); };
    t["clamp"] = [](const Args& a) {
        return num(std::min(std::max(a.num(0), a.num(1)), a.num(2)));
    };
    t["fit"] = [](const Args& a) {
        return num(fit(a.num(0), a.num(1), a.num(2), a.num(3), a.num(4)));
    };
    t["fit01"] = [](const Args& a) { return num(fit(a.num(0), 0, 1, a.num(1), a.num(2))); };
    t["pow"] = [](const Args& a) { return num(std::pow(a.num(0), a.num(1))); };
    t["sqrt"] = [](const Args& a) { return num(std::sqrt(a.num(0))); };
    t["frac"] = [](const Args& a) { return num(a.num(0) - std::floor(a.num(0))); };
    t["exp"] = [](const Args& a) { return num(std::exp(a.num(0))); };
    t["log"] = [](const Args& a) { return num(std::log(a.num(0))); };
    t["log10"] = [](const Args& a) { return num(std::log10(a.num(0))); };
    t["sign"] = [](const Args& a) { return num(a.num(0) > 0 ? 1 : a.num(0) < 0 ? -1 : 0); };
    t["round"] = [](const Args& a) { return num(std::round(a.num(0))); };
    t["hypot"] = [](const Args& a) { return num(std::hypot(a.num(0), a.num(1))); };
    add_trigonometry(t);
}

const Table& functions() {
    static const Table table = [] {
        Table t;
        add_channel_functions(t);
        add_node_functions(t);
        add_string_functions(t);
        add_split_functions(t);
        add_math_functions(t);
        add_work_item_functions(t);
        return t;
    }();
    return table;
}

}  // namespace

bool truth(const ExprValue& v) {
    return v.is_string ? !v.text.empty() : v.number != 0;
}

ExprValue call_function(const std::string& name, const std::vector<ExprValue>& args,
                        ExprScope& scope) {
    auto it = functions().find(name);
    if (it != functions().end()) return it->second(Args(name, args, scope));
    if (name == "pythonexprs" || name == "pythonexprf") {
        if (args.empty()) throw FunctionError(name + "() without its expression:");
        ExprValue v = evaluate_python(args[0].as_text(), scope);
        return name == "pythonexprs" ? ExprValue::str(v.as_text()) : ExprValue::num(v.as_number());
    }
    if (name == "python") throw FunctionError("python() runs code; it is never run:");
    throw FunctionError("the function " + name +
                        "() cannot be evaluated outside the host application:");
}

}  // namespace scanflow::hip
