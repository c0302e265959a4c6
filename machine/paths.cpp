#include "machine/paths.h"

#include <algorithm>
#include <cctype>

namespace winsim {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Splits the part of a path after its drive into components, applying "." and ".." and
// Windows' dropping of trailing dots and blanks onto `components`.
void AppendComponents(std::vector<std::string>& components, std::string_view rest) {
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t end = pos;
        while (end < rest.size() && !IsSeparator(rest[end])) ++end;
        std::string_view part = rest.substr(pos, end - pos);
        pos = end + 1;
        if (part == "..") {
            if (!components.empty()) components.pop_back();
            continue;
        }
        while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
        if (!part.empty()) components.emplace_back(part);
    }
}

bool HasDrive(std::string_view path) {
    return path.size() >= 2 && path[1] == ':';
}

}  // namespace

std::optional<std::string> FindEntry(const fs::path& directory, std::string_view name) {
    std::error_code ec;
    if (fs::exists(directory / name, ec)) return std::string(name);
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (EqualNoCase(entry, name)) return entry;
    }
    return std::nullopt;
}

fs::path DriveFolder(Machine& machine, char letter) {
    return machine.Folder() / (std::string("drive_") +
                               static_cast<char>(std::tolower(static_cast<unsigned char>(letter))));
}

std::string CurrentDirectory(Machine& machine) {
    std::string dir = machine.Settings().Get("Files", "CurrentDirectory", "C:\\");
    if (!HasDrive(dir) || !std::isalpha(static_cast<unsigned char>(dir[0])) ||
        (dir.size() > 2 && !IsSeparator(dir[2])))
        return "C:\\";
    std::vector<std::string> components;
    AppendComponents(components, std::string_view(dir).substr(2));
    std::string normal{static_cast<char>(std::toupper(static_cast<unsigned char>(dir[0]))), ':'};
    for (const std::string& c : components) normal += "\\" + c;
    return normal + "\\";
}

fs::path ResolvePath(Machine& machine, std::string_view windowsPath) {
    if (windowsPath.empty()) return {};
    if (windowsPath.size() >= 2 && IsSeparator(windowsPath[0]) && IsSeparator(windowsPath[1]))
        return {};

    std::string current = CurrentDirectory(machine);
    char drive = current[0];
    std::string_view rest = windowsPath;
    bool onCurrentDrive = true;
    if (HasDrive(windowsPath)) {
        if (!std::isalpha(static_cast<unsigned char>(windowsPath[0]))) return {};
        onCurrentDrive = EqualNoCase(windowsPath.substr(0, 1), current.substr(0, 1));
        drive = windowsPath[0];
        rest = windowsPath.substr(2);
    }
    std::vector<std::string> components;
    if ((rest.empty() || !IsSeparator(rest[0])) && onCurrentDrive)
        AppendComponents(components, std::string_view(current).substr(2));
    AppendComponents(components, rest);

    fs::path host = DriveFolder(machine, drive);
    bool matching = true;
    for (const std::string& component : components) {
        if (matching) {
            std::optional<std::string> entry = FindEntry(host, component);
            matching = entry.has_value();
            host /= matching ? *entry : component;
        } else {
            host /= component;
        }
    }
    return host;
}

std::vector<std::string> ListDirectory(const fs::path& directory) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end(), LessNoCase());
    return names;
}

}  // namespace winsim
