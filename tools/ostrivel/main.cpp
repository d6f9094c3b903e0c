// ostrivel: runs deformer plug-ins outside the animation package.
// Exit codes: 0 done, 1 the node reported a failure, 2 bad usage or input (a refused scene
// writes no result).

#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "attribute_table.h"
#include "deform_job.h"
#include "deformer_node.h"
#include "plugin_library.h"

namespace {

constexpr int kUsageError = 2;

struct CommonOptions {
    std::string plugin = ostrivel::PluginLibrary::defaultPath();
    std::string nodeName = "quelvarn1";
};

std::unique_ptr<ostrivel::DeformerNode> makeNode(const CommonOptions& options) {
    auto library = std::make_shared<ostrivel::PluginLibrary>(options.plugin);
    return std::make_unique<ostrivel::DeformerNode>(library, options.nodeName);
}

void addCommonOptions(CLI::App& command, CommonOptions& options) {
    command.add_option("--plugin", options.plugin, "deformer plug-in to load")->capture_default_str();
    command.add_option("--node", options.nodeName, "host node name")->capture_default_str();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"ostrivel: run the quelvarn surface-sliding deformer outside the animation package"};
    app.require_subcommand(1);
    CommonOptions options;

    CLI::App* help = app.add_subcommand("help", "print the node's command list (runs its help command)");
    addCommonOptions(*help, options);
    CLI::App* attributes = app.add_subcommand("attributes", "print the node's attribute declarations as a table");
    addCommonOptions(*attributes, options);
    CLI::App* deform = app.add_subcommand("deform", "deform a scene's points and write the result as JSON");
    ostrivel::DeformJob job;
    deform->add_option("scene", job.scenePath, "scene file (JSON)")->required();
    deform->add_option("--out", job.outPath, "result file to write (JSON)")->required();
    deform->add_option("--repeat", job.repeat, "evaluations of the same points; stops at the first failure")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    deform->add_option("--plugin", job.pluginPath, "deformer plug-in to load")->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : kUsageError;
    }

    try {
        if (*help) {
            std::cout << makeNode(options)->help() << "\n";
        } else if (*attributes) {
            std::cout << ostrivel::formatAttributeTable(makeNode(options)->declarations());
        } else if (*deform) {
            return ostrivel::runDeform(job);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ostrivel: error: %s\n", error.what());
        return kUsageError;
    }
    return 0;
}
