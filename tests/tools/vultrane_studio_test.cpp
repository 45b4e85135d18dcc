// vultrane studio: its API answers what the library computes (GetList's records, the merge,
// the slot reader and writer), it follows changed files, and its guards hold against foreign
// hosts, missing tokens and origins, traversal and garbage, through a real HTTP client.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "morph/tri_format.h"
#include "tests/support/test_support.h"
#include "tools/vultrane/cli_game.h"
#include "tools/vultrane/cli_merge.h"
#include "tools/vultrane/cli_sliders.h"
#include "tools/vultrane/cli_slot.h"
#include "tools/vultrane/commands.h"
#include "tools/vultrane/studio.h"

namespace {

namespace fs = std::filesystem;
using vultrane::Json;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TriFile ReadTri(const std::string& path) {
    const std::string bytes = Slurp(path);
    TriFile f;
    TriMemorySource src(bytes.data(), bytes.size());
    EXPECT_TRUE(ReadTriBody(src, f).ok) << path;
    IndexTriMorphs(f);
    return f;
}

struct MergeTarget {
    uint32_t n = 0;
    float mainScale = 1, neckScale = 1;
    uint32_t flags = 0;
    std::vector<TriDelta> main, neck;
};
struct MergeReply {
    Json info;
    std::vector<MergeTarget> targets;
};

uint32_t U32(const std::string& b, size_t o) {
    uint32_t v;
    std::memcpy(&v, b.data() + o, 4);
    return v;
}
float F32(const std::string& b, size_t o) {
    float v;
    std::memcpy(&v, b.data() + o, 4);
    return v;
}

MergeReply ParseMerge(const std::string& b) {
    MergeReply r;
    EXPECT_EQ(b.substr(0, 4), "VTM1");
    const uint32_t jsonLen = U32(b, 4);
    r.info = Json::parse(b.substr(8, jsonLen));
    size_t o = (8 + jsonLen + 3) & ~size_t{3};
    const uint32_t count = U32(b, o);
    o += 4;
    for (uint32_t t = 0; t < count; ++t) {
        MergeTarget m;
        m.n = U32(b, o);
        m.mainScale = F32(b, o + 4);
        m.neckScale = F32(b, o + 8);
        m.flags = U32(b, o + 12);
        o += 16;
        m.main.resize(m.n);
        std::memcpy(m.main.data(), b.data() + o, m.n * 6);
        o += (m.n * 6 + 3) & ~size_t{3};
        if (m.flags & vultrane::kMergeFlagNeck) {
            m.neck.resize(m.n);
            std::memcpy(m.neck.data(), b.data() + o, m.n * 6);
            o += (m.n * 6 + 3) & ~size_t{3};
        }
        r.targets.push_back(std::move(m));
    }
    EXPECT_EQ(o, b.size());
    return r;
}

std::string ValuesBody(const SliderValueList& values) {
    Json list = Json::array();
    for (const auto& [id, v] : values) list.push_back({id, v});
    return Json{{"values", list}}.dump();
}

// ---- pure parts ---------------------------------------------------------------------------

TEST(StudioGuard, HostMustBeLoopbackWithThePort) {
    const std::string tok = "abc123";
    auto facts = [&](std::string host) { return vultrane::RequestFacts{"GET", "/api/state", std::move(host), "", tok}; };
    EXPECT_FALSE(vultrane::GuardRequest(facts("127.0.0.1:8080"), 8080, tok));
    EXPECT_FALSE(vultrane::GuardRequest(facts("LocalHost:8080"), 8080, tok));
    for (const char* bad : {"", "127.0.0.1", "127.0.0.1:8081", "evil.example:8080", "localhost.evil:8080",
                            "127.0.0.1:8080.evil", "[::1]:8080", "0.0.0.0:8080"}) {
        SCOPED_TRACE(bad);
        auto a = vultrane::GuardRequest(facts(bad), 8080, tok);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->status, 403);
        EXPECT_TRUE(Json::parse(a->body).contains("error"));
    }
}

