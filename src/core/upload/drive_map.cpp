#include "upload/drive_map.h"

#include "base/console.h"
#include "base/people.h"
#include "base/text.h"

namespace scanflow {

Json win_mount_map(const Environment& env) {
    std::string text = env.text("G_WIN_MNT_MAP");
    if (text.empty()) return Json::object();
    size_t semicolon = text.rfind(';');
    if (semicolon != std::string::npos) text = text.substr(semicolon + 1);
    try {
        Json parsed = Json::parse(text);
        if (parsed.is_object()) return parsed;
        people::tell(
            "scanflow: G_WIN_MNT_MAP is not a JSON object of drive letters to server "
            "folders: it is ignored");
        return Json::object();
    } catch (const Json::parse_error& e) {
        console::print(std::string("    WARNING: Failed to parse G_WIN_MNT_MAP: ") + e.what());
        people::tell(std::string("scanflow: G_WIN_MNT_MAP is not JSON, it is ignored: ") +
                     e.what());
        return Json::object();
    }
}

DriveMap drive_replacement_map(const Environment& env, Flavour f) {
    DriveMap map;
    const Json mounts = win_mount_map(env);
    for (const auto& [drive, share_value] : mounts.items()) {
        std::string share = value_text(share_value);
        if (drive.empty() || share.empty() || share_value.is_null()) continue;
        std::string path = slashes_forward(normpath(share, f));
        while (!path.empty() && path.back() == '/') path.pop_back();
        std::string folder =
            path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
        std::string letter = drive;
        while (!letter.empty() && letter.back() == ':') letter.pop_back();
        letter = ascii_upper(letter);
        if (!folder.empty() && (folder.size() > 1 || ascii_upper(folder) != letter))
            map.emplace_back(drive, folder);
    }
    return map;
}

std::string replace_drive_in_path(std::string path, const DriveMap& map) {
    if (path.empty() || map.empty()) return path;
    auto letter_of = [](const std::string& drive) {
        std::string letter = drive;
        while (!letter.empty() && letter.back() == ':') letter.pop_back();
        return letter;
    };
    for (const auto& [drive, folder] : map) {
        std::string letter = letter_of(drive);
        for (const std::string& prefix : {ascii_upper(letter) + ":/", ascii_lower(letter) + ":/"})
            if (starts_with(path, prefix)) return folder + "/" + path.substr(prefix.size());
    }
    for (const auto& [drive, folder] : map) {
        std::string letter = letter_of(drive);
        for (const std::string& prefix :
             {"/" + ascii_upper(letter) + "/", "/" + ascii_lower(letter) + "/"})
            if (starts_with(path, prefix)) return "/" + folder + "/" + path.substr(prefix.size());
    }
    return path;
}

}  // namespace scanflow
