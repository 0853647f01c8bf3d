// Discovery and identity of V4L2 device nodes: the videoN entries of sysfs, their names and
// indexes, the udev by-path links, and which nodes are cameras.
#ifndef KV_PLATFORM_V4L2NODES_H
#define KV_PLATFORM_V4L2NODES_H

#include <linux/videodev2.h>

#include <string>
#include <vector>

namespace kvplat {

class V4l2System;

struct V4l2Node
{
    int number = 0;     // N of videoN
    std::string device; // "/dev/videoN", as the host names it (below the root for access)
    std::string name;   // sysfs name, trimmed, without a cut trailing character
    int index = -1;     // sysfs index; -1 when unreadable
    std::string byPath; // the name of the by-path link to the node, or empty
};

// Every videoN of sysfs, in ascending N.
std::vector<V4l2Node> findV4l2Nodes(const V4l2System &system);

// True for a video capture node that is not a metadata, memory-to-memory or media-controller
// only node.
bool isCameraNode(const v4l2_capability &caps);

// The card name without surrounding spaces and without a multi-byte character cut at its end
// (the field need not be zero-terminated).
std::string cardName(const v4l2_capability &caps);

// "v4l2:<by-path link>", or "v4l2:<bus_info>-video-index<index>" without a link.
std::string devicePathOf(const V4l2Node &node, const v4l2_capability *caps);

} // namespace kvplat

#endif // KV_PLATFORM_V4L2NODES_H
