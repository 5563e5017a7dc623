#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "files/folders.h"
#include "register/registration.h"
#include "register/registry.h"
#include "support/registry_probe.h"
#include "support/scratch.h"

// Every test registers file types of its own names: the key tree is shared by tests that run
// at the same time.
namespace {

// A program path of the platform's form, so that its folder is the part before the last
// separator.
const bool kWindowsPaths = kPathSeparator == '\\';
const std::string kProgramFolder = kWindowsPaths ? "C:\\Orvane\\bin" : "/opt/orvane/bin";
const std::string kProgram = kProgramFolder + kPathSeparator + "transmitter";
const std::string kOpen = "\"" + kProgram + "\" \"%1\"";
const std::string kCrypt = "\"" + kProgram + "\" -c \"%1\"";
const char* const kNoValue = kNoRegistryValue;

using Tree = std::map<std::string, std::string>;

// Key path (below the root, "/" between keys) to default value, for the two keys of a type.
Tree treeOf(const std::string& type) {
    Tree tree = RegistryTreeBelow("." + type);
    tree.merge(RegistryTreeBelow(type + "file"));
    return tree;
}

Tree installedTree(const std::string& type, const std::string& description) {
    return {{"." + type, type + "file"},
            {type + "file", description},
            {type + "file/shell", kNoValue},
            {type + "file/shell/open", kNoValue},
            {type + "file/shell/open/command", kOpen}};
}

Tree withCrypt(Tree tree, const std::string& type) {
    tree[type + "file/shell/Tessaly File Crypt"] = kNoValue;
    tree[type + "file/shell/Tessaly File Crypt/command"] = kCrypt;
    return tree;
}

void removeType(const std::string& type) {
    RemoveRegistryTree("." + type);
    RemoveRegistryTree(type + "file");
}

class Registration : public ::testing::Test {
  protected:
    // Runs registration on a configuration and returns what it printed on standard error.
    std::string run(const std::string& xml, bool install, const std::string& program = kProgram) {
        const std::string config = scratch_.write("config.xml", xml);
        return runPath(config, install, program);
    }
    std::string runPath(const std::string& config, bool install,
                        const std::string& program = kProgram) {
        ::testing::internal::CaptureStderr();
        registerFileTypes(config, program, install);
        return ::testing::internal::GetCapturedStderr();
    }
    void forget(std::initializer_list<std::string> types) {
        for (const auto& type : types) {
            removeType(type);
            types_.push_back(type);
        }
    }
    void TearDown() override {
        for (const auto& type : types_) {
            removeType(type);
        }
    }
    ScratchFolder scratch_;
    std::vector<std::string> types_;
};

std::string config(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n" + body + "</config>\n";
}

}  // namespace

TEST_F(Registration, CryptVerbOnlyWhenTheValueReadsAsOne) {
    const struct {
        const char* type;
        const char* crypt;
        bool verb;
    } cases[] = {{"rg-c1", "1", true},      {"rg-c01", "01", true}, {"rg-c0", "0", false},
                 {"rg-cyes", "yes", false}, {"rg-c2", "2", false},  {"rg-cblank", " 1", true},
                 {"rg-cempty", "", false},  {"rg-c1x", "1x", true}};
    std::string body;
    for (const auto& c : cases) {
        forget({c.type});
        body += std::string("<extension type=\"") + c.type + "\" crypt=\"" + c.crypt + "\"/>\n";
    }
    EXPECT_EQ(run(config(body), true), "");
    for (const auto& c : cases) {
        const Tree plain = installedTree(c.type, "Tessaly Dudiradaroz File");
        EXPECT_EQ(treeOf(c.type), c.verb ? withCrypt(plain, c.type) : plain) << c.crypt;
    }
}

TEST_F(Registration, OnlyDirectExtensionChildrenWithATypeAreRead) {
    forget({"rg-first", "rg-last", "rg-caps", "rg-nested", "rg-inner", "rg-wrongattr"});
    const std::string body =
        "<!-- file types -->\n"
        "<extension type=\"rg-first\"/>\n"
        "<extension description=\"no type\"/>\n"
        "<extension type=\"\" description=\"empty type\"/>\n"
        "<Extension type=\"rg-caps\"/>\n"
        "<extension Type=\"rg-wrongattr\"/>\n"
        "<group><extension type=\"rg-nested\"/></group>\n"
        "<extension type=\"rg-last\"><extension type=\"rg-inner\"/></extension>\n"
        "some text\n";
    EXPECT_EQ(run(config(body), true), "");
    EXPECT_EQ(treeOf("rg-first"), installedTree("rg-first", "Tessaly Dudiradaroz File"));
    EXPECT_EQ(treeOf("rg-last"), installedTree("rg-last", "Tessaly Dudiradaroz File"));
    for (const char* absent : {"rg-caps", "rg-wrongattr", "rg-nested", "rg-inner"}) {
        EXPECT_TRUE(treeOf(absent).empty()) << absent;
    }
}

TEST_F(Registration, UninstallRemovesEverythingInstalled) {
    forget({"rg-un-full", "rg-un-plain"});
    const std::string xml = config(
        "<extension type=\"rg-un-full\" icon=\"2\" crypt=\"1\"/>\n"
        "<extension type=\"rg-un-plain\"/>\n");
    ASSERT_EQ(run(xml, true), "");
    ASSERT_FALSE(treeOf("rg-un-plain").empty());
    // The type without an icon has no DefaultIcon; its class key must not stay behind.
    EXPECT_EQ(run(xml, false), "");
    EXPECT_TRUE(treeOf("rg-un-full").empty());
    EXPECT_TRUE(treeOf("rg-un-plain").empty());
    // Each step that fails says so and the walk goes on to the next type.
    EXPECT_EQ(run(xml, false),
              "Delete registry Key .rg-un-full: No such file or directory\n"
              "Delete registry Key .rg-un-plain: No such file or directory\n");
}

