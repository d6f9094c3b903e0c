#include "animate_job.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "interrupt.h"
#include "obj_mesh.h"
#include "output_paths.h"
#include "scene_run.h"

namespace ostrivel {

namespace {

void checkFrames(const AnimateJob& job, int last) {
    if (job.frames < 1) throw HostError("--frames must be at least 1, got " + std::to_string(job.frames));
    if (job.first < 1 || job.first > last || last > job.frames) {
        throw HostError("frame range " + std::to_string(job.first) + " to " + std::to_string(last) +
                        " is not within 1 to " + std::to_string(job.frames));
    }
}

std::vector<std::string> plainCommandLine(const AnimateJob& job) {
    return {"ostrivel", "animate", job.scenePath, "--frames", std::to_string(job.frames), "--out", job.outDir};
}

// One line: how far the shot got and the command that finishes it.
int reportStop(const AnimateJob& job, int signal, int lastWritten, int last) {
    const std::vector<std::string> typed = job.commandLine.empty() ? plainCommandLine(job) : job.commandLine;
    const std::string done = lastWritten < job.first
                                 ? "before any frame was written"
                                 : "after frame " + std::to_string(lastWritten) + " (frames " + std::to_string(job.first) +
                                       " to " + std::to_string(lastWritten) + " are written)";
    std::fprintf(stderr, "animate: stopped by %s %s; to finish the shot: %s\n", StopOnSignal::name(signal).c_str(),
                 done.c_str(), commandWithRange(typed, lastWritten + 1, last).c_str());
    return 128 + signal;
}

}  // namespace

CurveData curveAtFrame(const CurveData& base, const CurveData& driver, int frame, int frames) {
    if (base.cvs.size() != driver.cvs.size() || base.knots.size() != driver.knots.size() ||
        base.degree != driver.degree) {
        throw HostError("curve and curveBase must have the same degree, control point count and knot count to be "
                        "blended (curveBase: degree " + std::to_string(base.degree) + ", " +
                        std::to_string(base.cvs.size()) + " cvs; curve: degree " + std::to_string(driver.degree) +
                        ", " + std::to_string(driver.cvs.size()) + " cvs)");
    }
    // (1 - a) * base + a * driver is exactly the base at a = 0 and exactly the driver at a = 1.
    const double a = frames == 1 ? 1.0 : static_cast<double>(frame - 1) / static_cast<double>(frames - 1);
    CurveData blended = driver;
    for (size_t k = 0; k < blended.cvs.size(); ++k) {
        blended.cvs[k].x = (1.0 - a) * base.cvs[k].x + a * driver.cvs[k].x;
        blended.cvs[k].y = (1.0 - a) * base.cvs[k].y + a * driver.cvs[k].y;
        blended.cvs[k].z = (1.0 - a) * base.cvs[k].z + a * driver.cvs[k].z;
    }
    for (size_t k = 0; k < blended.knots.size(); ++k) {
        blended.knots[k] = static_cast<float>((1.0 - a) * base.knots[k] + a * driver.knots[k]);
    }
    return blended;
}

std::string frameFileName(int frame, int frameCount) {
    const int width = std::max<int>(4, static_cast<int>(std::to_string(frameCount).size()));
    char name[48];
    std::snprintf(name, sizeof name, "frame_%0*d.obj", width, frame);
    return name;
}

int runAnimate(const AnimateJob& job) {
    namespace fs = std::filesystem;
    const int last = job.last == 0 ? job.frames : job.last;
    checkFrames(job, last);
    if (!job.picture.path.empty()) requireExtension("--svg", job.picture.path, {".svg"});
    SceneRun run(job.scenePath, job.pluginPath);
    run.selectDevice(job.device);
    checkPictureRequest(run.node().declarations(), job.picture);
    curveAtFrame(run.scene().curveBase, run.scene().curve, job.first, job.frames);  // refuse before any output
    const auto framePath = [&](int frame) { return (fs::path(job.outDir) / frameFileName(frame, job.frames)).string(); };
    for (int frame = job.first; frame <= last; ++frame) run.refuseOverwritingInputs(framePath(frame));
    if (!job.picture.path.empty()) run.refuseOverwritingInputs(job.picture.path);
    prepareOutputFolder(job.outDir);
    if (!job.picture.path.empty()) prepareOutputFile(job.picture.path);

    std::optional<StopOnSignal> signals;
    if (job.stopOnSignal) signals.emplace();
    const auto stopped = [&] { return signals ? signals->received() : 0; };
    if (run.scene().needsBinding()) {
        Progress binding(job.feedback, "binding " + std::to_string(run.scene().points.size()) + " points");
        if (run.bind() != 0) return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    int written = job.first - 1, status = 0, signal = 0;
    {
        Progress progress(job.feedback, "animate: frames " + std::to_string(job.first) + " to " + std::to_string(last),
                          last - job.first + 1);
        for (int frame = job.first; frame <= last && status == 0 && !(signal = stopped()); ++frame) {
            run.node().setCurve("curve", curveAtFrame(run.scene().curveBase, run.scene().curve, frame, job.frames));
            status = run.evaluate();
            if (status != 0) break;
            writeObjMesh(framePath(frame), run.record().points, run.scene().meshFaces,
                         "frame " + std::to_string(frame) + " of " + std::to_string(job.frames));
            written = frame;
            progress.set(written - job.first + 1);
        }
    }  // the progress line is gone before anything else is printed
    if (signal != 0 && written < last) return reportStop(job, signal, written, last);
    if (status != 0) {
        if (written >= job.first)
            job.feedback.closing("wrote " + framePath(job.first) + " to " + framePath(written) +
                                 " before the node failed at frame " + std::to_string(written + 1));
        return 1;
    }
    writeRunPicture(run, job.picture,
                    run.scene().nodeName + ": frame " + std::to_string(last) + " of " + std::to_string(job.frames));
    const double perFrame =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
        (last - job.first + 1);
    job.feedback.closing("wrote " + framePath(job.first) + (last > job.first ? " to " + framePath(last) : "") + ": " +
                         std::to_string(last - job.first + 1) + " frames of " +
                         std::to_string(run.scene().points.size()) + " points, " + formatMilliseconds(perFrame) +
                         " per frame" + (job.picture.path.empty() ? "" : ", and " + job.picture.path));
    return 0;
}

}  // namespace ostrivel
