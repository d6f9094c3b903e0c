#pragma once
// The picture of a run: rest and deformed meshes, surface frames at a sample of bound
// points, the two profile curves in a panel of their own below the meshes, and optional
// per-point labels, drawn through the node's debug drawing routines and rendered as SVG.

#include <string>
#include <vector>

#include "scene_run.h"
#include "svg_renderer.h"

namespace ostrivel {

struct PictureOptions {
    ViewAxis axis = ViewAxis::Z;
    std::string labels;  // "" none, "index", or a per-point attribute's short name (e.g. "umap")
    std::string title;
};

// Draws the run as it stands (its record's points are the deformed shape; the curve is
// whatever the node's "curve" plug holds now). Throws HostError for an unknown label map.
std::string renderRunPicture(SceneRun& run, const PictureOptions& options);

// An SVG to write after a run: nothing when the path is empty.
struct PictureRequest {
    std::string path;
    std::string labels;
    std::string view = "z";
};

// Refuses a bad view or label name before any work is done; throws HostError.
void checkPictureRequest(const std::vector<AttributeSpec>& declarations, const PictureRequest& request);

// Renders and writes the picture when one was asked for (temporary name, then rename).
void writeRunPicture(SceneRun& run, const PictureRequest& request, const std::string& title);

// Parses "x", "y" or "z"; throws HostError otherwise.
ViewAxis parseViewAxis(const std::string& name);

}  // namespace ostrivel
