#pragma once
// `ostrivel animate`: one node evaluated over a shot while the profile curve moves from
// "curveBase" to "curve", one OBJ per frame. Caches are kept between frames as the host
// keeps them, and every frame starts from the scene's points, so a frame's result does
// not depend on which frames ran before it: a shot split into --first/--last chunks on
// many machines gives the same files as one uninterrupted run.

#include <string>
#include <vector>

#include "feedback.h"
#include "picture.h"
#include "plugin_library.h"

namespace ostrivel {

struct AnimateJob {
    PictureRequest picture;  // an SVG of the (last) result, when its path is set
    std::string scenePath;
    std::string outDir;
    std::string pluginPath = PluginLibrary::defaultPath();
    int frames = 24;
    int first = 1;   // 1-based, inclusive
    int last = 0;    // 0: the last frame of the shot
    std::string device = "cpu";  // "opencl": the host's device slide
    Feedback feedback;
    // The command line as typed, for the command that finishes an interrupted shot; empty:
    // a plain "ostrivel animate" line is made up from the fields above.
    std::vector<std::string> commandLine;
    bool stopOnSignal = false;  // SIGINT/SIGTERM stop the shot between frames
};

// The profile curve at a frame: control points and knots blended linearly from the
// base curve (frame 1) to the driver (the last frame). Throws HostError when the two
// curves cannot be blended point by point.
CurveData curveAtFrame(const CurveData& base, const CurveData& driver, int frame, int frames);

// A frame's file: "frame_0001.obj" for frame 1 of a 24-frame shot; the number has the width
// of the shot's frame count, at least four digits, so names sort in frame order. Every
// writer and reader of frame files (animate, the farm's verification) names them here.
std::string frameFileName(int frame, int frameCount);

// 0 when every frame was written, 1 when the node failed at a frame (earlier frames stay
// written), 128 + the signal when SIGINT or SIGTERM stopped the shot between frames.
// Throws HostError for bad options, a refused scene or an unwritable folder.
int runAnimate(const AnimateJob& job);

}  // namespace ostrivel
