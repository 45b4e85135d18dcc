// vultrane preview: pictures of a head mesh before and after a face is applied, drawn by the
// library's own renderer, so a merged file or a morph can be looked at without the game.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "morph/tri_format.h"
#include "render/preview.h"
#include "tools/vultrane/cli_common.h"
#include "tools/vultrane/commands.h"
#include "tools/vultrane/progress.h"

namespace vultrane {

namespace {

struct PreviewOptions {
    std::string mesh;
    std::string merged;
    std::vector<std::string> morphs;
    std::string out;
    int size = 512;
    bool noMovedMap = false;
};

TriFile LoadTri(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error("cannot read " + path);
    TriFile file;
    TriMemorySource source(bytes.data(), bytes.size());
    const TriReadResult r = ReadTriBody(source, file);
    if (!r.ok) throw std::runtime_error(path + ": not a usable .tri file: " + r.error);
    return file;
}

// "NAME=WEIGHT"; the name may hold '=' itself, the weight is after the last one.
std::pair<std::string, double> ParseMorphArgument(const std::string& text) {
    const size_t eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size())
        throw UsageError("--morph takes NAME=WEIGHT, got \"" + text + "\"");
    const std::string number = text.substr(eq + 1);
    errno = 0;
    char* end = nullptr;
    const double w = std::strtod(number.c_str(), &end);
    if (end != number.c_str() + number.size() || errno == ERANGE || !std::isfinite(w))
        throw UsageError("--morph " + text + ": the weight \"" + number + "\" is not a finite number");
    return {text.substr(0, eq), w};
}

std::string SomeMorphNames(const TriFile& file) {
    std::string names;
    size_t shown = 0;
    for (const TriMorph& m : file.morphs) {
        if (shown == 8) {
            names += ", ...";
            break;
        }
        names += (shown ? ", " : "") + m.name;
        ++shown;
    }
    return names.empty() ? "none" : names;
}

void RunPreview(const PreviewOptions& o, Run& run) {
    std::vector<std::pair<std::string, double>> morphs;
    for (const std::string& m : o.morphs) morphs.push_back(ParseMorphArgument(m));
    const std::filesystem::path outPath(o.out);
    if (outPath.filename().empty()) throw UsageError("--out needs a file name stem, got \"" + o.out + "\"");

    const TriFile mesh = LoadTri(o.mesh);
    if (mesh.vertices.empty() || mesh.triangles.empty())
        throw std::runtime_error(o.mesh + " has no triangles to draw");
    const std::vector<float> before = render::BaseVertices(mesh);
    std::vector<float> after = before;
    std::string error;
    if (!o.merged.empty()) {
        const TriFile merged = LoadTri(o.merged);
        if (merged.vertices.size() != mesh.vertices.size())
            throw std::runtime_error(o.merged + " has " + std::to_string(merged.vertices.size()) + " vertices but " +
                                     o.mesh + " has " + std::to_string(mesh.vertices.size()) +
                                     ": it was not merged for this mesh");
        if (!render::AddMergedFace(merged, after, error)) throw std::runtime_error(o.merged + ": " + error);
    }
    for (const auto& [name, weight] : morphs)
        if (!render::AddMorph(mesh, name, weight, after, error))
            throw std::runtime_error(o.mesh + ": " + error + " (it has " + std::to_string(mesh.morphs.size()) +
                                     " morphs: " + SomeMorphNames(mesh) + ")");

    // As every subcommand does, the output's folder is made when missing.
    MakeOutputFolderFor(o.out, "--out");
    render::PreviewFiles files;
    bool ok;
    {
        Progress progress("rendering", o.noMovedMap ? 4 : 5);
        ok = render::WriteFacePreviews(mesh, before, after, o.out, o.size, !o.noMovedMap, files, error,
                                       [&](size_t done, size_t) { progress.Step(done); });
    }
    for (const std::string& p : files.paths) std::printf("%s\n", p.c_str());
    if (!ok) {
        std::fprintf(stderr, "vultrane: error: %s\n", error.c_str());
        run.exitCode = 1;
    }
}

}  // namespace

void AddPreviewCommand(CLI::App& app, Run& run) {
    auto opts = std::make_shared<PreviewOptions>();
    CLI::App* cmd = app.add_subcommand(
        "preview",
        "Pictures (PNG) of a head mesh before and after a face: front and profile under one camera, and a map of "
        "how far each vertex moved");
    cmd->add_option("MESH", opts->mesh, "The head's .tri file (its vertices, triangles and morphs)")
        ->required()
        ->check(CLI::ExistingFile);
    auto* merged = cmd->add_option("--merged", opts->merged,
                                   "A merged .tri file written for this mesh: its NoseType32 and LipType33 are applied")
                       ->check(CLI::ExistingFile);
    auto* morph = cmd->add_option("--morph", opts->morphs, "NAME=WEIGHT: a morph of MESH applied at a weight; repeatable");
    merged->excludes(morph);
    cmd->add_option("--out", opts->out, "Stem of the pictures: STEM-before-front.png, ...")->required();
    cmd->add_option("--size", opts->size, "Width and height of each picture in pixels")
        ->check(CLI::Range(render::kMinPreviewSize, render::kMaxPreviewSize))
        ->capture_default_str();
    cmd->add_flag("--no-moved-map", opts->noMovedMap, "Leave out the picture of how far each vertex moved");
    cmd->callback([opts, &run] { RunPreview(*opts, run); });
}

}  // namespace vultrane
