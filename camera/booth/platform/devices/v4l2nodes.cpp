#include "v4l2nodes.h"

#include "v4l2system.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <unistd.h>

namespace kvplat {

namespace {

// N for "videoN", else -1.
int videoNumber(const char *name)
{
    if (std::strncmp(name, "video", 5) != 0 || !name[5])
        return -1;
    long n = 0;
    for (const char *p = name + 5; *p; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p)) || n > INT_MAX / 10 - 1)
            return -1;
        n = n * 10 + (*p - '0');
    }
    return int(n);
}

std::vector<std::string> folderEntries(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    }
    closedir(dir);
    return names;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start])))
        ++start;
    return text.substr(start);
}

// Drivers copy names into fixed fields with strscpy, which may cut a multi-byte UTF-8
// character; its lead and continuation bytes would show as a replacement character.
std::string withoutCutCharacter(std::string text)
{
    size_t lead = text.size();
    int continuations = 0;
    while (lead > 0 && continuations < 4 &&
           (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) {
        --lead;
        ++continuations;
    }
    if (lead == 0)
        return text;
    const unsigned char first = static_cast<unsigned char>(text[lead - 1]);
    const int length = (first & 0xE0) == 0xC0   ? 2
                       : (first & 0xF0) == 0xE0 ? 3
                       : (first & 0xF8) == 0xF0 ? 4
                                                : 0;
    if (length > 0 && continuations + 1 < length)
        text.resize(lead - 1);
    return text;
}

// A name as a driver stored it, cut and padded: whole characters, no surrounding spaces.
std::string nameText(const std::string &text)
{
    return trimmed(withoutCutCharacter(trimmed(text)));
}

std::string firstLine(const std::string &file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return trimmed(line);
}

// The last component of a link's target: "../../video0" gives "video0".
std::string linkTargetName(const std::string &link)
{
    char target[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return {};
    target[n] = 0;
    const char *slash = std::strrchr(target, '/');
    return slash ? slash + 1 : target;
}

} // namespace

std::vector<V4l2Node> findV4l2Nodes(const V4l2System &system)
{
    // Links of /dev/v4l/by-path by the node they point at; udev may make several for one node,
    // and the shortest name (then the first in byte order) is the stable one.
    std::map<std::string, std::string> links;
    const std::string byPathFolder = system.path("/dev/v4l/by-path");
    for (const std::string &name : folderEntries(byPathFolder)) {
        const std::string node = linkTargetName(byPathFolder + "/" + name);
        if (videoNumber(node.c_str()) < 0)
            continue;
        auto it = links.find(node);
        if (it == links.end() || name.size() < it->second.size() ||
            (name.size() == it->second.size() && name < it->second))
            links[node] = name;
    }

    std::vector<V4l2Node> nodes;
    const std::string classFolder = system.path("/sys/class/video4linux");
    for (const std::string &entry : folderEntries(classFolder)) {
        const int number = videoNumber(entry.c_str());
        if (number < 0)
            continue;
        V4l2Node node;
        node.number = number;
        node.device = "/dev/" + entry;
        node.name = nameText(firstLine(classFolder + "/" + entry + "/name"));
        const std::string index = firstLine(classFolder + "/" + entry + "/index");
        if (!index.empty() && index.size() < 6 &&
            std::all_of(index.begin(), index.end(), [](char c) { return c >= '0' && c <= '9'; }))
            node.index = std::stoi(index);
        auto link = links.find(entry);
        if (link != links.end())
            node.byPath = link->second;
        nodes.push_back(node);
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const V4l2Node &a, const V4l2Node &b) { return a.number < b.number; });
    return nodes;
}

bool isCameraNode(const v4l2_capability &caps)
{
    const uint32_t c =
        (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    if (!(c & V4L2_CAP_VIDEO_CAPTURE))
        return false;
    const uint32_t excluded =
        V4L2_CAP_META_CAPTURE | V4L2_CAP_VIDEO_M2M | V4L2_CAP_VIDEO_M2M_MPLANE | V4L2_CAP_IO_MC;
    return !(c & excluded) && (c & V4L2_CAP_STREAMING);
}

std::string cardName(const v4l2_capability &caps)
{
    const char *card = reinterpret_cast<const char *>(caps.card);
    return nameText(std::string(card, strnlen(card, sizeof caps.card)));
}

std::string devicePathOf(const V4l2Node &node, const v4l2_capability *caps)
{
    if (!node.byPath.empty())
        return "v4l2:" + node.byPath;
    std::string bus;
    if (caps) {
        const char *info = reinterpret_cast<const char *>(caps->bus_info);
        bus = std::string(info, strnlen(info, sizeof caps->bus_info));
    }
    if (bus.empty())
        bus = node.device.substr(5); // "videoN": still unique on this machine
    return "v4l2:" + bus + "-video-index" + std::to_string(node.index < 0 ? 0 : node.index);
}

} // namespace kvplat
