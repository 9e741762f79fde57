#include "nested/vrscene.h"

#include <algorithm>

#include "base/budgets.h"
#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"
#include "util/encoding.h"
#include "util/file_handle.h"
#include "util/paths.h"

namespace scanflow {

namespace {

bool names_files(const std::string& line) {
    static const char* prefixes[] = {
        "file=", "cacheFileDir=", "characterFiles=", "layoutFile=", "cache_path="};
    return std::any_of(std::begin(prefixes), std::end(prefixes),
                       [&](const char* p) { return starts_with(line, p); });
}

// Every image of the list that exists, in list order.
void add_listed_images(const std::string& list_path, DirCache& listings, Flavour f,
                       std::vector<std::string>& found) {
    LineReader list(open_for_reading(os_path(list_path, f)));
    std::string item;
    std::string list_dir = dirname(list_path, f);
    while (list.next(item)) {
        item = strip_blanks(bety_out_decode(item));
        if (item.empty()) continue;
        std::string image = join(list_dir, item, f);
        if (listings.exists(os_path(image, f))) found.push_back(image);
    }
}

}  // namespace

std::vector<std::string> read_in_vrscene(const std::string& vrscene_path, DirCache& listings,
                                         Flavour f) {
    console::print("vrscene " + vrscene_path);
    std::string dir = dirname(vrscene_path, f);
    LineReader in(open_for_reading(os_path(vrscene_path, f)));
    std::vector<std::string> found;
    std::string raw;
    long long line_number = 0;
    while (in.next(raw)) {
        ++line_number;
        // A line too long to keep is data; one that names files would lose some of them.
        if (in.cut() && !names_files(strip_blanks(raw))) continue;
        if (in.cut())
            throw ParseError(vrscene_path, line_number,
                             "a line naming files is longer than the " +
                                 std::to_string(budget::kLineBytes) + " bytes read of a line");
        if (!is_utf8(raw)) throw ParseError(vrscene_path, line_number, "line is not UTF-8");
        std::string line = strip_blanks(raw);
        if (!names_files(line)) continue;
        std::string value = strip(strip(line.substr(line.find('=') + 1), ";"), "'\"");
        size_t start = 0;
        while (start <= value.size()) {
            size_t sep = value.find(';', start);
            std::string entry =
                value.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
            start = sep == std::string::npos ? value.size() + 1 : sep + 1;
            if (entry.empty()) continue;
            if (!isabs(entry, f)) entry = join(dir, entry, f);
            if (ends_with(entry, ".ifl")) add_listed_images(entry, listings, f, found);
            found.push_back(entry);
        }
    }
    return found;
}

}  // namespace scanflow
