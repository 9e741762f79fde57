#include "base/text_list.h"

namespace scanflow {

TextList::TextList(const std::vector<std::string>& texts) {
    ends_.reserve(texts.size());
    for (const auto& text : texts) push_back(text);
}

std::vector<std::string> TextList::strings() const {
    std::vector<std::string> out;
    out.reserve(size());
    for (std::string_view text : *this) out.emplace_back(text);
    return out;
}

}  // namespace scanflow
