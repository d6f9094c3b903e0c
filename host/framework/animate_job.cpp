#include "animate_job.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "atomic_file.h"
#include "obj_mesh.h"
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

void drawProgress(int done, int total) {
    constexpr int kWidth = 30;
    const int filled = total > 0 ? done * kWidth / total : kWidth;
    std::fprintf(stderr, "\ranimate [%.*s%.*s] %d/%d frames", filled, "##############################",
                 kWidth - filled, "------------------------------", done, total);
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
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
    const int width = std::max<int>(4, std::to_string(frameCount).size());
    char name[48];
    std::snprintf(name, sizeof name, "frame_%0*d.obj", width, frame);
    return name;
}

int runAnimate(const AnimateJob& job) {
    const int last = job.last == 0 ? job.frames : job.last;
    checkFrames(job, last);
    SceneRun run(job.scenePath, job.pluginPath);
    run.selectDevice(job.device);
    checkPictureRequest(run.node().declarations(), job.picture);
    curveAtFrame(run.scene().curveBase, run.scene().curve, job.first, job.frames);  // refuse before any output
    createOutputFolder(job.outDir);
    if (run.bindIfNeeded() != 0) return 1;

    const bool showProgress = job.progress && ::isatty(STDERR_FILENO);
    const int total = last - job.first + 1;
    for (int frame = job.first; frame <= last; ++frame) {
        run.node().setCurve("curve", curveAtFrame(run.scene().curveBase, run.scene().curve, frame, job.frames));
        if (run.evaluate() != 0) {
            if (showProgress) std::fputc('\n', stderr);
            return 1;
        }
        const std::string path = (std::filesystem::path(job.outDir) / frameFileName(frame, job.frames)).string();
        run.refuseOverwritingInputs(path);
        writeObjMesh(path, run.record().points, run.scene().meshFaces,
                     "frame " + std::to_string(frame) + " of " + std::to_string(job.frames));
        if (showProgress) drawProgress(frame - job.first + 1, total);
    }
    writeRunPicture(run, job.picture,
                    run.scene().nodeName + ": frame " + std::to_string(last) + " of " + std::to_string(job.frames));
    return 0;
}

}  // namespace ostrivel
