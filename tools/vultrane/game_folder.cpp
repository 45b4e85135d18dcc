#include "tools/vultrane/game_folder.h"

#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/log.h"
#include "config/loader.h"
#include "config/model.h"
#include "game/sim/sim.h"
#include "os/os.h"
#include "tools/vultrane/cli_common.h"
#include "tools/vultrane/commands.h"

namespace vultrane {

namespace fs = std::filesystem;

namespace {

// A child of `dir` whose name matches `name` without regard to case (Windows folders are
// case-blind, and mods are written there); empty when none.
fs::path FindChild(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::is_directory(dir / name, ec)) return dir / name;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (entry.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(entry[i])) == std::tolower(static_cast<unsigned char>(name[i]));
        if (same && it->is_directory(ec)) return it->path();
    }
    return {};
}

bool HasConfigFolder(const fs::path& data) {
    fs::path meshes = FindChild(data, "Meshes");
    return !meshes.empty() && !FindChild(meshes, "Vultrane").empty();
}

#ifdef _WIN32
bool NamedData(const fs::path& dir) {
    std::string name = dir.filename().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "data";
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

// A junction (mount point) at `link`, a new folder, leading to the absolute folder `target`.
bool MakeJunction(const std::string& target, const std::string& link) {
    const std::wstring linkW = Wide(link);
    std::wstring print = Wide(target);
    for (wchar_t& c : print)
        if (c == L'/') c = L'\\';
    const std::wstring substitute = L"\\??\\" + print;
    if (!CreateDirectoryW(linkW.c_str(), nullptr)) return false;
    HANDLE h = CreateFileW(linkW.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        RemoveDirectoryW(linkW.c_str());
        return false;
    }
    // The mount-point reparse record: tag, data length, reserved, then the offsets and lengths
    // (in bytes) of the substitute and print names, both stored with a terminating zero.
    const size_t subBytes = substitute.size() * sizeof(wchar_t);
    const size_t printBytes = print.size() * sizeof(wchar_t);
    const size_t dataBytes = 8 + subBytes + sizeof(wchar_t) + printBytes + sizeof(wchar_t);
    std::vector<uint8_t> buf(8 + dataBytes, 0);
    auto put16 = [&](size_t at, size_t v) {
        buf[at] = static_cast<uint8_t>(v);
        buf[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    const uint32_t tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(buf.data(), &tag, 4);
    put16(4, dataBytes);
    put16(8, 0);
    put16(10, subBytes);
    put16(12, subBytes + sizeof(wchar_t));
    put16(14, printBytes);
    std::memcpy(buf.data() + 16, substitute.data(), subBytes);
    std::memcpy(buf.data() + 16 + subBytes + sizeof(wchar_t), print.data(), printBytes);
    DWORD done = 0;
    const bool ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buf.data(), static_cast<DWORD>(buf.size()), nullptr, 0,
                                    &done, nullptr) != 0;
    CloseHandle(h);
    if (!ok) RemoveDirectoryW(linkW.c_str());
    return ok;
}

// `rel` below `base` with each existing component in its letter case on disk; the components
// from the first missing one on are kept as written.
std::string RealCase(const std::string& base, const std::string& rel) {
    fs::path out = base;
    bool resolving = true;
    std::error_code ec;
    for (const fs::path& part : fs::path(rel)) {
        const std::string want = part.string();
        if (want.empty() || want == "." || want == "..") {
            out /= part;
            continue;
        }
        fs::path found;
        if (resolving) {
            for (fs::directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec)) {
                const std::string name = it->path().filename().string();
                if (name.size() == want.size() &&
                    std::equal(name.begin(), name.end(), want.begin(), [](char a, char b) {
                        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                    })) {
                    found = it->path().filename();
                    if (name == want) break;  // an exact match wins
                }
            }
            ec.clear();
            if (found.empty()) resolving = false;
        }
        out /= found.empty() ? part : found;
    }
    return out.string();
}

// A directory symbolic link, where the user may make one (developer mode, or Wine).
bool MakeDirectoryLink(const std::string& target, const std::string& link) {
    const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2;  // 0x2: allow unprivileged create
    return CreateSymbolicLinkW(Wide(link).c_str(), Wide(target).c_str(), flags) != 0;
}

// Removes the junction (or directory link) itself, never what it leads to.
bool RemoveJunction(const std::string& link) { return RemoveDirectoryW(Wide(link).c_str()) != 0; }
#endif

std::string Slashes(std::string p) {
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

}  // namespace

GameSession::GameSession(const std::string& folder) {
    std::error_code ec;
    if (folder.empty()) throw UsageError("no folder given");
    fs::path given = fs::absolute(fs::path(folder), ec);
    if (ec || !fs::is_directory(given, ec))
        throw UsageError("'" + folder + "' is not a folder");
    given = fs::weakly_canonical(given, ec);

    fs::path gameData = FindChild(given, "data");
    if (HasConfigFolder(given)) {
        dataFolder_ = given.string();
    } else if (!gameData.empty() && HasConfigFolder(gameData)) {
        dataFolder_ = gameData.string();
    } else {
        throw UsageError("'" + folder +
                         "' holds no configuration: expected Meshes/Vultrane/ (a mod's Data folder) or "
                         "data/Meshes/Vultrane/ (a game folder)");
    }

    // The library opens "data\..." below the current folder; a game folder whose data folder
    // is named differently in case still resolves, so only a mod's folder needs a link.
    if (!gameData.empty() && gameData.string() == dataFolder_) {
        gameFolder_ = given.string();
#ifdef _WIN32
    } else if (NamedData(given) && given.has_parent_path() && given.parent_path() != given) {
        // The game's own Data folder given by itself (C:\Games\Skyrim\Data): its parent is the
        // game folder, as the folder's name is found without regard to case here.
        gameFolder_ = given.parent_path().string();
#endif
    } else {
        tempFolder_ = MakeTempFolder("vultrane-game-");
        gameFolder_ = tempFolder_;
#ifdef _WIN32
        // Directory links need a privilege on Windows (or developer mode); a junction does not.
        const std::string link = (fs::path(tempFolder_) / "data").string();
        // A link is trusted only once the configuration is seen through it.
        auto works = [&] { return HasConfigFolder(link); };
        if ((MakeJunction(dataFolder_, link) && works()) || (RemoveJunction(link), MakeDirectoryLink(dataFolder_, link) && works())) {
            junction_ = link;
        } else {
            // What cannot be removed might still lead into the mod: then the folder stays.
            if (!RemoveJunction(link) && GetFileAttributesW(Wide(link).c_str()) != INVALID_FILE_ATTRIBUTES)
                tempFolder_.clear();
            ec = std::make_error_code(std::errc::operation_not_permitted);
        }
#else
        fs::create_directory_symlink(dataFolder_, fs::path(tempFolder_) / "data", ec);
#endif
        if (ec) {
            fs::remove_all(tempFolder_, ec);
#ifdef _WIN32
            throw std::runtime_error("cannot link the data folder into a temporary game folder (give the game's Data "
                                     "folder, or a copy of the mod in a folder named Data)");
#else
            throw std::runtime_error("cannot link the data folder into a temporary game folder");
#endif
        }
    }

    previousFolder_ = fs::current_path(ec).string();
    fs::current_path(gameFolder_, ec);
    if (ec) {
        if (!tempFolder_.empty()) fs::remove_all(tempFolder_, ec);
        throw std::runtime_error("cannot enter the game folder " + gameFolder_);
    }
    sim::ResetWorld();
    Config() = Configuration{};
    Log_SetObserver([this](const std::string& line) { logLines_.push_back(line); });
    Log_SetConsoleCopy(false);  // the program prints its own report
    // No log file while the session lives: its lines are kept here, and the file that the
    // library opened at start-up may be a game's own log. The folder named is never made.
    previousLog_ = Log_FilePath();
    Log_Reopen(fs::temp_directory_path(ec).string() + "/vultrane-no-log-" + std::to_string(getpid()) + "/none/Vultrane.log");
}

GameSession::~GameSession() {
    Log_SetObserver(nullptr);
    Log_SetConsoleCopy(true);
    Config() = Configuration{};
    sim::ResetWorld();
    std::error_code ec;
    if (!previousFolder_.empty()) fs::current_path(previousFolder_, ec);
    if (!previousLog_.empty()) Log_Reopen(previousLog_);  // relative to the folder just restored
    // Only the link and the folder made here go; the link's target is never followed.
#ifdef _WIN32
    // remove_all would walk through a junction into the mod's own files: the junction goes
    // first, and if it cannot, the temporary folder stays.
    if (!junction_.empty() && !RemoveJunction(junction_)) return;
#endif
    if (!tempFolder_.empty()) fs::remove_all(tempFolder_, ec);
}

PlayerCharacter* GameSession::SetPlayer(const std::string& race, int sex) {
    TESNPC* npc = sim::AddNpc(static_cast<int8_t>(sex));
    return sim::CreatePlayer(&npc->form, sim::AddRace(race, race));
}

void GameSession::LoadConfiguration() { ::LoadConfiguration(kConfigDirectory); }

std::string GameSession::RealPath(const std::string& libraryPath) const {
    std::string p = Slashes(libraryPath);
    while (p.size() > 1 && p[0] == '.' && p[1] == '/') p.erase(0, 2);
    std::string lower;
    for (char c : p) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    std::string rel;
    if (lower.rfind("data/", 0) == 0)
        rel = p.substr(5);
    else
        rel = "Meshes/Vultrane/" + p;
    // Resolve below the data folder itself, so the answer names the real folder, not the link.
#ifdef _WIN32
    std::string resolved = RealCase(dataFolder_, rel);  // Windows opens any case; reports name the real one
#else
    std::string resolved = os::ResolvePath(dataFolder_ + "/" + rel);
#endif
    return resolved.empty() ? dataFolder_ + "/" + rel : resolved;
}

}  // namespace vultrane
