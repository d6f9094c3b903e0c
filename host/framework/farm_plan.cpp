#include "farm_plan.h"

#include <algorithm>

#include "plugin_library.h"

namespace ostrivel {

std::vector<Chunk> planChunks(int frames, int chunkSize) {
    std::vector<Chunk> chunks;
    for (int first = 1, index = 1; first <= frames; first += chunkSize, ++index) {
        chunks.push_back({index, first, std::min(frames, first + chunkSize - 1)});
    }
    return chunks;
}

int chunkOfFrame(int frame, int chunkSize) { return (frame - 1) / chunkSize + 1; }

std::string formatRanges(const std::vector<int>& numbers) {
    std::vector<int> sorted = numbers;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::string text;
    for (size_t k = 0; k < sorted.size();) {
        size_t end = k;
        while (end + 1 < sorted.size() && sorted[end + 1] == sorted[end] + 1) ++end;
        if (!text.empty()) text += ", ";
        text += std::to_string(sorted[k]);
        if (end > k) text += "-" + std::to_string(sorted[end]);
        k = end + 1;
    }
    return text;
}

std::string arrayList(const std::vector<int>& numbers) {
    std::string text = formatRanges(numbers);
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

std::string chunkLogName(int chunk, const std::string& jobId) {
    return "chunk_" + std::to_string(chunk) + "-job_" + jobId + ".log";
}

void checkScriptablePath(const std::string& what, const std::string& path) {
    const auto bad = path.find_first_of(" \t\n\r\v\f'\"\\$`%");
    if (bad != std::string::npos) {
        throw HostError(what + " " + path + ": a farmed shot's paths must not contain whitespace, quotes, "
                        "backslashes, '$', '`' or '%' (they go into a batch script and Slurm log names)");
    }
}

std::string batchScript(const ShotScript& shot) {
    const int chunks = (shot.frames + shot.chunkSize - 1) / shot.chunkSize;
    const std::string frames = std::to_string(shot.frames);
    const std::string size = std::to_string(shot.chunkSize);
    std::string script = "#!/bin/bash\n";
    script += "# ostrivel farm: " + frames + " frames in " + std::to_string(chunks) + " chunks of " + size +
              "; task i runs frames (i-1)*" + size + "+1 to min(i*" + size + ", " + frames + ").\n";
    script += "#SBATCH --job-name=" + shot.jobName + "\n";
    script += "#SBATCH --array=1-" + std::to_string(chunks) + "\n";
    script += "#SBATCH --ntasks=1\n";
    script += "#SBATCH --output=" + shot.logsDir + "/chunk_%a-job_%A.log\n";  // as chunkLogName
    if (!shot.partition.empty()) script += "#SBATCH --partition=" + shot.partition + "\n";
    if (shot.timeLimitMinutes > 0) script += "#SBATCH --time=" + std::to_string(shot.timeLimitMinutes) + "\n";
    script += "set -eu\n";
    script += "chunk=\"$SLURM_ARRAY_TASK_ID\"\n";
    script += "first=$(( (chunk - 1) * " + size + " + 1 ))\n";
    script += "last=$(( chunk * " + size + " < " + frames + " ? chunk * " + size + " : " + frames + " ))\n";
    script += "echo \"chunk $chunk: frames $first to $last on $(hostname)\"\n";
    script += "exec " + shot.binary + " animate " + shot.scene + " --frames " + frames +
              " --first \"$first\" --last \"$last\" --out " + shot.framesDir + " --plugin " + shot.plugin + "\n";
    return script;
}

}  // namespace ostrivel
