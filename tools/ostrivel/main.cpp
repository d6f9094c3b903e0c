// ostrivel: runs the quelvarn deformer outside the animation package.
// Exit codes: 0 done, 1 the node reported a failure or a deformed point is not finite
// (nothing written), 2 bad usage or input (one error line on stderr; a refused command
// writes nothing), 130/143 a shot stopped by SIGINT/SIGTERM.

#include <cstdio>
#include <exception>
#include <limits>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "animate_job.h"
#include "attribute_table.h"
#include "bench_job.h"
#include "bind_job.h"
#include "check_job.h"
#include "deform_job.h"
#include "deformer_node.h"
#include "demo_job.h"
#include "devices_job.h"
#include "farm_job.h"
#include "finite_points.h"
#include "plugin_library.h"
#include "program_info.h"
#include "usage_errors.h"

namespace {

constexpr int kUsageError = 2;

std::unique_ptr<ostrivel::DeformerNode> makeNode(const std::string& plugin, const std::string& nodeName) {
    auto library = std::make_shared<ostrivel::PluginLibrary>(plugin);
    return std::make_unique<ostrivel::DeformerNode>(library, nodeName);
}

void addPluginOption(CLI::App& command, std::string& plugin) {
    command.add_option("--plugin", plugin, "deformer plug-in to load")->default_str(ostrivel::defaultPluginDisplay());
}

// -q/--quiet: no progress and no closing line; errors always print.
void addQuietOption(CLI::App& command, bool& quiet) {
    command.add_flag("-q,--quiet", quiet, "print no progress and no closing line (errors still print)");
}

void addDeviceOption(CLI::App& command, std::string& device) {
    command.add_option("--device", device, "where the slide runs: cpu, or opencl (the host's OpenCL device)")
        ->capture_default_str()
        ->check(CLI::IsMember({"cpu", "opencl"}));
}

void addPictureOptions(CLI::App& command, ostrivel::PictureRequest& picture, const char* what) {
    command.add_option("--svg", picture.path, std::string("write a picture of ") + what + " (FILE.svg)");
    command.add_option("--labels", picture.labels, "label points with a per-point map (e.g. umap) or 'index'")
        ->capture_default_str();
    command.add_option("--view", picture.view, "view the picture along x, y or z")
        ->capture_default_str()
        ->check(CLI::IsMember({"x", "y", "z"}));
}

// Every command's --help ends with examples.
void addExamples(CLI::App& command, const std::string& examples) { command.footer("Examples:\n" + examples); }

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"ostrivel: run the quelvarn surface-sliding deformer outside the animation package.\n"
                 "Scenes are JSON files (see scenes/README.md); meshes come and go as OBJ.",
                 "ostrivel"};
    app.require_subcommand(1);
    app.set_version_flag("--version", ostrivel::versionText, "print the version, build, kernel and plug-in, and exit");
    app.footer("'ostrivel help' is the node's own command list, not this one.\n"
               "Animation frames are named frame_0001.obj ...; shots of 10000 frames or more use as many digits\n"
               "as their frame count, so the names sort in frame order.\n"
               "Exit codes: 0 done, 1 the node reported a failure or a point came out not finite,\n"
               "2 bad usage or input, 130/143 interrupted.\n"
               "Run 'ostrivel COMMAND --help' for a command's options and examples.");

    std::string plugin = ostrivel::PluginLibrary::defaultPath();
    std::string nodeName = "quelvarn1";
    bool quiet = false;

    CLI::App* demo = app.add_subcommand("demo", "run the built-in eyelid scene and write meshes and a summary");
    ostrivel::DemoJob demoJob;
    demo->add_option("--out", demoJob.outDir, "folder for the scene, rest.obj and deformed.obj")->capture_default_str();
    demo->add_option("--evaluations", demoJob.evaluations, "cached evaluations to time")
        ->capture_default_str()
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));
    addPictureOptions(*demo, demoJob.picture, "the result (default: demo.svg in the output folder)");
    addPluginOption(*demo, demoJob.pluginPath);
    addDeviceOption(*demo, demoJob.device);
    addQuietOption(*demo, quiet);
    addExamples(*demo, "  ostrivel demo --out demo-output\n  ostrivel demo --svg eyelid.svg --labels umap --view y");

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
    addQuietOption(*deform, quiet);
    addExamples(*deform, "  ostrivel deform scenes/tiny/tiny.json --out result.json\n"
                         "  ostrivel deform scenes/eyelid/eyelid.json --out out/deformed.obj --svg out/eyelid.svg");

    CLI::App* bind = app.add_subcommand("bind", "bind the points once and write the scene with uparams/vparams");
    ostrivel::BindJob bindJob;
    bind->add_option("scene", bindJob.scenePath, "scene file (JSON)")->required();
    bind->add_option("--out", bindJob.outPath, "bound scene to write (BOUND.json)")->required();
    addPluginOption(*bind, bindJob.pluginPath);
    addQuietOption(*bind, quiet);
    addExamples(*bind, "  ostrivel bind scenes/eyelid/eyelid.json --out bound/eyelid.json");

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
    addQuietOption(*animate, quiet);
    addExamples(*animate, "  ostrivel animate scenes/eyelid/eyelid.json --frames 24 --out frames\n"
                          "  ostrivel animate scenes/eyelid/eyelid.json --frames 240 --first 121 --last 240 --out frames");

    CLI::App* bench = app.add_subcommand("bench", "time binding and the cached and refreshing evaluations of a scene");
    ostrivel::BenchJob benchJob;
    bench->add_option("scene", benchJob.scenePath, "scene file (JSON)")->required();
    bench->add_option("--evaluations", benchJob.evaluations, "timed evaluations of each kind (cached, refresh)")
        ->capture_default_str()
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));
    bench->add_option("--threads", benchJob.threads, "worker threads (default: every hardware thread)")
        ->check(CLI::Range(1, 4096));
    bench->add_flag("--reference", benchJob.reference, "time the plain per-point slide (the reference)");
    bench->add_flag("--json", benchJob.json, "print the figures as one JSON object");
    addPluginOption(*bench, benchJob.pluginPath);
    addDeviceOption(*bench, benchJob.device);
    addQuietOption(*bench, quiet);
    addExamples(*bench, "  python3 scripts/make_bench_scene.py 200000 bench-output/bench.json\n"
                        "  ostrivel bench bench-output/bench.json --evaluations 20 --threads 2 --json");

    CLI::App* devices = app.add_subcommand("devices", "list the OpenCL platforms and devices (--device opencl)");
    addExamples(*devices, "  ostrivel devices\n  OSTRIVEL_OPENCL_DEVICE=0:1 ostrivel deform scene.json --out r.json --device opencl");

    CLI::App* check = app.add_subcommand("check", "say what a scene holds and every problem in it; evaluates nothing");
    ostrivel::CheckJob checkJob;
    check->add_option("scene", checkJob.scenePath, "scene file (JSON)")->required();
    check->add_flag("--json", checkJob.json, "print what the scene holds and its problems as one JSON object");
    addPluginOption(*check, checkJob.pluginPath);
    addExamples(*check, "  ostrivel check scenes/eyelid/eyelid.json\n  ostrivel check scene.json --json");

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
    addExamples(*farm, "  ostrivel farm scenes/eyelid/eyelid.json --frames 48 --chunk 12 --out shot --wait\n"
                       "  ostrivel farm scenes/eyelid/eyelid.json --frames 48 --out shot --resume --wait");

    CLI::App* help = app.add_subcommand("help", "print the node's own command list (runs its help command)");
    addPluginOption(*help, plugin);
    help->add_option("--node", nodeName, "host node name")->capture_default_str();
    addExamples(*help, "  ostrivel help");
    CLI::App* attributes = app.add_subcommand("attributes", "print the node's 27 attribute declarations");
    addPluginOption(*attributes, plugin);
    addExamples(*attributes, "  ostrivel attributes");

    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {  // a bare call asks what there is
        std::cerr << app.help();
        return kUsageError;
    }
    if (const std::string unknown = ostrivel::unknownNameError(app, args); !unknown.empty()) {
        std::fprintf(stderr, "ostrivel: error: %s\n", unknown.c_str());
        return kUsageError;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
        const std::vector<CLI::App*> parsed = app.get_subcommands();
        const std::string command = parsed.empty() ? "" : parsed.front()->get_name() + ": ";
        std::fprintf(stderr, "ostrivel: error: %s%s\n", command.c_str(), error.what());
        return kUsageError;
    }

    try {
        deformJob.feedback.quiet = bindJob.feedback.quiet = animateJob.feedback.quiet = benchJob.feedback.quiet = quiet;
        if (*demo) {
            std::ostream nowhere(nullptr);
            return ostrivel::runDemo(demoJob, quiet ? nowhere : std::cout);
        }
        if (*deform) return ostrivel::runDeform(deformJob);
        if (*bind) return ostrivel::runBind(bindJob);
        if (*bench) return ostrivel::runBench(benchJob, std::cout);
        if (*check) return ostrivel::runCheck(checkJob, std::cout, std::cerr);
        if (*devices) return ostrivel::listDevices(std::cout);
        if (*animate) {
            animateJob.commandLine.assign(argv, argv + argc);
            animateJob.stopOnSignal = true;
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
