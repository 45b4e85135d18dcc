// Tools point the library's documents folder at a folder of their own (slot files read and
// written away from the user's slots); the platform's folder comes back when they are done.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "config/model.h"
#include "os/os.h"
#include "persist/slots.h"
#include "tools/vultrane/cli_slot.h"

namespace {

struct XdgDocuments {
    explicit XdgDocuments(const char* value) {
        if (const char* old = std::getenv("XDG_DOCUMENTS_DIR")) saved = old, had = true;
        setenv("XDG_DOCUMENTS_DIR", value, 1);
    }
    ~XdgDocuments() {
        os::SetDocumentsFolderOverride("");
        if (had) setenv("XDG_DOCUMENTS_DIR", saved.c_str(), 1);
        else unsetenv("XDG_DOCUMENTS_DIR");
    }
    std::string saved;
    bool had = false;
};

TEST(DocumentsOverride, WinsOverThePlatformFolderUntilCleared) {
    XdgDocuments xdg("/tmp/xdg-documents");
    EXPECT_EQ(os::DocumentsFolder(), "/tmp/xdg-documents");
    os::SetDocumentsFolderOverride("/tmp/tool-documents//");
    EXPECT_EQ(os::DocumentsFolder(), "/tmp/tool-documents");  // trailing separators dropped
    os::SetDocumentsFolderOverride("C:\\Users\\me\\Temp\\docs\\");
    EXPECT_EQ(os::DocumentsFolder(), "C:\\Users\\me\\Temp\\docs");
    os::SetDocumentsFolderOverride("");
    EXPECT_EQ(os::DocumentsFolder(), "/tmp/xdg-documents");
}

TEST(DocumentsOverride, SlotFilesFollowIt) {
    XdgDocuments xdg("/tmp/xdg-documents");
    RaceSetting set;
    set.raceSetName = "Nord";
    os::SetDocumentsFolderOverride("/tmp/tool-documents");
    const std::string path = SlotFilePath(3, set);
    EXPECT_EQ(path.rfind("/tmp/tool-documents\\My Games\\Skyrim\\VTR_save\\", 0), 0u) << path;
    os::SetDocumentsFolderOverride("");
    EXPECT_EQ(SlotFilePath(3, set).rfind("/tmp/xdg-documents", 0), 0u);
}

TEST(DocumentsOverride, ScopedDocumentsSetsAndClearsIt) {
    XdgDocuments xdg("/tmp/xdg-documents");
    std::string inside;
    {
        vultrane::ScopedDocuments docs;
        inside = os::DocumentsFolder();
        EXPECT_NE(inside, "/tmp/xdg-documents");
        EXPECT_NE(docs.SlotPath(1, "Shared").find(inside), std::string::npos);
    }
    EXPECT_EQ(os::DocumentsFolder(), "/tmp/xdg-documents");
}

}  // namespace