TEST(StudioGuard, ApiNeedsTheTokenAndChangesNeedTheOrigin) {
    const std::string tok = "0123456789abcdef";
    using F = vultrane::RequestFacts;
    EXPECT_FALSE(vultrane::GuardRequest(F{"GET", "/index.html", "localhost:9", "", ""}, 9, tok));  // the page itself
    EXPECT_FALSE(vultrane::GuardRequest(F{"GET", "/api/state", "localhost:9", "", tok}, 9, tok));
    for (const std::string& t : {std::string(), std::string("0123456789abcdeF"), tok + "0", tok.substr(1)}) {
        SCOPED_TRACE(t);
        auto a = vultrane::GuardRequest(F{"GET", "/api/state", "localhost:9", "", t}, 9, tok);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->status, 403);
    }
    EXPECT_FALSE(vultrane::GuardRequest(F{"POST", "/api/merge", "127.0.0.1:9", "http://127.0.0.1:9", tok}, 9, tok));
    EXPECT_FALSE(vultrane::GuardRequest(F{"POST", "/api/merge", "127.0.0.1:9", "http://localhost:9", tok}, 9, tok));
    for (const char* origin : {"", "null", "http://evil.example", "http://127.0.0.1:10", "https://127.0.0.1:9"}) {
        SCOPED_TRACE(origin);
        auto a = vultrane::GuardRequest(F{"POST", "/api/merge", "127.0.0.1:9", origin, tok}, 9, tok);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->status, 403);
    }
    // A token never stands in for the origin, nor the origin for the token.
    EXPECT_TRUE(vultrane::GuardRequest(F{"POST", "/api/slot", "127.0.0.1:9", "http://127.0.0.1:9", ""}, 9, tok));
}

TEST(StudioValues, ParsesPairsAndNamesTheFirstBadPart) {
    SliderValueList v;
    std::string error;
    ASSERT_TRUE(vultrane::ParseValuesJson(R"({"values": [[28, 0.5], [-10005, 9011066], [2147483647, -1]]})", v, error));
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0], (std::pair<int32_t, double>(28, 0.5)));
    EXPECT_EQ(v[1].first, -10005);
    EXPECT_EQ(v[2].first, 2147483647);
    const std::pair<const char*, const char*> bad[] = {
        {"", "not JSON"},
        {"[1,2]", "expected"},
        {R"({"values": 3})", "expected"},
        {R"({"values": [[1]]})", "values[0] is not a pair"},
        {R"({"values": [[1, 2], [2147483648, 0]]})", "values[1]: the uniqueID"},
        {R"({"values": [[1.5, 0]]})", "uniqueID"},
        {R"({"values": [["28", 0]]})", "uniqueID"},
        {R"({"values": [[28, "x"]]})", "finite"},
        {R"({"values": [[28, 1e999]]})", "not JSON"},  // the parser refuses an infinite literal
    };
    for (const auto& [body, why] : bad) {
        SCOPED_TRACE(body);
        EXPECT_FALSE(vultrane::ParseValuesJson(body, v, error));
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}

TEST(StudioNodes, ReadsTheSkeletonTextApplySliderValuesWrites) {
    const auto nodes = vultrane::ParseSkeletonText(
        "# \"NPC Head [Head]\" scale:1.3\n# \"NPC Neck [Neck]\" scale:0.85\n#\n"
        "# \"NPC Head [Head]\" (x,y,z):0,0,-1.5\nnot a node line\n");
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].node, "NPC Head [Head]");
    EXPECT_TRUE(nodes[0].isScale);
    EXPECT_DOUBLE_EQ(nodes[0].scale, 1.3);
    EXPECT_DOUBLE_EQ(nodes[1].scale, 0.85);
    EXPECT_FALSE(nodes[2].isScale);
    EXPECT_DOUBLE_EQ(nodes[2].z, -1.5);
}

TEST(StudioFiles, ThePageIsBuiltIn) {
    for (const char* p : {"/", "/index.html", "/studio.js", "/studio.css"}) {
        const vultrane::EmbeddedFile* f = vultrane::FindEmbeddedFile(p);
        ASSERT_TRUE(f) << p;
        EXPECT_GT(f->size, 100u);
    }
    const std::string html(reinterpret_cast<const char*>(vultrane::FindEmbeddedFile("/")->data),
                           vultrane::FindEmbeddedFile("/")->size);
    EXPECT_NE(html.find("studio.js"), std::string::npos);
    EXPECT_EQ(html, Slurp(vultrane::SourceFolder() + "/tools/vultrane/studio/index.html"));
    for (const char* p : {"/../CMakeLists.txt", "/index.html/..", "//index.html", "/INDEX.HTML", "index.html"})
        EXPECT_FALSE(vultrane::FindEmbeddedFile(p)) << p;
}

// ---- the server on the example game -------------------------------------------------------

class StudioServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        vultrane::PrepareExampleGame(folder.Path());
        // The merge as `vultrane merge` writes it, for comparison, before the studio's session.
        const vultrane::MergeOutcome m =
            vultrane::RunMerge({folder.Path(), "Nord", 1, kNose, folder.Path() + "/merged"});
        ASSERT_EQ(m.targets.size(), 2u);
        for (const auto& t : m.targets) written.push_back(ReadTri(t.path));
        listing = vultrane::ListSliders({folder.Path(), "Nord", 1, false, true, ""});
        studio = std::make_unique<vultrane::Studio>(vultrane::StudioOptions{folder.Path(), "Nord", 1, ""});
        server = std::make_unique<vultrane::StudioServer>(*studio, 0, vultrane::NewToken());
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        client = std::make_unique<httplib::Client>("127.0.0.1", server->Port());
        client->set_read_timeout(20, 0);
    }
    void TearDown() override {
        server.reset();
        studio.reset();
    }
    httplib::Headers Auth(bool post = false) const {
        httplib::Headers h = {{"X-Vtr-Token", server->Token()}};
        if (post) h.emplace("Origin", "http://127.0.0.1:" + std::to_string(server->Port()));
        return h;
    }
    Json GetJson(const std::string& path, int expect = 200) {
        auto r = client->Get(path.c_str(), Auth());
        EXPECT_TRUE(r);
        if (!r) return {};
        EXPECT_EQ(r->status, expect) << path << ": " << r->body;
        EXPECT_EQ(r->get_header_value("Content-Type"), "application/json");
        return Json::parse(r->body);
    }
    httplib::Result Post(const std::string& path, const std::string& body) {
        return client->Post(path.c_str(), Auth(true), body, "application/json");
    }

    const SliderValueList kNose = {{28, 1.0}, {2000, 0.5}};
    vtrtest::ScopedGameFolder folder;
    vultrane::ScopedDocuments documents;  // slots land in a temporary documents folder
    std::vector<TriFile> written;
    vultrane::SliderListing listing;
    std::unique_ptr<vultrane::Studio> studio;
    std::unique_ptr<vultrane::StudioServer> server;
    std::unique_ptr<httplib::Client> client;
};

TEST_F(StudioServerTest, StateListsGetListsRecordsPresetsTargetsAndNoProblems) {
    const Json s = GetJson("/api/state");
    EXPECT_EQ(s["race"], "Nord");
    EXPECT_EQ(s["sex"], "female");
    EXPECT_EQ(s["raceSet"], "Nord");
    Json expected = Json::array();
    for (const Json& r : listing.records)
        if (!r.contains("isLimitedMode")) expected.push_back(r);
    ASSERT_GT(expected.size(), 10u);
    EXPECT_EQ(s["records"], expected);  // members and order exactly as GetList's
    EXPECT_EQ(s["presets"], Json::array({"NordPreset01.txt", "NordPreset02.txt"}));
    ASSERT_EQ(s["targets"].size(), 2u);
    EXPECT_EQ(s["targets"][0]["vertices"], written[0].vertexCount);
    EXPECT_EQ(s["targets"][1]["vertices"], written[1].vertexCount);
    EXPECT_EQ(s["check"]["errors"], 0);
    EXPECT_TRUE(s["problems"].empty()) << s["problems"].dump();
    EXPECT_TRUE(std::find(s["races"].begin(), s["races"].end(), "Imperial") != s["races"].end());
}

