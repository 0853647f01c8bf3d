// Camera descriptions for the platform tests. Kept apart from the test classes: moc does not
// read raw string literals.
#include "testdata.h"

const char *const kCameras = R"([
 {"name": "Cam A", "path": "virtual:a",
  "formats": [{"fourcc": "MJPG", "width": 320, "height": 240, "fps": 30},
              {"fourcc": "YUY2", "width": 160, "height": 120, "fps": 30},
              {"fourcc": "RGB24", "width": 160, "height": 120, "fps": 30}]},
 {"name": "No Path", "formats": [{"fourcc": "YUY2", "width": 64, "height": 48, "fps": 30}]},
 {"name": "Empty Path", "path": "", "formats": []},
 {"name": "Red", "path": "virtual:red", "pattern": "solid:#FF0000",
  "formats": [{"fourcc": "MJPG", "width": 64, "height": 48, "fps": 60},
              {"fourcc": "RGB24", "width": 64, "height": 48, "fps": 60}],
  "procamp": {"brightness": [-10, 10, 1, 5], "saturation": [0, 0, 1, 0]}}
])";

const char *const kGoodCamera = R"({"name": "good", "formats": []})";

std::vector<MalformedValue> malformedValues()
{
    return {
        {"not json", "[{\"name\": "},
        {"object", R"({"name": "x", "formats": []})"},
        {"name not a string", R"([{"name": 5, "formats": []}])"},
        {"no formats", R"([{"name": "x"}])"},
        {"fourcc",
         R"([{"name": "x", "formats": [{"fourcc": "H264", "width": 64, "height": 48, "fps": 30}]}])"},
        {"odd width",
         R"([{"name": "x", "formats": [{"fourcc": "YUY2", "width": 63, "height": 48, "fps": 30}]}])"},
        {"huge",
         R"([{"name": "x", "formats": [{"fourcc": "RGB24", "width": 1e9, "height": 48, "fps": 30}]}])"},
        {"fps too low to have a frame interval",
         R"([{"name": "x", "formats": [{"fourcc": "YUY2", "width": 64, "height": 48, "fps": 1e-13}]}])"},
        {"no fps",
         R"([{"name": "x", "formats": [{"fourcc": "YUY2", "width": 64, "height": 48}]}])"},
        {"pattern", R"([{"name": "x", "formats": [], "pattern": "solid:#12"}])"},
        {"procamp", R"([{"name": "x", "formats": [], "procamp": {"brightness": [10, 0, 1, 5]}}])"},
        {"path", R"([{"name": "x", "path": 3, "formats": []}])"},
    };
}
