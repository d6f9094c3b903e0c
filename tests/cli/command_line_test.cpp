// The built ostrivel as a user meets it: exit codes, the exact lines it prints, what a run
// leaves in its folder (nothing when refused), inputs untouched, interrupts, frame names.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "read_text.h"

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

struct Outcome {
    int exit = -1;
    std::string out, err;
};

// Runs ostrivel in `folder` with stdout and stderr captured; `whileRunning` gets its pid.
Outcome runOstrivel(const fs::path& folder, const std::vector<std::string>& args,
                    const std::function<void(pid_t)>& whileRunning = {}) {
    const fs::path streams = folder.parent_path() / (folder.filename().string() + ".streams");
    fs::create_directories(streams);
    const std::string out = (streams / "out").string(), err = (streams / "err").string();
    std::vector<char*> argv{const_cast<char*>(OSTRIVEL_PROGRAM)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (whileRunning) whileRunning(pid);
    int status = 0;
    waitpid(pid, &status, 0);
    Outcome outcome;
    outcome.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.out = readText(out);
    outcome.err = readText(err);
    fs::remove_all(streams);
    return outcome;
}

// Every path under `folder`, relative to it, folders included.
std::set<std::string> contents(const fs::path& folder) {
    std::set<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        found.insert(fs::relative(entry.path(), folder).string());
    return found;
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::path(WORK_DIR) / test->name();
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(root);
    }
    // A fresh folder holding scene.json (the five-point plane, edited) and a plain file.
    fs::path caseFolder(const std::string& name, const std::function<void(Json&)>& edit) const {
        const fs::path folder = root / name;
        fs::create_directories(folder);
        Json scene = Json::parse(readText(fs::path(SCENE_DATA_DIR) / "plane.json"));
        if (edit) edit(scene);
        std::ofstream(folder / "scene.json") << scene.dump(1);
        std::ofstream(folder / "plain-file") << "not a folder\n";
        return folder;
    }
    fs::path root;
};

const std::string kCountFix = " (give one per point, or a sparse map {\"indices\": [...], \"values\": [...]})\n";
const std::string kBound = "// U/V params have been reset\n";  // the node's own word after binding

struct Case {
    std::string name;
    std::function<void(Json&)> edit;  // applied to the plane scene first
    std::vector<std::string> args;
    int exit;
    std::string err;               // exact; "~" starts a pattern instead
    std::string out;               // pattern
    std::set<std::string> files;   // what the run leaves besides its inputs
};

bool matches(const std::string& text, const std::string& expected) {
    if (!expected.empty() && expected[0] == '~') return std::regex_match(text, std::regex(expected.substr(1)));
    return text == expected;
}