TEST_F(StudioServerTest, MeshAndMergeAreTheMergedFilesOfTheLibrary) {
    auto mesh = client->Get("/api/mesh", Auth());
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->status, 200);
    const std::string& m = mesh->body;
    ASSERT_EQ(m.substr(0, 4), "VTR1");
    ASSERT_EQ(U32(m, 4), 2u);
    size_t o = 8;
    for (const TriFile& w : written) {
        ASSERT_EQ(U32(m, o), w.vertexCount);
        const uint32_t tris = U32(m, o + 4);
        EXPECT_EQ(tris, w.triangleCount + 2 * w.quads.size());
        EXPECT_EQ(std::memcmp(m.data() + o + 8, w.vertices.data(), w.vertexCount * 12), 0);
        o += 8 + w.vertexCount * 12 + tris * 12;
    }
    EXPECT_EQ(o, m.size());

    auto r = Post("/api/merge", ValuesBody(kNose));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    const MergeReply reply = ParseMerge(r->body);
    ASSERT_EQ(reply.targets.size(), 2u);
    for (size_t t = 0; t < 2; ++t) {
        SCOPED_TRACE(t);
        const TriMorph& main = written[t].morphs[static_cast<size_t>(FindMorphIndex(written[t], "NoseType32"))];
        EXPECT_EQ(reply.targets[t].mainScale, main.scale);
        ASSERT_EQ(reply.targets[t].main.size(), main.deltas.size());
        EXPECT_EQ(std::memcmp(reply.targets[t].main.data(), main.deltas.data(), main.deltas.size() * 6), 0);
        EXPECT_EQ(reply.targets[t].flags, 0u);  // no neck or head size value
    }
    size_t moved = 0;
    for (const TriDelta& d : reply.targets[0].main) moved += d.dx || d.dy || d.dz;
    EXPECT_GT(moved, 10u);
    EXPECT_LT(moved, reply.targets[0].n / 2);  // the nose, not the whole head
    // Head size scales the head node, more for a larger value, as ApplySliderValues sets it.
    auto headScale = [&](double v) {
        auto a = Post("/api/merge", ValuesBody({{2000, v}}));
        EXPECT_TRUE(a && a->status == 200);
        const MergeReply parsed = ParseMerge(a->body);
        for (const Json& n : parsed.info["nodes"])
            if (n["node"] == "NPC Head [Head]" && n.contains("scale")) return n["scale"].get<double>();
        return std::nan("");
    };
    const double small = headScale(-0.5), rest = headScale(0), large = headScale(0.5);
    EXPECT_LT(small, rest);
    EXPECT_DOUBLE_EQ(rest, 1.0);
    EXPECT_LT(rest, large);
    for (const Json& n : reply.info["nodes"])
        if (n["node"] == "NPC Head [Head]" && n.contains("scale")) EXPECT_DOUBLE_EQ(n["scale"].get<double>(), large);
}

TEST_F(StudioServerTest, PresetsSetAndSlotsSaveThroughTheLibrary) {
    const Json p = GetJson("/api/preset?index=1");
    vultrane::SlotDocument doc;
    std::vector<std::string> log;
    std::string error;
    ASSERT_TRUE(vultrane::ReadSlotDocument(folder.Path() + "/data/Meshes/Vultrane/Presets/NordPreset02.txt", doc, log,
                                           error));
    ASSERT_EQ(p["values"].size(), doc.pairs.size());
    for (size_t i = 0; i < doc.pairs.size(); ++i) {
        EXPECT_EQ(p["values"][i][0], doc.pairs[i].first);
        EXPECT_DOUBLE_EQ(p["values"][i][1].get<double>(), doc.pairs[i].second);
    }
    GetJson("/api/preset?index=2", 404);
    GetJson("/api/preset?index=-1", 400);
    GetJson("/api/preset?index=1x", 400);
    GetJson("/api/slot?slot=4", 404);  // not saved yet

    auto saved = Post("/api/slot", R"({"slot": 4, "values": [[28, 0.25], [2000, -0.5]]})");
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->status, 200) << saved->body;
    const std::string path = Json::parse(saved->body)["path"];
    EXPECT_EQ(path, documents.SlotPath(4, "Nord"));
    ASSERT_TRUE(vultrane::ReadSlotDocument(path, doc, log, error)) << error;
    EXPECT_EQ(doc.pairs, (SliderValueList{{28, 0.25}, {2000, -0.5}}));
    EXPECT_EQ(doc.race, "Nord");
    bool headLine = false;
    for (const std::string& l : doc.skeleton) headLine = headLine || l.find("NPC Head [Head]") != std::string::npos;
    EXPECT_TRUE(headLine);  // the skeleton lines of the values
    const Json back = GetJson("/api/slot?slot=4");
    EXPECT_EQ(back["values"], Json::parse("[[28, 0.25], [2000, -0.5]]"));

    for (const char* bad : {R"({"slot": 0, "values": []})", R"({"slot": 100, "values": []})",
                            R"({"slot": "../../x", "values": []})", R"({"values": []})"}) {
        auto r = Post("/api/slot", bad);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 400) << bad;
    }
}

