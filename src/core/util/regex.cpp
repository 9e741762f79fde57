#define PCRE2_CODE_UNIT_WIDTH 8
#include "util/regex.h"

#include <pcre2.h>

#include "base/errors.h"
#include "base/text.h"

namespace scanflow {

struct Regex::Impl {
    pcre2_code* code = nullptr;
    std::string pattern;
    ~Impl() {
        if (code != nullptr) pcre2_code_free(code);
    }
};

namespace {

struct MatchData {
    pcre2_match_data* data;
    explicit MatchData(const pcre2_code* code)
        : data(pcre2_match_data_create_from_pattern(code, nullptr)) {}
    ~MatchData() { pcre2_match_data_free(data); }
    MatchData(const MatchData&) = delete;
    MatchData& operator=(const MatchData&) = delete;
};

std::string pcre_message(int code) {
    PCRE2_UCHAR buffer[256];
    pcre2_get_error_message(code, buffer, sizeof buffer);
    return reinterpret_cast<const char*>(buffer);
}

}  // namespace

Regex::Regex(std::string_view pattern, unsigned flags) : impl_(std::make_unique<Impl>()) {
    impl_->pattern = pattern;
    uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (flags & IgnoreCase) options |= PCRE2_CASELESS;
    int error = 0;
    PCRE2_SIZE offset = 0;
    impl_->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                options, &error, &offset, nullptr);
    if (impl_->code == nullptr)
        throw Error("bad regular expression '" + std::string(pattern) + "' at " +
                    std::to_string(offset) + ": " + pcre_message(error));
    pcre2_jit_compile(impl_->code, PCRE2_JIT_COMPLETE);  // falls back to the interpreter
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

std::string Regex::replace_all(std::string_view subject, std::string_view replacement) const {
    MatchData md(impl_->code);
    std::string out;
    size_t pos = 0;
    size_t copied = 0;
    while (pos <= subject.size()) {
        int rc = pcre2_match(impl_->code, reinterpret_cast<PCRE2_SPTR>(subject.data()),
                             subject.size(), pos, 0, md.data, nullptr);
        if (rc == PCRE2_ERROR_NOMATCH) break;
        if (rc < 0) throw Error("regular expression '" + impl_->pattern + "': " + pcre_message(rc));
        PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.data);
        out.append(subject.substr(copied, ov[0] - copied));
        out.append(replacement);
        copied = ov[1];
        if (ov[1] == ov[0]) {
            // An empty match: copy one character and move past it.
            if (ov[0] >= subject.size()) break;
            out.push_back(subject[ov[0]]);
            copied = pos = ov[0] + 1;
        } else {
            pos = ov[1];
        }
    }
    out.append(subject.substr(copied));
    return out;
}

std::vector<std::string> Regex::find_all(std::string_view subject) const {
    MatchData md(impl_->code);
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= subject.size()) {
        int rc = pcre2_match(impl_->code, reinterpret_cast<PCRE2_SPTR>(subject.data()),
                             subject.size(), pos, 0, md.data, nullptr);
        if (rc == PCRE2_ERROR_NOMATCH) break;
        if (rc < 0) throw Error("regular expression '" + impl_->pattern + "': " + pcre_message(rc));
        PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.data);
        out.emplace_back(subject.substr(ov[0], ov[1] - ov[0]));
        pos = ov[1] > ov[0] ? ov[1] : ov[0] + 1;
    }
    return out;
}

std::optional<std::vector<std::optional<std::string>>> Regex::search(
    std::string_view subject) const {
    MatchData md(impl_->code);
    int rc = pcre2_match(impl_->code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                         0, 0, md.data, nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) return std::nullopt;
    if (rc < 0) throw Error("regular expression '" + impl_->pattern + "': " + pcre_message(rc));
    PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.data);
    uint32_t count = pcre2_get_ovector_count(md.data);
    std::vector<std::optional<std::string>> groups;
    for (uint32_t i = 0; i < count; ++i) {
        if (ov[2 * i] == PCRE2_UNSET) {
            groups.emplace_back(std::nullopt);
        } else {
            groups.emplace_back(std::string(subject.substr(ov[2 * i], ov[2 * i + 1] - ov[2 * i])));
        }
    }
    return groups;
}

}  // namespace scanflow