TEST_F(CommandLine, RunsRefusalsAndClosingLines) {
    const auto weights = [](Json& s) { s["weights"] = {1, 1, 1}; };
    const auto longMap = [](Json& s) { s["attributes"]["umap"] = {1, 1, 1, 1, 1, 1}; };
    const auto nullSurface = [](Json& s) { s["surface"] = nullptr; };
    const std::string perEvaluation = "[0-9.]+ ms per evaluation\n";
    const std::vector<Case> cases = {
        // Per-point lists sized for another mesh: the scene reader every command shares, and check.
        {"map_bind_quiet_still_errs", longMap, {"bind", "scene.json", "--out", "b.json", "--quiet"}, 2,
         "ostrivel: error: scene.json: attributes.umap has 6 values for 5 points" + kCountFix, "", {}},
        {"weights_check", weights, {"check", "scene.json"}, 2,
         "ostrivel: error: scene.json: weights has 3 values for 5 points" + kCountFix, "", {}},
        // Errors that point to the fix.
        {"unknown_command", {}, {"deforn", "scene.json"}, 2,
         "ostrivel: error: unknown command 'deforn'; did you mean 'deform'?\n", "", {}},
        {"unknown_option", {}, {"deform", "scene.json", "--ouput", "r.json"}, 2,
         "ostrivel: error: deform: unknown option '--ouput'; did you mean '--out'?\n", "", {}},
        {"shortened_option", {}, {"deform", "scene.json", "--rep", "3", "--out", "r.json"}, 2,
         "ostrivel: error: deform: unknown option '--rep'; did you mean '--repeat'?\n", "", {}},
        {"nothing_near", {}, {"frobnicate"}, 2,
         "ostrivel: error: unknown command 'frobnicate'; run 'ostrivel --help' for the command list\n", "", {}},
        {"bare", {}, {}, 2, "~[\\s\\S]*\nUsage: ostrivel \\[OPTIONS\\] SUBCOMMAND\n[\\s\\S]*\nSubcommands:\n  demo [\\s\\S]*'ostrivel help' "
                            "is the node's own command list[\\s\\S]*", "", {}},
        {"version", {}, {"--version"}, 0, "",
         "ostrivel [0-9]+\\.[0-9]+\\.[0-9]+ \\([A-Za-z]+ build\\)\ncurve kernel: the (sse2|sse41|avx) build, for this "
         "processor's [^\n]+\nplug-in: /[^\n]*/quelvarn_v005_2023\\.so\n", {}},
        {"plugin_default_shown_relative", {}, {"deform", "--help"}, 0, "",
         "[\\s\\S]*\n  --plugin TEXT=<ostrivel's folder>/[^/\n][^\n]*quelvarn_v005_2023\\.so\n[\\s\\S]*", {}},
        // Outputs checked before any work.
        {"out_extension", {}, {"deform", "scene.json", "--out", "r.xyz"}, 2,
         "ostrivel: error: --out r.xyz: the extension must be .json or .obj\n", "", {}},
        {"bind_out_extension", {}, {"bind", "scene.json", "--out", "bound.obj"}, 2,
         "ostrivel: error: --out bound.obj: the extension must be .json\n", "", {}},
        {"svg_extension", {}, {"animate", "scene.json", "--frames", "2", "--out", "f", "--svg", "f.png"}, 2,
         "ostrivel: error: --svg f.png: the extension must be .svg\n", "", {}},
        {"unwritable_frames", {}, {"animate", "scene.json", "--frames", "2", "--out", "plain-file/f"}, 2,
         "ostrivel: error: cannot create folder plain-file/f: Not a directory\n", "", {}},
        {"output_is_input", {}, {"deform", "scene.json", "--out", "./scene.json"}, 2,
         "ostrivel: error: refusing to write ./scene.json: it is the input scene.json\n", "", {}},
        {"deform_picture", {}, {"deform", "scene.json", "--out", "r.json", "--svg", "picture.svg", "--labels", "umap",
                                "--view", "y"}, 0, kBound,
         "wrote r.json: 5 points, 5 moved, [0-9.]+ ms per evaluation; picture.svg\n", {"r.json", "picture.svg"}},
        // Folders made the same way for every command, and one closing line each.
        {"deform_folders", {}, {"deform", "scene.json", "--out", "a/b/r.obj"}, 0, kBound,
         "wrote a/b/r.obj: 5 points, 5 moved, " + perEvaluation, {"a", "a/b", "a/b/r.obj"}},
        {"bind_folders", {}, {"bind", "scene.json", "--out", "b/bound.json"}, 0, kBound,
         "wrote b/bound.json: 5 points bound to the surface\n", {"b", "b/bound.json"}},
        {"animate_folders", {}, {"animate", "scene.json", "--frames", "3", "--out", "s/f", "--svg", "p/last.svg"}, 0,
         kBound, "wrote s/f/frame_0001.obj to s/f/frame_0003.obj: 3 frames of 5 points, [0-9.]+ ms per frame, "
                 "and p/last.svg\n",
         {"s", "s/f", "s/f/frame_0001.obj", "s/f/frame_0002.obj", "s/f/frame_0003.obj", "p", "p/last.svg"}},
        {"bench_json", {}, {"bench", "scene.json", "--evaluations", "2", "--json"}, 0, "",
         "\\{\"node\":\"quelvarn1\",\"points\":5,[^\n]*\"evaluations\":2,[^\n]*\\}\n", {}},
        // Frame names sort (a chunk at the end of a 10,001-frame shot); -q prints nothing.
        {"frame_names", {}, {"animate", "scene.json", "--frames", "10001", "--first", "9999", "--out", "f", "-q"}, 0,
         kBound, "", {"f", "f/frame_09999.obj", "f/frame_10000.obj", "f/frame_10001.obj"}},
        // What a scene holds, evaluating nothing.
        {"check", {}, {"check", "scene.json"}, 0, "",
         "scene.json: node quelvarn1\n"
         "  points       5 \\(listed inline\\)\n"
         "  surface      degree 3 x 3, 4 x 4 control points, knot domain u \\[0, 1\\], v \\[0, 1\\]\n"
         "  surfaceBase  the same as surface\n"
         "  curve        degree 3, 4 control points, knot domain \\[0, 1\\]\n"
         "  curveBase    degree 3, 4 control points, knot domain \\[0, 1\\]\n"
         "  weights      1.0 per point\n"
         "  envelope     1, cacheAttributes true\n"
         "  attributes   lr_factor 0.3, paramType U, slidingMethod vector, ud_factor 0.5\n"
         "  maps         pushMap plain list of 5\n"
         "  bound        no \\(every run binds the points first\\)\n"
         "  problems     none\n", {}},
        {"check_json_problem", nullSurface, {"check", "scene.json", "--json"}, 2,
         "ostrivel: error: scene.json: surface: null, there is no surface to bind the points to\n",
         "\\{\"scene\":\"scene.json\",\"node\":\"quelvarn1\",\"points\":5,[^\n]*\"surface\":null,[^\n]*"
         "\"bound\":false,\"problems\":\\[\"scene.json: surface: null, there is no surface to bind the points to\"\\]\\}\n",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = caseFolder(c.name, c.edit);
        const std::set<std::string> inputs = contents(folder);
        const std::string scene = readText(folder / "scene.json");
        const Outcome outcome = runOstrivel(folder, c.args);
        EXPECT_EQ(outcome.exit, c.exit) << outcome.err;
        EXPECT_TRUE(matches(outcome.err, c.err)) << outcome.err;
        EXPECT_TRUE(std::regex_match(outcome.out, std::regex(c.out))) << outcome.out;
        std::set<std::string> left = contents(folder);
        for (const std::string& input : inputs) left.erase(input);
        EXPECT_EQ(left, c.files);
        EXPECT_EQ(readText(folder / "scene.json"), scene);
    }
}

TEST_F(CommandLine, AnInterruptedShotStopsBetweenFramesAndSaysHowToFinish) {
    for (const auto& [signal, name, exit] : {std::tuple{SIGINT, "SIGINT", 130}, std::tuple{SIGTERM, "SIGTERM", 143}}) {
        SCOPED_TRACE(name);
        const fs::path folder = caseFolder(name, {});
        const Outcome outcome =
            runOstrivel(folder, {"animate", "scene.json", "--frames", "100000", "--out", "f", "--last", "99999"},
                        [&, signal = signal](pid_t pid) {
                            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
                            while (!fs::exists(folder / "f/frame_000002.obj") &&
                                   std::chrono::steady_clock::now() < deadline)
                                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                            kill(pid, signal);
                        });
        EXPECT_EQ(outcome.exit, exit);
        std::smatch found;
        ASSERT_TRUE(std::regex_match(outcome.err, found,
                                     std::regex(kBound + "animate: stopped by " + name +
                                                " after frame ([0-9]+) \\(frames 1 to \\1 are written\\); to finish "
                                                "the shot: (.*) animate scene.json --frames 100000 --out f "
                                                "--first ([0-9]+) --last 99999\n")))
            << outcome.err;
        const int last = std::stoi(found[1]);
        EXPECT_EQ(found[2], OSTRIVEL_PROGRAM);
        EXPECT_EQ(std::stoi(found[3]), last + 1);
        std::set<std::string> expected = {"f"};
        for (int frame = 1; frame <= last; ++frame) {
            char file[32];
            std::snprintf(file, sizeof file, "f/frame_%06d.obj", frame);
            expected.insert(file);
        }
        std::set<std::string> left = contents(folder);
        left.erase("scene.json");
        left.erase("plain-file");
        EXPECT_EQ(left, expected);  // whole frames only, no partial file
    }
}

}  // namespace