TEST_F(StudioServerTest, AChangedRaceSetIsReloadedWithItsProblems) {
    const uint64_t before = GetJson("/api/generation")["generation"];
    const std::string ini = folder.Path() + "/data/Meshes/Vultrane/Sets/Nord.ini";
    std::string text = Slurp(ini);
    // Every listing of the slider: one id with two labels makes the game reject the file.
    int renamedLines = 0;
    for (size_t at; (at = text.find("Nose height, 28,")) != std::string::npos; ++renamedLines)
        text.replace(at, 11, "Nose height X");
    ASSERT_EQ(renamedLines, 2);
    text += "Broken slider, 77, 200, NoSuchMorph, AlsoMissing\n";
    std::ofstream(ini, std::ios::binary | std::ios::trunc) << text;
    Json s;
    for (int i = 0; i < 100; ++i) {
        s = GetJson("/api/state");
        if (s["generation"] != before) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(s["generation"], before);
    bool renamed = false;
    for (const Json& r : s["records"]) renamed = renamed || r["text"] == "Nose height X";
    EXPECT_TRUE(renamed);
    bool reported = false;
    for (const Json& d : s["check"]["diagnostics"])
        reported = reported || (d["file"].get<std::string>().find("Nord.ini") != std::string::npos &&
                                d["line"].get<int>() > 0 && d["message"].get<std::string>().find("NoSuchMorph") != std::string::npos);
    EXPECT_TRUE(reported) << s["check"].dump();
    // The merge still runs on the reloaded configuration.
    auto r = Post("/api/merge", ValuesBody(kNose));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
}

TEST_F(StudioServerTest, ChoosingAnotherSexReloadsItsTargets) {
    auto r = Post("/api/player", R"({"race": "Nord", "sex": "male"})");
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    const Json s = Json::parse(r->body);
    EXPECT_EQ(s["sex"], "male");
    EXPECT_EQ(s["targets"].size(), 1u);
    for (const char* bad : {R"({"race": 3})", R"({"race": "Nord", "sex": "other"})", "nonsense"}) {
        auto b = Post("/api/player", bad);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->status, 400) << bad;
    }
}

TEST_F(StudioServerTest, GuardsHoldAndTheServerLivesOn) {
    const std::string port = std::to_string(server->Port());
    auto expect403 = [&](httplib::Result r, const char* what) {
        ASSERT_TRUE(r) << what;
        EXPECT_EQ(r->status, 403) << what;
        EXPECT_TRUE(Json::parse(r->body).contains("error")) << what;
    };
    {
        httplib::Headers h = Auth();
        h.emplace("Host", "evil.example:" + port);
        expect403(client->Get("/api/state", h), "foreign host");
        expect403(client->Get("/", {{"Host", "rebound.example:" + port}}), "foreign host, page");
    }
    expect403(client->Get("/api/state"), "no token");
    expect403(client->Get("/api/state", {{"X-Vtr-Token", "0000"}}), "wrong token");
    expect403(client->Post("/api/merge", {{"X-Vtr-Token", server->Token()}}, ValuesBody(kNose), "application/json"),
              "no origin");
    expect403(client->Post("/api/slot", {{"X-Vtr-Token", server->Token()}, {"Origin", "http://evil.example"}},
                           R"({"slot": 1, "values": []})", "application/json"),
              "foreign origin");
    EXPECT_FALSE(fs::exists(documents.SlotPath(1, "Nord")));

    // Paths are keys of the built-in page, never file names.
    for (const char* path : {"/../../../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/index.html/../../CMakeLists.txt",
                             "/data/Meshes/Vultrane/races.ini", "/api/../CMakeLists.txt", "/..%2f..%2fetc%2fpasswd"}) {
        auto r = client->Get(path, Auth());
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 404) << path;
        EXPECT_EQ(r->body.find("root:"), std::string::npos);
        EXPECT_TRUE(Json::parse(r->body, nullptr, false).is_object()) << path << ": " << r->body;
    }
    auto page = client->Get("/?token=" + server->Token());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<canvas"), std::string::npos);

    // Bad bodies are 4xx JSON, and the server answers on.
    for (const char* body : {"", "{", "\x01\x02\xff", R"({"values": [[28]]})", R"({"values": [[1e20, 1]]})"}) {
        auto r = Post("/api/merge", body);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 400);
        EXPECT_TRUE(Json::parse(r->body).contains("error"));
    }
    auto big = Post("/api/merge", std::string(5u << 20, ' '));
    if (big) EXPECT_EQ(big->status, 413);
    {
        // Not HTTP at all, over a raw connection.
        httplib::Client raw("127.0.0.1", server->Port());
        auto r = raw.Get("/api/state", {{"X-Vtr-Token", server->Token()}, {"Host", std::string(9000, 'h')}});
        if (r) EXPECT_GE(r->status, 400);
    }
    auto alive = client->Get("/api/state", Auth());
    ASSERT_TRUE(alive);
    EXPECT_EQ(alive->status, 200);
}

