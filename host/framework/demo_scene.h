#pragma once
// The built-in demo: an upper eyelid sliding over an eyeball-like surface while a blink
// profile curve closes it. The files are those of scenes/eyelid, embedded at build time.

namespace ostrivel {

extern const char kDemoSceneJson[];  // eyelid.json; its points name "eyelid.obj"
extern const char kDemoSceneObj[];   // eyelid.obj

}  // namespace ostrivel
