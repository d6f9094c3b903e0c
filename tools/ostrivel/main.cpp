// ostrivel: runs the quelvarn deformer outside the animation package.
// Exit codes: 0 done, 1 the node reported a failure or a deformed point is not finite
// (nothing written), 2 bad usage or input (one error line on stderr; a refused scene
// writes nothing).

#include <cstdio>
#include <exception>
#include <limits>
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "animate_job.h"
#include "attribute_table.h"
#include "bench_job.h"
#include "bind_job.h"
#include "deform_job.h"
#include "deformer_node.h"
#include "demo_job.h"
#include "devices_job.h"
#include "farm_job.h"
#include "finite_points.h"
#include "plugin_library.h"

namespace {

constexpr int kUsageError = 2;

std::unique_ptr<ostrivel::DeformerNode> makeNode(const std::string& plugin, const std::string& nodeName) {
    auto library = std::make_shared<ostrivel::PluginLibrary>(plugin);
    return std::make_unique<ostrivel::DeformerNode>(library, nodeName);
}

void addPluginOption(CLI::App& command, std::string& plugin) {
    command.add_option("--plugin", plugin, "deformer plug-in to load")->capture_default_str();
}

void addDeviceOption(CLI::App& command, std::string& device) {
    command.add_option("--device", device, "where the slide runs: cpu, or opencl (the host's OpenCL device)")
        ->capture_default_str()
        ->check(CLI::IsMember({"cpu", "opencl"}));
}

void addPictureOptions(CLI::App& command, ostrivel::PictureRequest& picture, const char* what) {
    command.add_option("--svg", picture.path, std::string("write a picture of ") + what + " (SVG)");
    command.add_option("--labels", picture.labels, "label points with a per-point map (e.g. umap) or 'index'")
        ->capture_default_str();
    command.add_option("--view", picture.view, "view the picture along x, y or z")
        ->capture_default_str()
        ->check(CLI::IsMember({"x", "y", "z"}));
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"ostrivel: run the quelvarn surface-sliding deformer outside the animation package.\n"
                 "Scenes are JSON files (see scenes/README.md); meshes come and go as OBJ."};
    app.require_subcommand(1);
    app.footer("Exit codes: 0 done, 1 the node reported a failure or a point came out not finite,\n"
               "2 bad usage or input.\n"
               "Run 'ostrivel COMMAND --help' for a command's options.");

    std::string plugin = ostrivel::PluginLibrary::defaultPath();
    std::string nodeName = "quelvarn1";