// A server stopped the moment it started must stop (the listening loop once missed the stop
// and kept the program waiting forever); each one really answered before it went.
TEST_F(StudioServerTest, StopsRightAfterStarting) {
    for (int i = 0; i < 40; ++i) {
        vultrane::StudioServer quick(*studio, 0, vultrane::NewToken());
        std::string error;
        ASSERT_TRUE(quick.Start(error)) << error;
        if (i % 8 == 0) {
            httplib::Client c("127.0.0.1", quick.Port());
            auto r = c.Get("/api/generation", {{"X-Vtr-Token", quick.Token()}});
            ASSERT_TRUE(r);
            EXPECT_EQ(r->status, 200);
        }
    }
}

#ifdef __linux__
TEST_F(StudioServerTest, ListensOnLoopbackOnly) {
    // /proc/net/tcp: local address as hex ip:port; 0100007F is 127.0.0.1, state 0A is listening.
    char want[16];
    std::snprintf(want, sizeof want, ":%04X", server->Port());
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    int listening = 0;
    while (std::getline(tcp, line)) {
        std::istringstream in(line);
        std::string slot, local, remote, st;
        in >> slot >> local >> remote >> st;
        if (st != "0A" || local.size() < 5 || local.substr(local.size() - 5) != want) continue;
        ++listening;
        EXPECT_EQ(local.substr(0, 8), "0100007F") << line;
    }
    EXPECT_EQ(listening, 1);
    std::ifstream tcp6("/proc/net/tcp6");
    while (std::getline(tcp6, line)) EXPECT_EQ(line.find(std::string(want) + " 00000000000000000000000000000000:0000 0A"), std::string::npos);
}
#endif

// ---- a real chargen head ------------------------------------------------------------------

TEST(StudioRealHead, MergesARealChargenHead) {
    const fs::path gz = fs::path(vultrane::SourceFolder()) / ".." / "shared" / "real-tri" / "OtterMaleHeadChargen.tri.gz";
    std::error_code ec;
    if (!fs::exists(gz, ec)) GTEST_SKIP() << "no " << gz.string();
    vtrtest::ScopedGameFolder folder;
    const std::string sets = folder.Path() + "/data/Meshes/Vultrane/Sets";
    fs::create_directories(sets);
    const std::string cmd = "gzip -dc '" + gz.string() + "' > '" + sets + "/OtterHead.tri'";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "gzip cannot unpack " << gz.string();
    const TriFile head = ReadTri(sets + "/OtterHead.tri");
    ASSERT_GT(head.morphs.size(), 2u);
    const std::string a = head.morphs[0].name, b = head.morphs[1].name;
    folder.WriteFile("data/Meshes/Vultrane/races.ini", "[Otter]\nsliderini=Sets\\Otter.ini\nname=Otter\n");
    folder.WriteFile("data/Meshes/Vultrane/Sets/Otter.ini",
                     "racesetname=Otter\nmfiles=data\\meshes\\otter\\ottermaleheadchargen.tri, OtterHead.tri\n[Face]\n"
                     "First, 10, 200, " + b + ", " + a + "\n");
    vultrane::Studio studio({folder.Path(), "Otter", 0, ""});
    const Json s = Json::parse(studio.State().body);
    ASSERT_EQ(s["targets"].size(), 1u) << s.dump();
    EXPECT_EQ(s["targets"][0]["vertices"], head.vertexCount);
    const vultrane::StudioAnswer m = studio.Merge(ValuesBody({{10, 1.0}}));
    ASSERT_EQ(m.status, 200) << m.body;
    const MergeReply r = ParseMerge(m.body);
    ASSERT_EQ(r.targets.size(), 1u);
    // At weight 1 the merged morph is the source morph (up to quantisation).
    const TriMorph& src = head.morphs[0];
    const float k = r.targets[0].mainScale;
    double worst = 0, largest = 0;
    for (uint32_t v = 0; v < head.vertexCount; ++v) {
        const TriDelta& d = r.targets[0].main[v];
        const TriDelta& e = src.deltas[v];
        worst = std::max<double>({worst, std::fabs(d.dx * k - e.dx * src.scale), std::fabs(d.dy * k - e.dy * src.scale),
                          std::fabs(d.dz * k - e.dz * src.scale)});
        largest = std::max<double>({largest, std::fabs(e.dx * src.scale), std::fabs(e.dy * src.scale), std::fabs(e.dz * src.scale)});
    }
    EXPECT_GT(largest, 0.0);
    EXPECT_LE(worst, 2.0 * k + 1e-6);
}

}  // namespace
