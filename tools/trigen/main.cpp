// vtr_trigen: writes the example source morph files that the race sets of a game folder
// name, checks the folder's vertex-edit files against the generated meshes, and can draw
// the meshes.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "config/loader.h"
#include "os/os.h"
#include "tools/trigen/morphs.h"
#include "tools/trigen/picture.h"
#include "tools/trigen/plan.h"

namespace {

const char kUsage[] =
    "usage: vtr_trigen --game-folder DIR [options]\n"
    "Writes the source .tri files that the race sets under DIR\\data\\Meshes\\Vultrane\\ name.\n"
    "  --picture FILE          also draw the head, eyes and mouth (PNG, front and profile)\n"
    "  --sex female|male       the variant drawn (default female)\n"
    "  --morph NAME[=WEIGHT]   draw a second row with this morph applied (repeatable)\n"
    "  --print-vertex-edit     print vertex-edit lines for the generated heads\n"
    "  --check-only            write nothing; check the configuration and vertex-edit files\n"
    "  --every-block           also write the blocks real files may carry (modifier vertices and\n"
    "                          statistical morphs, quads, labelled vertices and surface points)\n"
    "  --per-vertex-uvs        with --every-block: one texture pair per vertex, no texture triangles\n";

int Usage(const char* message) {
    std::fprintf(stderr, "vtr_trigen: %s\n%s", message, kUsage);
    return 2;
}

struct Options {
    std::string gameFolder, picture;
    trigen::Sex sex = trigen::Sex::kFemale;
    std::vector<std::pair<std::string, double>> morphs;
    bool printVertexEdit = false, checkOnly = false, everyBlock = false, perVertexUvs = false;
};

int WritePicture(const Options& o) {
    using namespace trigen;
    const HeadModel& model = Model(o.sex);
    const unsigned char skin[3] = {214, 182, 160}, eyes[3] = {235, 235, 245}, mouth[3] = {150, 45, 55};
    auto row = [&](bool moved) {
        std::vector<PictureMesh> r;
        for (auto [kind, colour] :
             {std::pair{MeshKind::kHead, skin}, std::pair{MeshKind::kEyes, eyes}, std::pair{MeshKind::kMouth, mouth}}) {
            PictureMesh pm{&model.Get(kind), {}, {colour[0], colour[1], colour[2]}};
            if (moved) {
                pm.offsets.assign(pm.mesh->vertices.size(), Vec3{});
                for (const auto& [name, weight] : o.morphs) {
                    std::optional<MorphShape> shape = FindMorphShape(name, model.marks);
                    if (!shape) return std::vector<PictureMesh>{};
                    std::vector<Vec3> d = MorphOffsets(*shape, model, kind);
                    for (size_t i = 0; i < d.size(); ++i) pm.offsets[i] += d[i] * weight;
                }
            }
            r.push_back(std::move(pm));
        }
        return r;
    };
    std::vector<std::vector<PictureMesh>> rows = {row(false)};
    if (!o.morphs.empty()) {
        rows.push_back(row(true));
        if (rows.back().empty()) {
            std::fprintf(stderr, "vtr_trigen: a morph to draw has no shape\n");
            return 1;
        }
    }
    std::ofstream out(o.picture, std::ios::binary);
    out << RenderPicture(rows, 12.0);
    if (!out) {
        std::fprintf(stderr, "vtr_trigen: cannot write %s\n", o.picture.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--game-folder" || a == "--picture" || a == "--sex" || a == "--morph") {
            const char* v = value();
            if (!v) return Usage(("missing value after " + a).c_str());
            if (a == "--game-folder")
                o.gameFolder = v;
            else if (a == "--picture")
                o.picture = std::filesystem::absolute(v).string();
            else if (a == "--sex") {
                if (std::strcmp(v, "female") == 0)
                    o.sex = trigen::Sex::kFemale;
                else if (std::strcmp(v, "male") == 0)
                    o.sex = trigen::Sex::kMale;
                else
                    return Usage("--sex takes female or male");
            } else {
                std::string m = v;
                const size_t eq = m.find('=');
                o.morphs.emplace_back(m.substr(0, eq), eq == std::string::npos ? 1.0 : std::atof(m.c_str() + eq + 1));
            }
        } else if (a == "--print-vertex-edit") {
            o.printVertexEdit = true;
        } else if (a == "--check-only") {
            o.checkOnly = true;
        } else if (a == "--every-block") {
            o.everyBlock = true;
        } else if (a == "--per-vertex-uvs") {
            o.perVertexUvs = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            return Usage(("unknown option " + a).c_str());
        }
    }
    if (o.printVertexEdit) {
        std::fputs(trigen::SuggestVertexEdit(trigen::Sex::kFemale).c_str(), stdout);
        std::fputs(trigen::SuggestVertexEdit(trigen::Sex::kMale).c_str(), stdout);
    }
    if (!o.picture.empty() && WritePicture(o) != 0) return 1;
    if (o.perVertexUvs && !o.everyBlock) return Usage("--per-vertex-uvs goes with --every-block");
    if (o.gameFolder.empty()) return o.printVertexEdit || !o.picture.empty() ? 0 : Usage("--game-folder is required");

    // The configuration is read by the library itself, from the game folder as the plug-in's.
    if (chdir(o.gameFolder.c_str()) != 0) {
        std::fprintf(stderr, "vtr_trigen: cannot enter %s: %s\n", o.gameFolder.c_str(), std::strerror(errno));
        return 1;
    }
    std::vector<std::string> problems;
    Log_SetObserver([&](const std::string& line) {
        if (line.find("ERROR") != std::string::npos) problems.push_back(line);
    });
    LoadConfiguration(kConfigDirectory);
    Log_SetObserver(nullptr);
    const trigen::Plan plan = trigen::MakePlan(Config());
    problems.insert(problems.end(), plan.errors.begin(), plan.errors.end());
    for (const std::string& e : trigen::CheckVertexEdits(Config())) problems.push_back(e);
    if (plan.files.empty()) problems.push_back("the race sets name no source files");
    for (const std::string& p : problems) std::fprintf(stderr, "vtr_trigen: %s\n", p.c_str());
    if (!problems.empty()) return 1;
    if (o.checkOnly) return 0;

    for (const std::string& folder : trigen::TargetFolders(Config())) {
        if (!os::CreateFolder(folder)) {
            std::fprintf(stderr, "vtr_trigen: cannot create the folder %s\n", folder.c_str());
            return 1;
        }
    }
    for (const trigen::SourceFile& f : plan.files) {
        std::string error;
        TriFile tri = trigen::BuildTriFile(f, error);
        if (!error.empty()) {
            std::fprintf(stderr, "vtr_trigen: %s\n", error.c_str());
            return 1;
        }
        if (o.everyBlock) trigen::AddEveryBlock(tri, o.perVertexUvs);
        const std::string bytes = SerializeTri(tri);
        os::ReplacingFile out;
        if (!out.Open(f.path, false) || !out.Write(bytes.data(), bytes.size()) || !out.Commit()) {
            std::fprintf(stderr, "vtr_trigen: cannot write %s: %s\n", f.path.c_str(), out.Describe().c_str());
            return 1;
        }
        std::printf("vtr_trigen: %s: %s %s, %u vertices, %u triangles, %zu morphs, %zu bytes\n", f.path.c_str(),
                    trigen::SexName(f.sex), trigen::MeshKindName(f.kind), tri.vertexCount, tri.triangleCount,
                    tri.morphs.size(), bytes.size());
    }
    return 0;
}
