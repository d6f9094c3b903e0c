#pragma once
// Checks a farmed shot's frame files and writes its manifest.
#include <string>
#include <vector>

#include "shot_record.h"

namespace ostrivel {

struct FrameShape {
    size_t vertices = 0;
    size_t faces = 0;
};

// The frames (1-based, ascending) whose file is missing or incomplete: not a readable OBJ
// with the scene's vertex and face counts.
std::vector<int> missingFrames(const ShotFolder& folder, int frames, const FrameShape& shape);

// DIR/manifest.json: every frame's file (relative to DIR) and SHA-256, in frame order.
void writeManifest(const ShotFolder& folder, int frames);

// The frame file of a shot, relative to the shot folder.
std::string frameFilePath(int frame, int frames);

}  // namespace ostrivel