TEST_F(Registration, InstallingTwiceGivesTheSameTree) {
    forget({"rg-twice"});
    const std::string xml =
        config("<extension type=\"rg-twice\" icon=\"1\" crypt=\"1\" description=\"D\"/>\n");
    EXPECT_EQ(run(xml, true), "");
    const Tree first = treeOf("rg-twice");
    EXPECT_EQ(run(xml, true), "");
    EXPECT_EQ(treeOf("rg-twice"), first);
    Tree expected = withCrypt(installedTree("rg-twice", "D"), "rg-twice");
    expected["rg-twicefile/DefaultIcon"] = kProgramFolder + kPathSeparator + "qvtrxResources.dll,1";
    EXPECT_EQ(first, expected);
}

TEST_F(Registration, UninstallWithCryptButNoVerbStopsAtTheVerb) {
    forget({"rg-noverb"});
    ASSERT_EQ(run(config("<extension type=\"rg-noverb\"/>\n"), true), "");
    EXPECT_EQ(run(config("<extension type=\"rg-noverb\" crypt=\"1\"/>\n"), false),
              "Create registry Key File Crypt: No such file or directory\n");
    EXPECT_EQ(treeOf("rg-noverb"), (Tree{{"rg-noverbfile", "Tessaly Dudiradaroz File"},
                                         {"rg-noverbfile/shell", kNoValue}}));
}

TEST_F(Registration, UninstallWithoutCryptLeavesAnInstalledVerb) {
    forget({"rg-keepverb"});
    ASSERT_EQ(run(config("<extension type=\"rg-keepverb\" crypt=\"1\"/>\n"), true), "");
    EXPECT_EQ(run(config("<extension type=\"rg-keepverb\"/>\n"), false),
              "Delete registry Key shell: Directory not empty\n");
    EXPECT_EQ(treeOf("rg-keepverb"),
              (Tree{{"rg-keepverbfile", "Tessaly Dudiradaroz File"},
                    {"rg-keepverbfile/shell", kNoValue},
                    {"rg-keepverbfile/shell/Tessaly File Crypt", kNoValue},
                    {"rg-keepverbfile/shell/Tessaly File Crypt/command", kCrypt}}));
}

TEST_F(Registration, FailingEntryKeepsWhatItWroteAndTheWalkGoesOn) {
    forget({"rg-blocked", "rg-after"});
    ASSERT_TRUE(BlockRegistryKey("rg-blockedfile"));
    const std::string err =
        run(config("<extension type=\"rg-blocked\"/>\n<extension type=\"rg-after\"/>\n"), true);
    if (kWindowsPaths) {
        // The class key opens and takes its value; nothing lasting goes below it.
        EXPECT_EQ(err, "Create registry Key shell: Input/output error\n");
        EXPECT_EQ(RegistryTreeBelow("rg-blockedfile"),
                  (Tree{{"rg-blockedfile", "Tessaly Dudiradaroz File"}}));
    } else {
        EXPECT_EQ(err, "Create registry Key rg-blockedfile: Not a directory\n");
    }
    EXPECT_EQ(RegistryTreeBelow(".rg-blocked"), (Tree{{".rg-blocked", "rg-blockedfile"}}));
    EXPECT_EQ(treeOf("rg-after"), installedTree("rg-after", "Tessaly Dudiradaroz File"));
}

// Each says why in one line, naming the configuration.
TEST_F(Registration, UnusableConfigurationChangesNothingAndSaysWhy) {
    forget({"rg-bad"});
    std::string opened;
    std::string closed;
    for (int level = 0; level < 40000; ++level) {
        opened += "<a>";
        closed += "</a>";
    }
    const struct {
        std::string xml;
        const char* problem;
    } cases[] = {
        {"<config><extension type=\"rg-bad\"></config>", "line 1: not well-formed XML"},
        {"<settings><extension type=\"rg-bad\"/></settings>", "no <config> element"},
        {"<root><config><extension type=\"rg-bad\"/></config></root>", "no <config> element"},
        {"", "not well-formed XML"},
        {"<config><extension type=\"rg-bad\"/><e a\xc2", "not well-formed XML"},
        // Nested far deeper than any real configuration (the parser's stack would run out):
        // refused before it is parsed.
        {"<config>" + opened + closed + "<extension type=\"rg-bad\"/></config>",
         "nested too deeply"},
    };
    for (const auto& c : cases) {
        const std::string said = run(c.xml, true);
        EXPECT_EQ(said.rfind(scratch_.file("config.xml") + ": ", 0), 0u) << said;
        EXPECT_NE(said.find(c.problem), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_TRUE(treeOf("rg-bad").empty()) << c.problem;
    }
    EXPECT_EQ(runPath(scratch_.file("missing.xml"), false),
              scratch_.file("missing.xml") + ": cannot be read (is the name right?)\n");
}

TEST_F(Registration, ProgramWithoutAFolderTakesTheCurrentFolder) {
    forget({"rg-bare"});
    EXPECT_EQ(run(config("<extension type=\"rg-bare\" icon=\"7\"/>\n"), true, "transmitter"), "");
    const Tree tree = treeOf("rg-bare");
    ASSERT_EQ(tree.count("rg-barefile/DefaultIcon"), 1u);
    EXPECT_EQ(tree.at("rg-barefile/DefaultIcon"),
              CurrentFolder() + kPathSeparator + "qvtrxResources.dll,7");
    EXPECT_EQ(tree.at("rg-barefile/shell/open/command"), "\"transmitter\" \"%1\"");
}
