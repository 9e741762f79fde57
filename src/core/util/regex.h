// Perl-style regular expressions (PCRE2, JIT-compiled where the platform allows).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scanflow {

class Regex {
public:
    enum Flags : unsigned { None = 0, IgnoreCase = 1u << 0 };

    explicit Regex(std::string_view pattern, unsigned flags = None);
    ~Regex();
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    // Every non-overlapping match replaced by `replacement`, taken literally.
    std::string replace_all(std::string_view subject, std::string_view replacement) const;
    // The first match, with its capture groups (group 0 is the whole match); empty groups that
    // did not take part are nullopt.
    std::optional<std::vector<std::optional<std::string>>> search(std::string_view subject) const;
    // Every non-overlapping match (the whole match), in order.
    std::vector<std::string> find_all(std::string_view subject) const;
    bool matches_anywhere(std::string_view subject) const { return search(subject).has_value(); }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace scanflow