    CLI::App* demo = app.add_subcommand("demo", "run the built-in eyelid scene and write meshes and a summary");
    ostrivel::DemoJob demoJob;
    demo->add_option("--out", demoJob.outDir, "folder for the scene, rest.obj and deformed.obj")->capture_default_str();
    demo->add_option("--evaluations", demoJob.evaluations, "cached evaluations to time")
        ->capture_default_str()
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));
    addPictureOptions(*demo, demoJob.picture, "the result (default: demo.svg in the output folder)");
    addPluginOption(*demo, demoJob.pluginPath);
    addDeviceOption(*demo, demoJob.device);

    CLI::App* deform = app.add_subcommand("deform", "deform a scene's points; write a JSON result or an OBJ mesh");
    ostrivel::DeformJob deformJob;
    deform->add_option("scene", deformJob.scenePath, "scene file (JSON)")->required();
    deform->add_option("--out", deformJob.outPath, "result: RESULT.json, or MESH.obj for the deformed mesh")
        ->required();
    deform->add_option("--repeat", deformJob.repeat, "evaluations on the same node (caches kept between them)")
        ->capture_default_str()
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));
    deform->add_flag("--reference", deformJob.reference, "use the plain per-point slide (the reference for the wide one)");
    addPictureOptions(*deform, deformJob.picture, "the rest and deformed shapes");
    addPluginOption(*deform, deformJob.pluginPath);
    addDeviceOption(*deform, deformJob.device);

    CLI::App* bind = app.add_subcommand("bind", "bind the points once and write the scene with uparams/vparams");
    ostrivel::BindJob bindJob;
    bind->add_option("scene", bindJob.scenePath, "scene file (JSON)")->required();
    bind->add_option("--out", bindJob.outPath, "bound scene to write (JSON)")->required();
    addPluginOption(*bind, bindJob.pluginPath);

    CLI::App* animate = app.add_subcommand(
        "animate", "evaluate a shot while the curve moves from curveBase to curve; one OBJ per frame");
    ostrivel::AnimateJob animateJob;
    animate->add_option("scene", animateJob.scenePath, "scene file (JSON)")->required();
    animate->add_option("--out", animateJob.outDir, "folder for frame_0001.obj, frame_0002.obj, ...")->required();
    animate->add_option("--frames", animateJob.frames, "frames in the shot (frame 1 is curveBase, the last is curve)")
        ->capture_default_str()
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));
    animate->add_option("--first", animateJob.first, "first frame to evaluate (for split jobs)")->capture_default_str();
    animate->add_option("--last", animateJob.last, "last frame to evaluate (default: the shot's last)");
    addPictureOptions(*animate, animateJob.picture, "the last frame evaluated");
    addPluginOption(*animate, animateJob.pluginPath);
    addDeviceOption(*animate, animateJob.device);

    CLI::App* bench = app.add_subcommand("bench", "time binding and the cached and refreshing evaluations of a scene");
    ostrivel::BenchJob benchJob;
    bench->add_option("scene", benchJob.scenePath, "scene file (JSON)")->required();
    bench->add_option("--evaluations", benchJob.evaluations, "timed evaluations of each kind (cached, refresh)")
        ->capture_default_str()
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));
    bench->add_option("--threads", benchJob.threads, "worker threads (default: every hardware thread)")
        ->check(CLI::Range(1, 4096));
    bench->add_flag("--reference", benchJob.reference, "time the plain per-point slide (the reference)");
    addPluginOption(*bench, benchJob.pluginPath);
    addDeviceOption(*bench, benchJob.device);
    CLI::App* devices = app.add_subcommand("devices", "list the OpenCL platforms and devices (--device opencl)");

    CLI::App* farm = app.add_subcommand(
        "farm", "run a shot's frames as a Slurm job array of animate chunks; verify and resume them");
    ostrivel::FarmJob farmJob;
    farm->add_option("scene", farmJob.scenePath, "scene file (JSON); frozen into the output folder")->required();
    farm->add_option("--frames", farmJob.frames, "frames in the shot")->required()->check(CLI::PositiveNumber);
    farm->add_option("--out", farmJob.outDir, "folder for the frozen shot, frames/, logs/ and manifest.json")
        ->required();
    farm->add_option("--chunk", farmJob.chunkSize, "frames per array task (default 10, or the shot's on --resume)")
        ->check(CLI::PositiveNumber);
    farm->add_option("--partition", farmJob.partition, "Slurm partition (default: the cluster's default)");
    farm->add_option("--time-limit", farmJob.timeLimitMinutes, "minutes each task may run")->check(CLI::PositiveNumber);
    farm->add_flag("--dry-run", farmJob.dryRun, "print the job script; write and submit nothing");
    farm->add_flag("--wait", farmJob.wait, "wait for the array, verify every frame and write manifest.json");
    farm->add_flag("--resume", farmJob.resume, "submit only the chunks of the shot in --out that have frames missing");
    addPluginOption(*farm, farmJob.pluginPath);

    CLI::App* help = app.add_subcommand("help", "print the node's command list (runs its help command)");
    addPluginOption(*help, plugin);
    help->add_option("--node", nodeName, "host node name")->capture_default_str();
    CLI::App* attributes = app.add_subcommand("attributes", "print the node's 27 attribute declarations");
    addPluginOption(*attributes, plugin);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : kUsageError;
    }

    try {
        if (*demo) return ostrivel::runDemo(demoJob, std::cout);
        if (*deform) return ostrivel::runDeform(deformJob);
        if (*bind) return ostrivel::runBind(bindJob);
        if (*bench) return ostrivel::runBench(benchJob, std::cout);
        if (*devices) return ostrivel::listDevices(std::cout);
        if (*animate) {
            animateJob.progress = true;
            return ostrivel::runAnimate(animateJob);
        }
        if (*farm) {
            farmJob.progress = true;
            return ostrivel::runFarm(farmJob, std::cout);
        }
        if (*help) std::cout << makeNode(plugin, nodeName)->help() << "\n";
        if (*attributes) std::cout << ostrivel::formatAttributeTable(makeNode(plugin, nodeName)->declarations());
    } catch (const ostrivel::NonFiniteOutput& error) {  // the run itself failed: exit 1, nothing written
        std::fprintf(stderr, "ostrivel: error: %s\n", error.what());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ostrivel: error: %s\n", error.what());
        return kUsageError;
    }
    return 0;
}
